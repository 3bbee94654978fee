#!/usr/bin/env bash
# Writes one photograph at 256, 16 and 2 colours with the standard table and with a table made for it, each with
# and without dithering, all by bmpconvert, and makes PNG thumbnails of Pixelry's files for examples/README.md.
#
#   tools/palette_pictures.sh [--build DIR] [PHOTO]
#
# PHOTO defaults to LadyBird.jpg of Debian's mate-backgrounds (installed with apt-get when missing, as root). It is cut
# to 320 x 200 by ImageMagick, written as a 24-bit BMP, and converted by bmpconvert from this repository (built in
# DIR, kept for the next run, or in a temporary directory). ImageMagick then turns each BMP file bmpconvert wrote
# into a PNG with the same pixels in examples/images/palette-COLOURS-TABLE[-dithered].png, with the original as
# examples/images/palette-original.png. The same photograph and packages give the same files.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build= photo=/usr/share/backgrounds/mate/nature/LadyBird.jpg
while (($#)); do
    case $1 in
        --build) build=$(realpath -m "$2"); shift 2 ;;
        -*) echo "usage: $0 [--build DIR] [PHOTO]" >&2; exit 2 ;;
        *) photo=$(realpath -m "$1"); shift ;;
    esac
done

need=()
command -v convert >/dev/null || need+=(imagemagick)
command -v cmake >/dev/null || need+=(cmake g++ make)
[[ -e $photo || $photo != /usr/share/backgrounds/mate/* ]] || need+=(mate-backgrounds)
((${#need[@]} == 0)) || apt-get install -y --no-install-recommends "${need[@]}" >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
build=${build:-$scratch/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPIXELRY_BUILD_PROGRAMS=ON -DPIXELRY_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bmpconvert -j2 >/dev/null
bmpconvert=$build/examples/bmpconvert

out=$root/examples/images
mkdir -p "$out"
# A PNG with exactly the file's pixels, and nothing that changes from run to run.
png() { convert "$1" -strip -define png:exclude-chunks=date,time "$2"; }

convert "$photo" -resize 320x200^ -gravity center -extent 320x200 -type TrueColor BMP3:"$scratch/photo.bmp"
png "$scratch/photo.bmp" "$out/palette-original.png"
for colours in 256:8 16:4 2:1; do
    for table in standard adaptive; do
        for dither in "" --dither; do
            name=palette-${colours%:*}-$table${dither:+-dithered}
            "$bmpconvert" "$scratch/photo.bmp" "$scratch/$name.bmp" "${colours#*:}" --palette "$table" $dither 2>/dev/null
            png "$scratch/$name.bmp" "$out/$name.png"
        done
    done
done
ls -l "$out"
