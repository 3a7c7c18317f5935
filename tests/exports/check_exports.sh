#!/usr/bin/env bash
# check_exports.sh LIBRARY EXPECTED_DIR
# Compares the library's defined dynamic symbols (demangled) with the union of the
# EXPECTED_DIR/*.txt lists (one symbol per line, '#' starts a comment).
set -euo pipefail
lib=$1
dir=$2
expected=$(cat "$dir"/*.txt 2>/dev/null | sed -e 's/#.*//' -e 's/[[:space:]]*$//' -e '/^$/d' | LC_ALL=C sort -u)
actual=$(nm -D --defined-only "$lib" | awk '{ $1 = ""; $2 = ""; sub(/^  /, ""); print }' \
  | sed -e 's/@.*//' | { grep -vxE '_init|_fini|_edata|_end|__bss_start' || true; } | c++filt | LC_ALL=C sort -u)
if [ "$expected" != "$actual" ]; then
  echo "Exported symbols of $lib differ from $dir (- expected, + actual):"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "$(echo "$actual" | { grep -c . || true; }) exported symbols as listed"
