# Sourced by the scripts that drive ten programs that read and write BMP files (make_program_corpus.sh,
# check_written_forms.sh). Needs Debian 12, and root when a package is missing.
#
#   bmp_programs_install [PACKAGE...]   installs with apt-get those of the programs' Debian packages, and of the
#                                       packages named, that are missing
#   bmp_programs_env WORKDIR            sets the environment the programs run in (GIMP's profile goes in WORKDIR)
#   bmp_programs_prepare ROOT TARGET [BUILD]
#                                       for the scripts that check Pixelry's files: installs what they need, makes a
#                                       work folder $work (removed on exit), builds the Pixelry tree ROOT's TARGET in
#                                       BUILD (default $work/build; programs, no tests), sets $build to it, and the
#                                       programs' environment with tools/ on PYTHONPATH
#
# The programs' packages:
#   imagemagick graphicsmagick netpbm ffmpeg gimp            command-line writers and readers
#   python3 python3-pil python3-numpy python3-opencv         Pillow, OpenCV
#   python3-pyqt5                                            Qt 5 (QImage)
#   python3-pygame                                           SDL 2 (SDL_SaveBMP / SDL_LoadBMP)
#   python3-gi gir1.2-gdkpixbuf-2.0                          gdk-pixbuf
# bmp_programs.py reads a file with each of them; bmp_programs_api.py runs those that are Python libraries.

bmp_programs_packages=(imagemagick graphicsmagick netpbm ffmpeg gimp python3 python3-pil python3-numpy python3-opencv
                       python3-pyqt5 python3-pygame python3-gi gir1.2-gdkpixbuf-2.0)

bmp_programs_install() {
    local missing=() p
    for p in "${bmp_programs_packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "installing: ${missing[*]}" >&2
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
    fi
}

bmp_programs_prepare() {
    bmp_programs_install cmake make g++
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    build=${3:-$work/build}
    cmake -S "$1" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPIXELRY_BUILD_PROGRAMS=ON -DPIXELRY_BUILD_TESTS=OFF >/dev/null
    nice -n 10 cmake --build "$build" --target "$2" -j1 >/dev/null
    bmp_programs_env "$work"
    export PYTHONPATH=$1/tools
}

bmp_programs_env() {
    mkdir -p "$1/gimp-profile"
    # Debian's programs and Python first (a Python from pyenv or /usr/local would not see python3-pil and the rest);
    # one thread each, headless Qt and SDL, GIMP with a fresh profile.
    export PATH=/usr/bin:/bin LC_ALL=C TZ=UTC MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 OMP_THREAD_LIMIT=1 \
           QT_QPA_PLATFORM=offscreen SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy PYGAME_HIDE_SUPPORT_PROMPT=1 \
           GIMP2_DIRECTORY="$1/gimp-profile" PYTHONDONTWRITEBYTECODE=1 PYTHONHASHSEED=0
    unset PYTHONPATH
}
