#!/usr/bin/env bash
# Installs the built tool into a fresh prefix, builds the example project
# against it and against this source tree, checks the bytes that come back,
# then changes the embedded file and checks that the next build lists it again.
#   embed_test.sh <build dir> <source dir>
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for file in bin/kormelt share/man/man1/kormelt.1 lib/cmake/kormelt/kormeltConfig.cmake \
            lib/cmake/kormelt/kormeltConfigVersion.cmake; do
  [ -f "$work/prefix/$file" ] || fail "the install has no $file"
done

command -v nasm >/dev/null || fail "nasm is missing: scripts/install-deps test installs it"

check_round_trip() { # project build dir, expected file
  "$1/show_logo" >"$work/shown" || fail "show_logo failed"
  cmp "$work/shown" "$2" || fail "show_logo gave other bytes than $2"
  cmp "$1/logo.bin" "$2" || fail "the assembled blob differs from $2"
}

for way in installed subdirectory; do
  project="$work/$way-src"
  cp -R "$source/examples/embed" "$project"
  if [ "$way" = installed ]; then
    configure=(-DCMAKE_PREFIX_PATH="$work/prefix")
    tool="$work/prefix/bin/kormelt"
  else
    configure=(-DKORMELT_SOURCE_DIR="$source")
    tool="$work/$way/kormelt/kormelt"
  fi
  cmake -S "$project" -B "$work/$way" "${configure[@]}" >/dev/null
  cmake --build "$work/$way" >/dev/null
  check_round_trip "$work/$way" "$project/logo.txt"

  sleep 1 # a coarse file clock must still see the change
  printf 'changed\0bytes\r\n\xff' >"$project/logo.txt"
  cmake --build "$work/$way" >/dev/null
  check_round_trip "$work/$way" "$project/logo.txt"

  sleep 1
  touch "$tool"
  touch "$work/before-tool-change"
  cmake --build "$work/$way" >/dev/null
  [ "$work/$way/logo.inc" -nt "$work/before-tool-change" ] || fail "a new tool did not list the file again"
  echo "ok: $way kormelt, round trip and regeneration"
done

# A failure of the tool fails the build and shows its message.
mkdir "$work/not-a-file"
cmake -S "$source/examples/embed" -B "$work/failing" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DEMBED_FILE="$work/not-a-file" >/dev/null
if cmake --build "$work/failing" >"$work/failing.log" 2>&1; then
  fail "the build went on after the tool failed"
fi
grep -q "Failed open Source" "$work/failing.log" || fail "the build did not show the tool's message"
echo "ok: a tool failure fails the build with its message"
