#!/usr/bin/env bash
# Makes a detection test set from a sentence list with espeak-ng and sox only, the same
# files for the same arguments: clean speech with silence around it, one file per
# sentence, and one long file per noise kind. Mixing at a given SNR and the truth (from
# the clean signal) are left to the reader of the set (tests/support/EvaluationSet).
#   scripts/make-vad-set.sh SENTENCE-LIST SEED OUTPUT-DIR [SENTENCES] [VOICES] [NOISE]
# Files are 16 kHz mono 16-bit little-endian raw PCM. OUTPUT-DIR/manifest lists them:
#   speech FILE VOICE      one sentence; 1.0-2.5 s of silence before, 2.5 s after
#   noise KIND FILE        60 s of one noise kind at a level near full scale
# Noise kinds: white pink brown (steady), hum (mains, 50 or 60 Hz with harmonics), babble
# (six espeak-ng voices talking at once), music (chords, a melody and a beat), clicks,
# taps (keyboard-like), cutoff (pink noise that stops dead for stretches of digital
# silence), notes (plucked and struck notes and strummed chords with rests between), ticks
# (ringing clicks of a pen or a mouse, pressed and released, in runs and alone), typing
# (bursts of key presses and releases), strums (strummed chords and struck bars), knocks (on
# a door), dishes (clinks and clatter), doors (latches, slams and switches).
# Voices: those of the file VOICES (one espeak-ng voice a line) when given, otherwise the list
# below. NOISE "none" makes the speech alone (a set that borrows another set's noise).
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 SENTENCE-LIST SEED OUTPUT-DIR [SENTENCES] [VOICES] [NOISE]" >&2; exit 2; }
list=$1
seed=$2
out=$3
count=${4:-1000}
voice_list=${5:-}
noise=${6:-noise}
rate=16000
noise_seconds=60
raw=(-r $rate -b 16 -c 1 -e signed-integer -t raw)
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: > "$out/manifest.part"

# Numbers from mawk's generator with a fixed seed (Debian's required awk, named so that
# another awk cannot change the set): `random N K A B` prints N numbers in [A, B) from
# stream K.
random() {
  mawk -v n="$1" -v s="$((seed * 131 + $2))" -v a="$3" -v b="$4" \
    'BEGIN { srand(s); for (i = 0; i < n; i++) printf "%.4f\n", a + (b - a) * rand() }'
}

mapfile -t sentences < <(grep -v '^#' "$list" | grep -v '^$' | head -n "$count")

# Voices: English in several accents with male, female and other variants, and English
# text read by other languages' voices (an accent the model has not heard).
voices=(en-us en-gb+f3 en-gb-scotland+m3 en-029+f2 en-us+m7 en-gb-x-rp+f4 en-us-nyc+m5 de+m2 fr-fr+f1 es+m4
        it+f5 nl+m6)
if [ -n "$voice_list" ]; then
  mapfile -t voices < <(grep -v '^#' "$voice_list" | grep -v '^$')
fi
mapfile -t picks < <(random ${#sentences[@]} 1 0 ${#voices[@]})
mapfile -t speeds < <(random ${#sentences[@]} 2 125 200)
mapfile -t pitches < <(random ${#sentences[@]} 3 25 80)
mapfile -t gains < <(random ${#sentences[@]} 4 0.25 0.9)
mapfile -t leads < <(random ${#sentences[@]} 5 1.0 2.5)
for i in "${!sentences[@]}"; do
  voice=${voices[$(printf '%.0f' "${picks[$i]%.*}")]}
  espeak-ng -v "$voice" -s "${speeds[$i]%.*}" -p "${pitches[$i]%.*}" -w "$work/s.wav" "${sentences[$i]}"
  sox -D -v "${gains[$i]}" "$work/s.wav" "${raw[@]}" "$out/speech-$i.raw" pad "${leads[$i]}" 2.5 2>/dev/null
  echo "speech speech-$i.raw $voice" >> "$out/manifest.part"
done

steady() { # colour
  local skip=$((seed % 97))
  sox -R -D -n "${raw[@]}" "$out/noise-$1.raw" synth $((noise_seconds + skip)) "$1noise" vol 0.7 trim "$skip"
}

hum() {
  local f=50
  [ $((seed % 2)) -eq 0 ] || f=60
  sox -R -D -n "${raw[@]}" "$work/tones.raw" synth $noise_seconds sine $f sine $((2 * f)) sine $((3 * f)) \
    sine $((5 * f)) sine $((7 * f)) square $((2 * f))
  sox -R -D -n "${raw[@]}" "$work/hiss.raw" synth $noise_seconds whitenoise vol 0.01
  sox -D -m "${raw[@]}" "$work/tones.raw" "${raw[@]}" "$work/hiss.raw" "${raw[@]}" "$out/noise-hum.raw" norm -3
}

babble() {
  local talkers=(en-us+m3 en-gb+f2 de+m5 en-029+f4 fr-fr+m1 en-us+f3)
  local mixes=()
  for t in "${!talkers[@]}"; do
    # Each talker reads the whole list from its own place in it, at its own speed.
    local text=""
    for k in "${!sentences[@]}"; do
      text+="${sentences[$(( (k + 3 * t + seed) % ${#sentences[@]} ))]} "
    done
    espeak-ng -v "${talkers[$t]}" -s $((140 + 10 * t)) -g 2 -w "$work/talker.wav" "$text"
    sox -D "$work/talker.wav" "${raw[@]}" "$work/talker-$t.raw" trim "$((t * 3 + seed % 5))" repeat 6 trim 0 $noise_seconds
    mixes+=("${raw[@]}" "$work/talker-$t.raw")
  done
  sox -D -m "${mixes[@]}" "${raw[@]}" "$out/noise-babble.raw" norm -3
}

music() {
  # Two-second bars at 120 beats a minute: a chord, four melody notes and a beat each.
  local bars=$((noise_seconds / 2))
  mapfile -t roots < <(random $bars 11 -12 0)
  mapfile -t notes < <(random $((bars * 4)) 12 0 12)
  local scale=(0 2 4 5 7 9 11 12 14 16 17 19)
  local parts=()
  for b in $(seq 0 $((bars - 1))); do
    local r=${roots[$b]%.*}
    sox -D -n "${raw[@]}" "$work/chord-$b.raw" synth 2 pluck %$((r - 12)) pluck %$((r - 8)) pluck %$((r - 5)) \
      fade 0 2 0.3
    for k in 0 1 2 3; do
      local n=${scale[${notes[$((b * 4 + k))]%.*}]}
      sox -D -n "${raw[@]}" "$work/note-$b-$k.raw" synth 0.5 pluck %$((r + n)) fade 0 0.5 0.1
      parts+=("${raw[@]}" "$work/note-$b-$k.raw")
    done
  done
  sox -D "${parts[@]}" "${raw[@]}" "$work/melody.raw"
  parts=()
  for b in $(seq 0 $((bars - 1))); do parts+=("${raw[@]}" "$work/chord-$b.raw"); done
  sox -D "${parts[@]}" "${raw[@]}" "$work/chords.raw"
  # Kick on every beat, a hat between: half a second per beat.
  sox -D -n "${raw[@]}" "$work/kick.raw" synth 0.12 sine 110:45 fade q 0 0.12 0.1 pad 0 0.13
  sox -D -R -n "${raw[@]}" "$work/hat.raw" synth 0.04 whitenoise highpass 6000 fade q 0 0.04 0.035 vol 0.5 pad 0 0.21
  sox -D "${raw[@]}" "$work/kick.raw" "${raw[@]}" "$work/hat.raw" "${raw[@]}" "$work/beat1.raw"
  sox -D "${raw[@]}" "$work/beat1.raw" "${raw[@]}" "$work/beat.raw" repeat $((noise_seconds * 2 - 1))
  sox -D -m -v 1.0 "${raw[@]}" "$work/chords.raw" -v 0.8 "${raw[@]}" "$work/melody.raw" -v 0.7 "${raw[@]}" \
    "$work/beat.raw" "${raw[@]}" "$out/noise-music.raw" trim 0 $noise_seconds norm -3
}

# A train of copies of `event` (a raw file) after the given gaps (seconds): the copies
# back to back, with silence inserted before each by one pad effect.
train() { # event output gaps...
  local event=$1 output=$2
  shift 2
  local length=$(( $(stat -c %s "$event") / 2 ))
  local pads
  mapfile -t pads < <(printf '%s\n' "$@" | mawk -v r=$rate -v l="$length" '{ printf "%ds@%ds\n", int($1 * r + 0.5), (NR - 1) * l }')
  sox -D "${raw[@]}" "$event" "${raw[@]}" "$output" repeat $(($# - 1)) pad "${pads[@]}" trim 0 $noise_seconds
}

clicks() {
  sox -D -R -n "${raw[@]}" "$work/click.raw" synth 0.003 whitenoise fade q 0 0.003 0.002 vol 0.95
  mapfile -t gaps < <(random 150 21 0.05 0.8)
  train "$work/click.raw" "$out/noise-clicks.raw" "${gaps[@]}"
}

taps() {
  # A key: a short high burst over a low knock, in bursts of typing with pauses between.
  sox -D -R -n "${raw[@]}" "$work/key-high.raw" synth 0.03 whitenoise bandpass 3000 1.5q fade q 0 0.03 0.027
  sox -D -n "${raw[@]}" "$work/key-low.raw" synth 0.03 sine 220:120 fade q 0 0.03 0.025 vol 0.6
  sox -D -m "${raw[@]}" "$work/key-high.raw" "${raw[@]}" "$work/key-low.raw" "${raw[@]}" "$work/key.raw" norm -1
  mapfile -t gaps < <(random 400 31 0.06 0.25)
  mapfile -t pauses < <(random 400 32 0 1)
  local all=()
  for i in "${!gaps[@]}"; do
    # One gap in eight is a pause of up to 1.5 s.
    if [ $((i % 8)) -eq 7 ]; then all+=("$(mawk -v p="${pauses[$i]}" 'BEGIN { printf "%.3f", 0.4 + 1.1 * p }')")
    else all+=("${gaps[$i]}"); fi
  done
  train "$work/key.raw" "$out/noise-taps.raw" "${all[@]}"
}

# `input` over the faint hiss of a room (50-60 dB down), so that the gaps are not digital
# silence; normalised to -3 dB.
with_floor() { # input output
  sox -R -D -n "${raw[@]}" "$work/floor.raw" synth $noise_seconds pinknoise vol 0.001
  sox -D -m "${raw[@]}" "$1" "${raw[@]}" "$work/floor.raw" "${raw[@]}" "$2" norm -3
}

notes() {
  # One event after another, each followed by a rest: a plucked note, a chord strummed string
  # by string, or a struck note (bell-like partials that die away).
  local events=80
  mapfile -t kinds < <(random $events 41 0 3)
  mapfile -t pitches < <(random $events 42 -14 10)
  mapfile -t lengths < <(random $events 43 0.3 1.2)
  mapfile -t rests < <(random $events 44 0.1 1.6)
  local parts=()
  for i in $(seq 0 $((events - 1))); do
    local p=${pitches[$i]%.*} len=${lengths[$i]}
    case ${kinds[$i]%.*} in
      0) sox -D -n "${raw[@]}" "$work/event.raw" synth "$len" pluck %$p fade 0 "$len" "$len" ;;
      1) local strings=()
         for k in 0 1 2 3; do
           local step=(0 4 7 12)
           sox -D -n "${raw[@]}" "$work/string-$k.raw" synth "$len" pluck %$((p - 12 + ${step[$k]})) \
             fade 0 "$len" "$len" pad "0.0$((2 * k + 1))"
           strings+=("${raw[@]}" "$work/string-$k.raw")
         done
         sox -D -m "${strings[@]}" "${raw[@]}" "$work/event.raw" ;;
      *) sox -D -n "${raw[@]}" "$work/event.raw" synth "$len" sine %$((p + 12)) sine %$((p + 31)) sine %$((p + 40)) \
           fade l 0 "$len" "$len" ;;
    esac
    sox -D "${raw[@]}" "$work/event.raw" "${raw[@]}" "$work/note-$i.raw" pad 0 "${rests[$i]}"
    parts+=("${raw[@]}" "$work/note-$i.raw")
  done
  sox -D "${parts[@]}" "${raw[@]}" "$work/notes.raw" trim 0 $noise_seconds
  with_floor "$work/notes.raw" "$out/noise-notes.raw"
}

ticks() {
  # A press rings high and a release, 60-140 ms later, softer and lower; presses come in quick
  # runs (0.1-0.4 s apart) and alone (after up to 2 s).
  sox -D -n "${raw[@]}" "$work/press.raw" synth 0.012 sine 2300 sine 5100 fade l 0 0.012 0.012
  sox -D -n "${raw[@]}" "$work/release.raw" synth 0.008 sine 1500 sine 3300 fade l 0 0.008 0.008 vol 0.4
  mapfile -t holds < <(random 1 51 0.06 0.14)
  sox -D "${raw[@]}" "$work/press.raw" "${raw[@]}" "$work/release.raw" "${raw[@]}" "$work/tick.raw" \
    pad "${holds[0]}@0.012"
  local all
  mapfile -t all < <(paste <(random 200 52 0.1 0.4) <(random 200 53 0.4 2.0) <(random 200 54 0 1) |
                     mawk '{ print ($3 < 0.6 ? $1 : $2) }')
  train "$work/tick.raw" "$work/ticks.raw" "${all[@]}"
  with_floor "$work/ticks.raw" "$out/noise-ticks.raw"
}

# Events one after another: `events` lists raw files, each with the silence after it
# (seconds) beside it ("FILE REST" a line). One sox run joins them and pads the rests in;
# the whole is cut to the noise's length and laid over the room's floor.
sequence() { # events-list output
  local files pads
  mapfile -t files < <(mawk '{ print $1 }' "$1")
  mapfile -t pads < <(stat -c '%n %s' $(sort -u <(printf '%s\n' "${files[@]}")) |
    mawk -v s=$rate 'FNR == NR { size[$1] = $2 / 2; next }
                     { at += size[$1]; printf "%ds@%ds\n", int($2 * s + 0.5), at }' - "$1")
  local parts=()
  for f in "${files[@]}"; do parts+=("${raw[@]}" "$f"); done
  sox -D "${parts[@]}" "${raw[@]}" "$work/sequence.raw" pad "${pads[@]}" pad 0 $noise_seconds trim 0 $noise_seconds
  with_floor "$work/sequence.raw" "$2"
}

typing() {
  # Bursts of typing, 1-4 s long: a key's press (a click and a knock) and, 40-110 ms later,
  # its softer release; keys 80-250 ms apart; 0.5-3 s of quiet between bursts.
  sox -D -R -n "${raw[@]}" "$work/press-high.raw" synth 0.015 whitenoise bandpass 2500 1q fade q 0 0.015 0.012
  sox -D -n "${raw[@]}" "$work/press-low.raw" synth 0.02 sine 300:150 fade q 0 0.02 0.018 vol 0.4
  sox -D -m "${raw[@]}" "$work/press-high.raw" "${raw[@]}" "$work/press-low.raw" "${raw[@]}" "$work/press.raw" norm -1
  sox -D -R -n "${raw[@]}" "$work/release.raw" synth 0.01 whitenoise bandpass 3500 1q fade q 0 0.01 0.008 vol 0.4
  paste <(random 300 61 0.04 0.11) <(random 300 62 0.08 0.25) > "$work/keys"
  paste <(random 18 63 1 4) <(random 18 64 0.5 3) > "$work/bursts"
  # Per key: its hold and the time to the next key; per burst: its length and the quiet after.
  mawk -v press="$work/press.raw" -v release="$work/release.raw" '
    FNR == NR { hold[NR] = $1; gap[NR] = $2; keys = NR; next }
    {
      for (t = 0; t < $1 && k < keys; t += gap[k] + 0.03) {
        k++
        rest = gap[k] - hold[k]
        printf "%s %.4f\n", press, hold[k]
        printf "%s %.4f\n", release, (t + gap[k] + 0.03 < $1 ? (rest > 0.02 ? rest : 0.02) : $2)
      }
    }' "$work/keys" "$work/bursts" > "$work/events"
  sequence "$work/events" "$out/noise-typing.raw"
}

strums() {
  # Chords strummed down or up across six strings (15-40 ms between strings) and struck notes (a mallet on a bar: partials at 1, 3.9 and 9.2 times
  # the note, the higher dying faster), drawn from a dozen, with rests between.
  local events=55 palette=12
  mapfile -t kinds < <(random $palette 71 0 3)
  mapfile -t pitches < <(random $palette 72 -10 8)
  mapfile -t spreads < <(random $palette 73 0.015 0.04)
  mapfile -t lengths < <(random $palette 74 0.25 0.7)
  mapfile -t picks < <(random $events 75 0 $palette)
  mapfile -t rests < <(random $events 76 0.05 1.5)
  local step=(0 7 12 16 19 24)
  for i in $(seq 0 $((palette - 1))); do
    local p=${pitches[$i]%.*} len=${lengths[$i]}
    if [ "${kinds[$i]%.*}" -lt 2 ]; then
      local strings=()
      for k in 0 1 2 3 4 5; do
        local s=$k
        [ "${kinds[$i]%.*}" -eq 0 ] || s=$((5 - k))
        sox -D -n "${raw[@]}" "$work/string-$k.raw" synth "$len" pluck %$((p - 17 + ${step[$s]})) \
          fade 0 "$len" "$len" pad "$(mawk -v d="${spreads[$i]}" -v k=$k 'BEGIN { printf "%.4f", d * k }')"
        strings+=("${raw[@]}" "$work/string-$k.raw")
      done
      sox -D -m "${strings[@]}" "${raw[@]}" "$work/event-$i.raw"
    else
      local f
      f=$(mawk -v p="$p" 'BEGIN { printf "%.1f", 523.25 * 2 ^ (p / 12) }')
      sox -D -n "${raw[@]}" "$work/bar1.raw" synth "$len" sine "$f" fade l 0 "$len" "$len"
      sox -D -n "${raw[@]}" "$work/bar2.raw" synth "$len" sine "$(mawk -v f="$f" 'BEGIN { print 3.9 * f }')" \
        fade l 0 "$len" "$(mawk -v l="$len" 'BEGIN { print l / 2 }')" vol 0.5
      sox -D -n "${raw[@]}" "$work/bar3.raw" synth "$len" sine "$(mawk -v f="$f" 'BEGIN { print 9.2 * f }')" \
        fade l 0 "$len" "$(mawk -v l="$len" 'BEGIN { print l / 5 }')" vol 0.3
      sox -D -m "${raw[@]}" "$work/bar1.raw" "${raw[@]}" "$work/bar2.raw" "${raw[@]}" "$work/bar3.raw" \
        "${raw[@]}" "$work/event-$i.raw"
    fi
  done
  : > "$work/events"
  for i in $(seq 0 $((events - 1))); do
    echo "$work/event-${picks[$i]%.*}.raw ${rests[$i]}" >> "$work/events"
  done
  sequence "$work/events" "$out/noise-strums.raw"
}

knocks() {
  # Knocks on a door, two to four 0.12-0.3 s apart (a thud and the wood's knock), then
  # 0.8-3.5 s of quiet.
  sox -D -R -n "${raw[@]}" "$work/thud.raw" synth 0.08 brownnoise lowpass 400 fade q 0 0.08 0.07
  sox -D -n "${raw[@]}" "$work/wood.raw" synth 0.06 sine 180:140 fade l 0 0.06 0.055 vol 0.6
  sox -D -m "${raw[@]}" "$work/thud.raw" "${raw[@]}" "$work/wood.raw" "${raw[@]}" "$work/knock.raw" norm -1
  mapfile -t counts < <(random 28 81 2 5)
  mapfile -t apart < <(random 112 82 0.12 0.3)
  mapfile -t quiet < <(random 28 83 0.8 3.5)
  : > "$work/events"
  local k=0
  for i in "${!counts[@]}"; do
    for j in $(seq 2 "${counts[$i]%.*}"); do echo "$work/knock.raw ${apart[$k]}" >> "$work/events"; k=$((k + 1)); done
    echo "$work/knock.raw ${quiet[$i]}" >> "$work/events"
  done
  sequence "$work/events" "$out/noise-knocks.raw"
}

dishes() {
  # Dishes and cutlery: a clink (high inharmonic partials ringing 0.1-0.4 s) or a clatter
  # (three to six short knocks of noise), one to four events 0.08-0.4 s apart, then 0.5-3 s
  # of quiet.
  local events=80 palette=12
  mapfile -t kinds < <(random $palette 91 0 3)
  mapfile -t pitches < <(random $palette 92 1800 4200)
  mapfile -t lengths < <(random $palette 93 0.1 0.4)
  mapfile -t picks < <(random $events 94 0 $palette)
  mapfile -t rests < <(random $events 95 0 1)
  sox -D -R -n "${raw[@]}" "$work/clack.raw" synth 0.012 whitenoise highpass 1500 fade q 0 0.012 0.01
  for i in $(seq 0 $((palette - 1))); do
    local f=${pitches[$i]%.*} len=${lengths[$i]}
    if [ "${kinds[$i]%.*}" -lt 2 ]; then
      sox -D -n "${raw[@]}" "$work/event-$i.raw" synth "$len" sine $f sine $((f * 27 / 10)) sine $((f * 51 / 10)) \
        fade l 0 "$len" "$len"
    else
      sox -D "${raw[@]}" "$work/clack.raw" "${raw[@]}" "$work/event-$i.raw" pad 0 0.03 repeat $((3 + i % 4))
    fi
  done
  : > "$work/events"
  for i in $(seq 0 $((events - 1))); do
    # One event in three is followed by quiet, the others by a short wait.
    echo "$work/event-${picks[$i]%.*}.raw $(mawk -v r="${rests[$i]}" -v q=$((i % 3)) \
      'BEGIN { printf "%.4f", q == 2 ? 0.5 + 2.5 * r : 0.08 + 0.32 * r }')" >> "$work/events"
  done
  sequence "$work/events" "$out/noise-dishes.raw"
}

doors() {
  # A door: the latch's click, its catch 50-150 ms later, and a thud as it closes, or the
  # click of a light switch; 1-4 s apart.
  sox -D -R -n "${raw[@]}" "$work/latch.raw" synth 0.01 whitenoise bandpass 2000 2q fade q 0 0.01 0.008
  sox -D -R -n "${raw[@]}" "$work/slam.raw" synth 0.15 brownnoise lowpass 250 fade q 0.005 0.15 0.13
  mapfile -t catches < <(random 28 101 0.05 0.15)
  mapfile -t quiet < <(random 28 102 1 4)
  : > "$work/events"
  for i in "${!catches[@]}"; do
    if [ $((i % 2)) -eq 0 ]; then
      echo "$work/latch.raw ${catches[$i]}" >> "$work/events"
      echo "$work/latch.raw 0.02" >> "$work/events"
      echo "$work/slam.raw ${quiet[$i]}" >> "$work/events"
    else
      echo "$work/latch.raw ${quiet[$i]}" >> "$work/events"
    fi
  done
  sequence "$work/events" "$out/noise-doors.raw"
}

cutoff() {
  # 3 s of pink noise, then 2 s of digital silence, over and over.
  sox -R -D -n "${raw[@]}" "$work/pink.raw" synth 3 pinknoise vol 0.7 trim 0 3 pad 0 2
  sox -D "${raw[@]}" "$work/pink.raw" "${raw[@]}" "$out/noise-cutoff.raw" repeat $((noise_seconds / 5 - 1))
}

if [ "$noise" != none ]; then
  for kind in white pink brown; do steady $kind; done
  hum
  babble
  music
  clicks
  taps
  cutoff
  notes
  ticks
  typing
  strums
  knocks
  dishes
  doors
  for kind in white pink brown hum babble music clicks taps cutoff notes ticks typing strums knocks dishes doors; do
    echo "noise $kind noise-$kind.raw" >> "$out/manifest.part"
  done
fi
mv -f "$out/manifest.part" "$out/manifest"
