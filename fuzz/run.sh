#!/usr/bin/env bash
# Runs fuzz targets one after the other, each for a given time on its seed corpus, and
# fails on the first finding (the crashing input is kept under the work directory).
#   fuzz/run.sh BUILD_DIR SECONDS [TARGET...]      targets: reader headers roundtrip utilities full codec
# New inputs go to a scratch copy of the corpus, never into the repository. Set
# PIXELRY_FUZZ_WORK to keep the scratch corpora and findings somewhere else than /tmp.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$1"
seconds="$2"
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(reader headers roundtrip utilities full codec)
work="${PIXELRY_FUZZ_WORK:-$(mktemp -d /tmp/pixelry-fuzz.XXXXXX)}"

seeds_of() {
  case "$1" in
    utilities) echo "$here/corpus/utilities" ;;
    full | codec) echo "$here/corpus/full" ;;
    *) echo "$here/corpus/bmp" ;;
  esac
}

for target in "${targets[@]}"; do
  binary="$build/fuzz/fuzz_$target"
  [ -x "$binary" ] || { echo "missing $binary (configure with -DPIXELRY_BUILD_FUZZERS=ON)"; exit 2; }
  mkdir -p "$work/$target/corpus" "$work/$target/findings"
  echo "== fuzz_$target for ${seconds}s"
  # -timeout: one input taking more than 10 s counts as a hang.
  if ! "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$work/$target/findings/" "$work/$target/corpus" "$(seeds_of "$target")" \
      >"$work/$target/log" 2>&1; then
    tail -n 40 "$work/$target/log"
    echo "fuzz_$target found a fault; input in $work/$target/findings/"
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec)|^#[0-9]+ +DONE' "$work/$target/log"
done
echo "== no findings"
