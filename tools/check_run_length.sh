#!/usr/bin/env bash
# Measures the RLE8 files Pixelry writes against ImageMagick's and checks which of ten other programs read Pixelry's
# RLE8 and RLE4 files exactly; prints both tables (Markdown).
#
#   tools/check_run_length.sh [--build DIR] [sizes|programs]...     both tables by default
#
# Builds run_length_write from this repository (in DIR, kept for the next run, or in a temporary directory); see
# check_run_length.py for the pictures and the comparisons. Needs Debian 12, and root when a package is missing: the
# programs' packages (bmp_programs.sh) and cmake, make and g++ are installed with apt-get.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build= parts=()
while (($#)); do
    case $1 in
        --build) build=$(realpath -m "$2"); shift 2 ;;
        sizes | programs) parts+=("$1"); shift ;;
        *) echo "usage: $0 [--build DIR] [sizes|programs]..." >&2; exit 2 ;;
    esac
done
((${#parts[@]})) || parts=(sizes programs)

source "$root/tools/bmp_programs.sh"
bmp_programs_prepare "$root" run_length_write "$build"
for part in "${parts[@]}"; do
    nice -n 10 python3 "$root/tools/check_run_length.py" "$part" "$work/$part" "$build/tools/run_length_write"
    echo
done
