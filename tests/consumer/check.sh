#!/usr/bin/env bash
# Installs Pixelry (static, then shared) into scratch prefixes, checks that each installed
# tree holds exactly the expected files, and builds and runs the consumer three ways:
# find_package on the prefix, pkg-config, and add_subdirectory of the source tree.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

check_tree() {  # prefix, library file names
  local prefix="$1" library="$2"
  (cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort) > "$scratch/actual.txt"
  # lib/... may be lib64/... on some systems; this project installs to lib.
  awk -v lib="$library" '$0 == "LIBRARY" { n = split(lib, l, " "); for (i = 1; i <= n; i++) print "lib/" l[i]; next } { print }' \
    "$here/installed.txt" | LC_ALL=C sort > "$scratch/expected.txt"
  if ! diff -u "$scratch/expected.txt" "$scratch/actual.txt"; then
    echo "installed tree differs from tests/consumer/installed.txt" >&2
    exit 1
  fi
}

build_consumers() {  # prefix, label
  local prefix="$1" label="$2" work="$scratch/$2"
  mkdir -p "$work"
  echo "-- $label: find_package"
  cmake -S "$here" -B "$work/package" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/package" >/dev/null
  (cd "$work" && LD_LIBRARY_PATH="$prefix/lib" "$work/package/consumer")
  echo "-- $label: pkg-config"
  # shellcheck disable=SC2046
  g++ -std=c++17 -o "$work/consumer_pc" "$here/consumer.cpp" \
    $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs pixelry)
  (cd "$work" && LD_LIBRARY_PATH="$prefix/lib" "$work/consumer_pc")
}

for kind in static shared; do
  shared=OFF; library="libpixelry.a"
  if [ "$kind" = shared ]; then
    shared=ON; library="libpixelry.so libpixelry.so.1 libpixelry.so.1.0.0"
  fi
  echo "== $kind library"
  cmake -S "$source_dir" -B "$scratch/build-$kind" -DBUILD_SHARED_LIBS=$shared -DPIXELRY_BUILD_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX="$scratch/prefix-$kind" -DCMAKE_INSTALL_LIBDIR=lib >/dev/null
  cmake --build "$scratch/build-$kind" -j2 >/dev/null
  cmake --install "$scratch/build-$kind" >/dev/null
  check_tree "$scratch/prefix-$kind" "$library"
  build_consumers "$scratch/prefix-$kind" "$kind"
done

echo "-- shared library: SONAME and exported symbols"
readelf -d "$scratch/prefix-shared/lib/libpixelry.so.1.0.0" | grep -q 'SONAME.*\[libpixelry\.so\.1\]'
if nm -D --defined-only "$scratch/prefix-shared/lib/libpixelry.so.1.0.0" | grep -q 'pixelry6detail'; then
  echo "internal symbols are exported from the shared library" >&2
  exit 1
fi

echo "-- add_subdirectory"
cmake -S "$here" -B "$scratch/subdirectory" -DPIXELRY_SOURCE="$source_dir" >/dev/null
cmake --build "$scratch/subdirectory" -j2 >/dev/null
(cd "$scratch" && "$scratch/subdirectory/consumer")
if [ -e "$scratch/subdirectory/pixelry/tests" ] || grep -rqE -- "-W(error|all)" "$scratch/subdirectory/pixelry/CMakeFiles/pixelry.dir/flags.make"; then
  echo "the subproject build leaks Pixelry's tests or warnings" >&2
  exit 1
fi
echo "consumer checks passed"
