#!/usr/bin/env bash
# Installs a build into a temporary prefix, checks what was installed, then builds two
# consumers against it, one through pkg-config and one through find_package(Tessival),
# and runs them.
#   check_install.sh <build directory> <source directory> <C++ compiler>
set -euo pipefail
build=$1
source=$2
compiler=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" > "$work/install.log"

# The public headers alone: include/ as it stands and the camera library's header.
diff <(cd "$prefix/include" && find . -type f | sort) \
     <( (cd "$source/include" && find . -type f; echo ./ivelmo.h) | sort)
libdir=$(dirname "$(find "$prefix" -name libTessival.so)")
for library in Tessival ivelmo; do
  [ "$(readlink "$libdir/lib$library.so")" = "lib$library.so.1" ]
  readelf -d "$libdir/lib$library.so.1" | grep -q "Library soname: \[lib$library.so.1\]"
done

export PKG_CONFIG_PATH=$libdir/pkgconfig
datadir=$(pkg-config --variable=datadir tessival)
# shellcheck disable=SC2046
"$compiler" -std=c++17 -Wall -Wextra -Werror -DTESSIVAL_DATA_DIR="\"$datadir\"" \
  "$source/tests/install/consumer/Consumer.cpp" -o "$work/pkg-config-consumer" \
  $(pkg-config --cflags --libs tessival ivelmo) -Wl,-rpath,"$libdir"
"$work/pkg-config-consumer"

cmake -S "$source/tests/install/consumer" -B "$work/find-package-consumer" -G Ninja \
  -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_PREFIX_PATH="$prefix" > "$work/configure.log"
cmake --build "$work/find-package-consumer" > "$work/build.log"
"$work/find-package-consumer/consumer"
