#!/usr/bin/env bash
# CI step: memory errors and leaks under valgrind, in a build without sanitizers:
# full glyph_guess runs (a real glyph, a file cut short, a directory as input) and the
# tests labelled reader, writer or warnings. Any valgrind error fails the step.
#   tests/hostile/ci.sh [BUILD_DIR]      (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
memcheck=(valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect)

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

# The labelled tests' CTest names are GoogleTest's own: they join into one filter, so that
# valgrind starts once.
tests=$(ctest --test-dir "$build" -N -L '^(reader|writer|warnings)$' | sed -n 's/^ *Test *#[0-9]*: //p')
[ -n "$tests" ] || { echo "no tests labelled reader, writer or warnings in $build"; exit 1; }
echo "== valgrind pixelry_tests: $(wc -l <<< "$tests") tests labelled reader, writer or warnings"
"${memcheck[@]}" "$build/tests/pixelry_tests" --gtest_brief=1 --gtest_filter="$(paste -sd: - <<< "$tests")"
echo "== valgrind clean"
