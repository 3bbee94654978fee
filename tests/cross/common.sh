# Shared by the cross-platform CI steps (windows.sh, s390x.sh); sourced, not run.

# Sets work (build-NAME), toolchain (cmake/toolchains/TOOLCHAIN.cmake) and native (the
# Linux build to compare with: NATIVE_DIR, default build).
#   cross_dirs NAME TOOLCHAIN [NATIVE_DIR]
cross_dirs() {
  work="$PWD/build-$1"
  toolchain="$PWD/cmake/toolchains/$2.cmake"
  native="${3:-build}"
}

# Installs the Debian packages that are missing.
need() {
  local missing=()
  for package in "$@"; do dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -q "${missing[@]}" >/dev/null || { apt-get update -q >/dev/null && apt-get install -y -q "${missing[@]}" >/dev/null; }
}

# GoogleTest built from Debian's sources (package googletest) with a toolchain file,
# installed under PREFIX, once.
build_googletest() {
  local toolchain="$1" prefix="$2"
  [ -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ] && return 0
  cmake -S /usr/src/googletest -B "$prefix-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  cmake --build "$prefix-build" -j2 >/dev/null
  cmake --install "$prefix-build" >/dev/null
}

# A program of a build: glyph_guess at its top, the examples in examples/, or both in the
# folder given (a Windows build's bin/).
program_in() {
  if [ -f "$1/$2" ]; then echo "$1/$2"; else echo "$1/examples/$2"; fi
}

# Runs CTest in a build and prints its summary, or everything when a test fails. Under an
# emulator a program now and then dies at its start with no output (seen once in Wine in
# some 4000 runs), so a failed test runs once more; the summary names every such test.
run_tests() {
  local log
  log="$(mktemp)"
  if ! ctest --test-dir "$1" -j2 --output-on-failure --repeat until-pass:2 >"$log" 2>&1; then
    cat "$log"
    return 1
  fi
  grep -E "tests passed|Total Test time" "$log"
  echo "skipped: $(grep -c '\*\*\*Skipped' "$log" || true)"
  echo "passed on the second run: $(grep -oE 'Test +#[0-9]+: [^ ]+ [.]+\*\*\*Failed' "$log" | sed -E 's/.*: ([^ ]+) .*/\1/' | tr '\n' ' ')"
  rm -f "$log"
}

# Runs glyph_guess, bmpinfo, bmpscale and bmpconvert on every file of the BMP suite in the
# native build and in the cross build (started through EMULATOR), and fails unless both
# print the same text (line ends aside) and write the same bytes.
#   compare_programs NATIVE_DIR CROSS_PROGRAM_DIR EXE_SUFFIX EMULATOR...
compare_programs() {
  local native cross suffix="$3"
  native="$(cd "$1" && pwd)"
  cross="$(cd "$2" && pwd)"
  shift 3
  local emulator=("$@") scratch files=0 differ=0
  scratch="$(mktemp -d)"
  cp -r ideal_characters "$scratch/"
  run_side() {  # SIDE PROGRAM ARGUMENTS... (OUT in the arguments is the file written)
    local side="$1" program="$2" binary runner=() output="$scratch/$1.out"
    shift 2
    if [ "$side" = native ]; then binary="$(program_in "$native" "$program")"; else
      binary="$(program_in "$cross" "$program$suffix")"
      runner=("${emulator[@]}")
    fi
    rm -f "$scratch/out.bmp"
    (cd "$scratch" && "${runner[@]}" "$binary" "${@//OUT/$scratch/out.bmp}") >"$output.text" 2>&1 ||
      echo "exit $?" >>"$output.text"
    tr -d '\r' <"$output.text" >"$output"
    cat "$scratch/out.bmp" >>"$output" 2>/dev/null || true
  }
  run_both() {  # NAME PROGRAM ARGUMENTS...
    local name="$1"
    shift
    run_side native "$@"
    run_side cross "$@"
    cmp -s "$scratch/native.out" "$scratch/cross.out" && return 0
    # A second run tells a difference of the program's from a hiccup of the emulator's.
    echo "differs once: $name ($(cmp "$scratch/native.out" "$scratch/cross.out" 2>&1 | head -n 1))"
    head -c 300 "$scratch/cross.out" | head -n 3
    run_side cross "$@"
    cmp -s "$scratch/native.out" "$scratch/cross.out" && return 0
    echo "differs: $name"
    differ=$((differ + 1))
  }
  for file in tests/data/bmpsuite/{good,questionable,bad}/*.bmp; do
    # Its 24 TB grid is refused at once by Linux and Windows, but Wine takes a minute to
    # find that it cannot reserve it; the unit tests read it on every platform.
    [ "$file" = tests/data/bmpsuite/bad/reallybig.bmp ] && continue
    files=$((files + 1))
    run_both "glyph_guess $file" glyph_guess "$PWD/$file"
    run_both "bmpinfo $file" bmpinfo "$PWD/$file"
    run_both "bmpscale $file" bmpscale "$PWD/$file" OUT P 50
    run_both "bmpconvert $file 16" bmpconvert "$PWD/$file" OUT 16
    run_both "bmpconvert $file 32" bmpconvert "$PWD/$file" OUT 32
  done
  rm -rf "$scratch"
  echo "$files files, 5 runs each: $differ differ"
  [ "$differ" -eq 0 ]
}
