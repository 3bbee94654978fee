#!/usr/bin/env bash
# Windows: the library, glyph_guess, the examples and the tests cross-compiled with
# MinGW-w64 (posix threads) and run under Wine, as a static and as a shared (DLL) build.
# Then glyph_guess, bmpinfo, bmpscale and bmpconvert must print and write the same bytes
# as the Linux build NATIVE_DIR (default: build) over the whole BMP suite.
#   bash tests/cross/windows.sh [NATIVE_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/cross/common.sh
cross_dirs windows mingw-w64 "$@"

need g++-mingw-w64-x86-64-posix wine wine64 googletest
build_googletest "$toolchain" "$work/googletest"

export WINEDEBUG=-all WINEPREFIX="$work/wine"
# The MinGW runtime DLLs, for the shared build.
WINEPATH="Z:$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)");Z:/usr/x86_64-w64-mingw32/lib"
export WINEPATH
# The persistent server and Wine's own services start here, before CTest: started by a
# test, they would hold its output pipe open and the test would wait for them.
mkdir -p "$WINEPREFIX"
wineserver -p || true  # fails when one is running already, which will do
trap 'wineserver -k || true' EXIT
wine cmd /c exit >/dev/null 2>&1

for kind in static shared; do
  shared=OFF
  [ $kind = shared ] && shared=ON
  echo "-- Windows, $kind build"
  cmake -S . -B "$work/$kind" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DBUILD_SHARED_LIBS=$shared -DPIXELRY_WERROR=ON \
    -DGTest_DIR="$work/googletest/lib/cmake/GTest" >/dev/null
  cmake --build "$work/$kind" -j2 >/dev/null
  run_tests "$work/$kind"
done

echo "-- Windows programs against the Linux build"
compare_programs "$native" "$work/static/bin" .exe wine
