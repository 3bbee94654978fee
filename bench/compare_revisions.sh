#!/bin/sh
# The image object's readers and writers (pixelry_image_bench) built against an older
# revision of the library and against a newer one, timed in one session: the two programs
# run in turn, ROUNDS times, the first to run alternating, and each case keeps its best
# time over every run. Prints the best times and new / old for each case.
#
#   bench/compare_revisions.sh [-n NEW] [-r ROUNDS] [-k RUNS] [-f FILTER] OLD
#
# OLD and NEW are git revisions (NEW: the working tree when not given); ROUNDS (default 5)
# the turns of each program, RUNS (default 3) the runs of each case in one turn, FILTER a
# text the case names must contain ("16-bit", "Read"). Both programs are built in Release
# from the working tree's bench/ sources; everything goes under
# ${TMPDIR:-/tmp}/pixelry_compare.
set -eu
new=
rounds=5
runs=3
filter=
while getopts n:r:k:f: option; do
  case $option in
    n) new=$OPTARG ;;
    r) rounds=$OPTARG ;;
    k) runs=$OPTARG ;;
    f) filter=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
if [ $# -ne 1 ]; then
  sed -n '2,13p' "$0"
  exit 2
fi
old=$1
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${TMPDIR:-/tmp}/pixelry_compare

build() {
  rm -rf "$2"
  if ! cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DPIXELRY_BUILD_BENCH=ON -DPIXELRY_BUILD_TESTS=OFF \
    -DPIXELRY_BUILD_PROGRAMS=OFF -DPIXELRY_INSTALL=OFF >"$2.log" 2>&1 ||
    ! cmake --build "$2" --target pixelry_image_bench -j2 >>"$2.log" 2>&1; then
    echo "build failed: see $2.log" >&2
    exit 1
  fi
}

# A revision's library with the working tree's benchmark sources beside it.
unpack() {
  rm -rf "$work/$2-src"
  mkdir -p "$work/$2-src"
  git -C "$repo" archive "$1" | tar -x -C "$work/$2-src"
  rm -rf "$work/$2-src/bench"
  cp -R "$repo/bench" "$work/$2-src/bench"
}
unpack "$old" old
build "$work/old-src" "$work/old-build"
if [ -n "$new" ]; then
  unpack "$new" new
  build "$work/new-src" "$work/new-build"
  newName=$(git -C "$repo" rev-parse --short "$new")
else
  build "$repo" "$work/new-build"
  newName="working tree at $(git -C "$repo" rev-parse --short HEAD)"
  git -C "$repo" diff --quiet HEAD -- Pixelry || newName="$newName, Pixelry/ modified"
fi

"$work/new-build/bench/pixelry_image_bench" --make "$work/files"
echo "old: $(git -C "$repo" rev-parse --short "$old")   new: $newName"
echo "best of $rounds turns x $runs runs, the programs alternated; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
: >"$work/times"
round=1
while [ "$round" -le "$rounds" ]; do
  if [ $((round % 2)) -eq 1 ]; then order="old new"; else order="new old"; fi
  for side in $order; do
    "$work/$side-build/bench/pixelry_image_bench" --dir "$work/files" --runs "$runs" --filter "$filter" |
      sed "s/^/$side	/" >>"$work/times"
  done
  round=$((round + 1))
done
rm -rf "$work/files"

awk -F'\t' '
  !(($1 SUBSEP $2) in wall) { if ($1 == "old") order[++n] = $2; wall[$1, $2] = $3; cpu[$1, $2] = $4; next }
  { if ($3 < wall[$1, $2]) wall[$1, $2] = $3; if ($4 < cpu[$1, $2]) cpu[$1, $2] = $4 }
  END {
    printf "%-22s %9s %9s %8s %-13s %s\n", "case", "old ms", "new ms", "new/old", "goal", "cpu new/old"
    for (i = 1; i <= n; ++i) {
      c = order[i]; r = wall["new", c] / wall["old", c]
      printf "%-22s %9.1f %9.1f %8.3f <= 1.05 %-6s %.3f\n", c, wall["old", c], wall["new", c], r,
             r <= 1.05 ? "met" : "MISSED", cpu["new", c] / cpu["old", c]
    }
  }' "$work/times"
