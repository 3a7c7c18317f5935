#!/usr/bin/env bash
# check_exports.sh LIBRARY EXPECTED_DIR
# Compares the library's defined dynamic symbols (demangled) with the union of the
# EXPECTED_DIR/*.txt lists: one symbol per line, '#' starts a comment, and a line
# beginning with "? " names a symbol that may be absent (vtables and type information of
# interfaces, which the compiler emits only where an optimisation level needs them).
set -euo pipefail
lib=$1
dir=$2
lists=$(cat "$dir"/*.txt 2>/dev/null | sed -e 's/#.*//' -e 's/[[:space:]]*$//' -e '/^$/d')
required=$(echo "$lists" | { grep -v '^? ' || true; } | LC_ALL=C sort -u)
optional=$(echo "$lists" | { grep '^? ' || true; } | sed 's/^? //' | LC_ALL=C sort -u)
actual=$(nm -D --defined-only "$lib" | awk '{ $1 = ""; $2 = ""; sub(/^  /, ""); print }' \
  | sed -e 's/@.*//' | { grep -vxE '_init|_fini|_edata|_end|__bss_start' || true; } | c++filt | LC_ALL=C sort -u)
missing=$(LC_ALL=C comm -23 <(echo "$required") <(echo "$actual") | sed '/^$/d')
extra=$(LC_ALL=C comm -13 <(LC_ALL=C sort -u <(echo "$required"; echo "$optional")) <(echo "$actual") | sed '/^$/d')
if [ -n "$missing$extra" ]; then
  echo "Exported symbols of $lib differ from $dir"
  [ -n "$missing" ] && echo "missing:" && echo "$missing"
  [ -n "$extra" ] && echo "not listed:" && echo "$extra"
  exit 1
fi
echo "$(echo "$actual" | { grep -c . || true; }) exported symbols as listed"
