#!/usr/bin/env bash
# Builds and runs the whole test suite, then the same tests under ASan+UBSan, and the tests
# that start threads (label "threads") under ThreadSanitizer, unless TESSIVAL_SKIP_SANITIZE=1.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build}
[ -f "$BUILD_DIR/CMakeCache.txt" ] || cmake -S . -B "$BUILD_DIR" -G Ninja
cmake --build "$BUILD_DIR"
(cd "$BUILD_DIR" && ctest --output-on-failure -j "$(nproc)")

if [ "${TESSIVAL_SKIP_SANITIZE:-0}" != "1" ]; then
  scripts/sanitize.sh
  TESSIVAL_SANITIZE_TARGET=threaded-tests scripts/sanitize.sh thread -L threads
fi
