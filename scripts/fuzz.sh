#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan+UBSan) and runs each for a bounded time.
#   scripts/fuzz.sh [seconds-per-target] [target-name-regex]
# Crashes are kept in build-fuzz/artifacts; once fixed, each one goes into
# tests/fuzz/crashers/<Name>/, which every ctest run replays (tests/fuzz/README.md).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
filter=${2:-.}
dir=build-fuzz
[ -f "$dir/CMakeCache.txt" ] || CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSIVAL_FUZZ=ON -DTESSIVAL_BUILD_BENCH=OFF
cmake --build "$dir"
mkdir -p "$dir/artifacts"
status=0
for fuzzer in $(find "$dir/tests/fuzz" -maxdepth 1 -type f -executable -name '*Fuzzer' | sort); do
  name=$(basename "$fuzzer")
  echo "$name" | grep -qE "$filter" || continue
  corpus="$dir/corpus/$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/corpus/$name"
  echo "== $name for ${seconds}s"
  "$fuzzer" -max_total_time="$seconds" -artifact_prefix="$dir/artifacts/$name-" "$corpus" \
    $( [ -d "$seeds" ] && echo "$seeds" ) || status=1
done
exit $status
