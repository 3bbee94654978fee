#!/usr/bin/env bash
# Checks how ten other programs read the alpha and 16-bit forms Pixelry writes, and puts the table in
# examples/README.md between its check_written_forms.sh marker comments (a new section at the end when there are none).
#
#   tools/check_written_forms.sh [--build DIR] [--headers NOTES.md] [README]
#
# Builds bmpconvert from this repository (in DIR, kept for the next run, or in a temporary directory), has it write a
# 9 x 6 picture as 32 bits with an alpha mask (from a picture with alpha, and from a 24-bit one whose alpha is never
# set) and at 16 bits in the 5-6-5, 5-5-5, 1-5-5-5 and 4-4-4-4 layouts (a bmpconvert without --layout: 5-6-5 only,
# the three others made by hand with the headers Pixelry uses for them), then reads every file back with Pixelry and
# with ImageMagick, GraphicsMagick, netpbm, Pillow, ffmpeg, OpenCV, Qt, SDL, gdk-pixbuf and GIMP, and compares each
# pixel with Pixelry's reading. --headers also writes NOTES.md: each form under every header that could carry it,
# hand-made, and which header the most programs read exactly.
#
# Needs Debian 12, and root when a package is missing: the programs' packages (bmp_programs.sh) and cmake, make and
# g++ are installed with apt-get. The table is the same on every run with the same package versions.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build= notes= readme=$root/examples/README.md
while (($#)); do
    case $1 in
        --build) build=$(realpath -m "$2"); shift 2 ;;
        --headers) notes=$(realpath -m "$2"); shift 2 ;;
        -*) echo "usage: $0 [--build DIR] [--headers NOTES.md] [README]" >&2; exit 2 ;;
        *) readme=$(realpath -m "$1"); shift ;;
    esac
done

source "$root/tools/bmp_programs.sh"
bmp_programs_prepare "$root" bmpconvert "$build"
bmpconvert=$build/examples/bmpconvert
nice -n 10 python3 "$root/tools/check_written_forms.py" written "$work/written" "$bmpconvert" "$readme" >/dev/null
echo "wrote the table to $readme" >&2
if [[ -n $notes ]]; then
    nice -n 10 python3 "$root/tools/check_written_forms.py" headers "$work/headers" "$bmpconvert" "$notes" >/dev/null
    echo "wrote the header table to $notes" >&2
fi
