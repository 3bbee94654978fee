#!/usr/bin/env bash
# Big-endian: the library, glyph_guess, the examples and the tests cross-compiled for
# s390x and run under qemu-user. Then glyph_guess, bmpinfo, bmpscale and bmpconvert must
# print and write the same bytes as the little-endian build NATIVE_DIR (default: build)
# over the whole BMP suite.
#   bash tests/cross/s390x.sh [NATIVE_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/cross/common.sh
cross_dirs s390x s390x-linux-gnu "$@"

need g++-s390x-linux-gnu qemu-user googletest
build_googletest "$toolchain" "$work/googletest"

echo "-- s390x build"
cmake -S . -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DPIXELRY_WERROR=ON \
  -DGTest_DIR="$work/googletest/lib/cmake/GTest" >/dev/null
cmake --build "$work/build" -j2 >/dev/null
run_tests "$work/build"

echo "-- s390x programs against the little-endian build"
compare_programs "$native" "$work/build" "" qemu-s390x -L /usr/s390x-linux-gnu
