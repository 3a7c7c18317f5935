#!/usr/bin/env bash
# One recognition end to end: speaks a short sentence into a raw PCM file (silence around
# it), starts the loopback recognition server on a free port, runs the example program
# examples/recognize on the file with detection, noise reduction and Opus, stops the server
# and prints what the program and the server saw.
#   scripts/demo.sh [BUILD_DIR]     (default: $BUILD_DIR or build; built when missing)
# Exits 0 when the recognition completed normally and the server found every message clean.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# A build directory given on the command line is taken relative to the caller's directory.
if [ $# -gt 0 ]; then
  build=$(realpath -m -- "$1")
else
  build=${BUILD_DIR:-build}
  [[ $build == /* ]] || build=$root/$build
fi
cd "$root"
recognize=$build/examples/recognize
server=$build/tests/support/loopback/loopback-recognition-server
if [ ! -x "$recognize" ] || [ ! -x "$server" ]; then
  [ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja
  cmake --build "$build" --target recognize loopback-recognition-server
fi

work=$(mktemp -d)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "demo: $*" >&2
  exit 1
}

# 16 kHz mono 16-bit raw PCM: 1 s of silence, the sentence, 1.5 s of silence.
espeak-ng -v en -w "$work/speech.wav" "hello world"
sox "$work/speech.wav" -r 16000 -c 1 -b 16 -e signed-integer -t raw "$work/input.raw" pad 1 1.5
echo "speech sample: \"hello world\" with silence around it, $(( $(stat -c %s "$work/input.raw") / 32 )) ms of 16 kHz PCM"

"$server" --port 0 --word hello --word world >"$work/server.log" 2>&1 &
server_pid=$!
# Await the first line, "listening 127.0.0.1:PORT".
port=""
for _ in $(seq 1 200); do
  line=$(head -n 1 "$work/server.log")
  if [[ $line =~ ^listening\ 127\.0\.0\.1:([0-9]+)$ ]]; then
    port=${BASH_REMATCH[1]}
    break
  fi
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.05
done
[ -n "$port" ] || fail "the loopback server did not start: $(cat "$work/server.log")"

cat >"$work/params.ini" <<EOF
[Environment]
server_address=127.0.0.1
server_port=$port
user_agent=tessival-demo/1.0
user_id=demo
ostrel_model_file=$root/data/quillet/model_140319
ostrel_config_file=$root/data/quillet/vad_config.ini
detection_mode=true
noise_reduction_mode=true
codec=Opus
EOF

status=0
timeout 30 "$recognize" "$work/params.ini" "$work/input.raw" >"$work/recognize.log" 2>&1 || status=$?

kill "$server_pid" 2>/dev/null || true
server_status=0
wait "$server_pid" || server_status=$?
server_pid=""

echo "--- recognize printed (exit status $status) ---"
cat "$work/recognize.log"
echo "--- the loopback server received and answered (exit status $server_status) ---"
cat "$work/server.log"

[ "$status" -eq 0 ] || fail "recognize exited with status $status"
[ "$server_status" -eq 0 ] || fail "the loopback server exited with status $server_status"
grep -qx "completed" "$work/recognize.log" || fail "the recognition did not complete normally"
grep -q "^audio: .* Opus records = " "$work/server.log" || fail "the server saw no Opus audio"
if grep -q "problem:" "$work/server.log"; then
  fail "the server found messages that differ from the protocol"
fi
echo "demo: the recognition completed normally"
