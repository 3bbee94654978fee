#!/usr/bin/env bash
# CI step: builds the fuzz targets with clang 14 and runs each for 30 seconds on its seed
# corpus; any crash, sanitizer report, failed expectation or hang fails the step.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${PIXELRY_FUZZ_BUILD:-build-fuzz}"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPIXELRY_BUILD_FUZZERS=ON -DPIXELRY_BUILD_TESTS=OFF -DPIXELRY_BUILD_PROGRAMS=OFF \
  -DPIXELRY_BUILD_BENCH=OFF -DPIXELRY_INSTALL=OFF -DPIXELRY_WERROR=ON
cmake --build "$build" -j2 --target fuzz_reader fuzz_headers fuzz_roundtrip fuzz_utilities fuzz_full fuzz_codec
fuzz/run.sh "$build" "${PIXELRY_FUZZ_SECONDS:-30}"
