#!/usr/bin/env bash
# Replays a corpus through one target built with source-based coverage and prints the
# line coverage, function by function, of the sources it exercises.
#   fuzz/coverage.sh TARGET CORPUS_DIR... [-- SOURCE...]
# TARGET is reader, headers, roundtrip, utilities or full; the sources default to the
# classic reader's, and to the parser's and decoder's for full.
# Example, after a long run:  fuzz/coverage.sh reader /tmp/pixelry-fuzz.X/reader/corpus fuzz/corpus/bmp
set -euo pipefail
cd "$(dirname "$0")/.."
target="$1"
shift
corpora=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do corpora+=("$(realpath "$1")"); shift; done
[ $# -gt 0 ] && shift
sources=("$@")
if [ ${#sources[@]} -eq 0 ]; then
  case "$target" in
    full) sources=(Pixelry/Pixelry_Parse.cpp Pixelry/Pixelry_Decode.cpp) ;;
    *) sources=(Pixelry/Pixelry_Reader.cpp Pixelry/Pixelry_Rows.cpp) ;;
  esac
fi
build="${PIXELRY_FUZZ_COVERAGE_BUILD:-build-fuzz-coverage}"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=Debug \
  -DPIXELRY_BUILD_FUZZERS=ON -DPIXELRY_FUZZ_COVERAGE=ON -DPIXELRY_BUILD_TESTS=OFF \
  -DPIXELRY_BUILD_PROGRAMS=OFF -DPIXELRY_BUILD_BENCH=OFF -DPIXELRY_INSTALL=OFF >/dev/null
cmake --build "$build" -j2 --target "fuzz_$target" >/dev/null
profile="$build/fuzz_$target.profraw"
rm -f "$profile"
LLVM_PROFILE_FILE="$profile" "$build/fuzz/fuzz_$target" -runs=0 "${corpora[@]}" 2>&1 | grep -E 'INITED|DONE' || true
llvm-profdata-14 merge -sparse "$profile" -o "$build/fuzz_$target.profdata"
llvm-cov-14 report -show-functions "$build/fuzz/fuzz_$target" -instr-profile="$build/fuzz_$target.profdata" \
  "${sources[@]}" | grep -v '^--' | awk 'NF > 8 { printf "%-72.72s %6s %6s %8s\n", $1, $(NF-5), $(NF-4), $(NF-3) }' 
