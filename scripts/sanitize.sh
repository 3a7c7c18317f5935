#!/usr/bin/env bash
# Builds the libraries and tests with sanitizers and runs the tests.
#   scripts/sanitize.sh            AddressSanitizer + UndefinedBehaviorSanitizer
#   scripts/sanitize.sh thread     ThreadSanitizer
# Extra arguments go to ctest (for example -R Notification). TESSIVAL_SANITIZE_TARGET names
# the one build target to build instead of all (scripts/test.sh: threaded-tests).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-address}
[ $# -gt 0 ] && shift
case "$mode" in
  address) sanitizers="address,undefined"; dir=build-asan ;;
  thread) sanitizers="thread"; dir=build-tsan ;;
  *) echo "usage: $0 [address|thread] [ctest arguments...]" >&2; exit 2 ;;
esac

[ -f "$dir/CMakeCache.txt" ] || cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DTESSIVAL_SANITIZE="$sanitizers" -DTESSIVAL_BUILD_BENCH=OFF -DTESSIVAL_BUILD_TOOLS=OFF
cmake --build "$dir" ${TESSIVAL_SANITIZE_TARGET:+--target "$TESSIVAL_SANITIZE_TARGET"}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp}
(cd "$dir" && ctest --output-on-failure -j "$(nproc)" -LE no-sanitize "$@")
