#!/usr/bin/env bash
# CI step: memory errors and leaks under valgrind, in a build without sanitizers:
# full glyph_guess runs (a real glyph, a file cut short, a directory as input) and the
# reader and writer tests of the test suite. Any valgrind error fails the step.
#   tests/hostile/ci.sh [BUILD_DIR]      (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
memcheck=(valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect
  --suppressions="$root/tests/hostile/gtest.supp")

work="$(mktemp -d /tmp/pixelry-valgrind.XXXXXX)"
trap 'rm -rf "$work"' EXIT
cp -r "$root/ideal_characters" "$work/"
cp "$root/ideal_characters/e.bmp" "$work/glyph.bmp"
head -c 100 "$root/ideal_characters/e.bmp" > "$work/cut.bmp"
mkdir "$work/folder.bmp"

for input in glyph.bmp cut.bmp folder.bmp; do
  echo "== valgrind glyph_guess $input"
  (cd "$work" && "${memcheck[@]}" "$build/glyph_guess" "$input" > "$work/output.txt")
  tail -n 1 "$work/output.txt"
done

# Every suite defined in the reader's and the writer's test files.
suites=$(grep -hoE '^TEST(_F|_P)?\([A-Za-z0-9_]+' "$root/tests/test_reader.cpp" "$root/tests/test_writer.cpp" |
  sed -E 's/^TEST(_F|_P)?\(//' | sort -u)
filter=$(for s in $suites; do printf '%s.*:*/%s.*:' "$s" "$s"; done)
echo "== valgrind pixelry_tests (reader and writer tests)"
"${memcheck[@]}" "$build/tests/pixelry_tests" --gtest_brief=1 --gtest_filter="${filter%:}"
echo "== valgrind clean"
