#!/usr/bin/env bash
# Regenerates the detection engine's speech model data/quillet/model_140319 from espeak-ng
# speech (data/vad/train-sentences.txt in several voices, speeds and pitches, resampled to
# 16 kHz with sox) and very quiet dithered silence. The held-out sentences
# (data/vad/heldout-sentences.txt) are never used here. Same tools, same file.
#   scripts/train-vad-model.sh [speech-mixtures] [noise-mixtures] [output]
set -euo pipefail
cd "$(dirname "$0")/.."
speech_mixtures=${1:-16}
noise_mixtures=${2:-5}
output=${3:-data/quillet/model_140319}
BUILD_DIR=${BUILD_DIR:-build}
[ -f "$BUILD_DIR/CMakeCache.txt" ] || cmake -S . -B "$BUILD_DIR" -G Ninja
cmake --build "$BUILD_DIR" --target VadModelTrainer

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
voices=(en-us en-gb en-gb-scotland en-us+f3 en-gb+f2 en-029)
speeds=(130 165 200)
pitches=(30 50 75)

# Each sentence is spoken in six voice, speed and pitch combinations, chosen by its number.
n=0
while IFS= read -r sentence; do
  [ -n "$sentence" ] || continue
  for k in 0 1 2 3 4 5; do
    voice=${voices[$(( (n + k) % ${#voices[@]} ))]}
    speed=${speeds[$(( (n + 2 * k) % ${#speeds[@]} ))]}
    pitch=${pitches[$(( (n + k + k / 3) % ${#pitches[@]} ))]}
    base="$work/speech-$n-$k"
    espeak-ng -v "$voice" -s "$speed" -p "$pitch" -w "$base.wav" "$sentence"
    sox -D -v 0.9 "$base.wav" -r 16000 -b 16 -c 1 -e signed-integer -t raw "$base.raw"
    echo "$base.raw" >> "$work/speech.list"
  done
  n=$((n + 1))
done < data/vad/train-sentences.txt

# Digital silence, and silence with very quiet dither at a few levels (a repeatable sox
# noise seed).
head -c 320000 /dev/zero > "$work/silence.raw"
echo "$work/silence.raw" >> "$work/noise.list"
i=0
for level in 0.00005 0.0001 0.0002 0.0004; do
  sox -R -D -n -r 16000 -b 16 -c 1 -e signed-integer -t raw "$work/noise-$i.raw" synth 20 whitenoise vol "$level"
  echo "$work/noise-$i.raw" >> "$work/noise.list"
  i=$((i + 1))
done

"$BUILD_DIR/tools/VadModelTrainer" --out "$output" --speech-mixtures "$speech_mixtures" \
  --noise-mixtures "$noise_mixtures" --speech "$work/speech.list" --noise "$work/noise.list"
sha256sum "$output"
