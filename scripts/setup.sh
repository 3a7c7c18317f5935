#!/usr/bin/env bash
# Installs every Debian 12 package that the build, the tests, the benchmarks and the
# tools need, then configures and builds. Idempotent; asks nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev binutils
  # libraries
  libboost-dev libboost-thread-dev libboost-system-dev libboost-filesystem-dev
  libboost-regex-dev libboost-date-time-dev libboost-locale-dev
  libwebsocketpp-dev libssl-dev libopus-dev portaudio19-dev libasound2-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # test peers and fixtures
  openssl ca-certificates tinyproxy python3 python3-websockets libxml2-utils
  espeak-ng sox opus-tools libogg-dev imagemagick netpbm
  # peers measured beside our own code
  libyuv-dev libspeexdsp-dev libwebrtc-audio-processing-dev
)

export DEBIAN_FRONTEND=noninteractive
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update
  $SUDO apt-get install -y "${missing[@]}" </dev/null
fi

BUILD_DIR=${BUILD_DIR:-build}
[ -f "$BUILD_DIR/CMakeCache.txt" ] || cmake -S . -B "$BUILD_DIR" -G Ninja
cmake --build "$BUILD_DIR"
