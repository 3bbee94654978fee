#!/usr/bin/env bash
# Proves that the classic readers and writers behave as they did at an older commit: builds
# tools/classic_digest (this tree's source) against the library at BASE_REV and against the
# working tree, runs both over the same BMP files and compares their digests line by line.
#
#   tools/classic_differential.sh [-n MUTANTS] [-s SEED] [-d DIR]... [-r REV] [-j JOBS] [-k] BASE_REV
#
#   -n  mutated files to add (default 3000)      -s  seed of the mutations (default 1)
#   -d  another folder whose .bmp files are read (repeatable; default /work/shared/bmpsuite
#       when it exists)
#   -r  compare with commit REV instead of the working tree
#   -j  compile jobs (default: all processors)   -k  keep the work folder (kept anyway
#                                                    when the digests differ)
#
# Files: every .bmp under tests/data and the -d folders, and MUTANTS mutations of the ones
# up to 64 KiB (byte flips; header fields set to edge values such as 0, 1, -1 and 2^31 or to
# values that mean something to a reader: depths, compressions, header sizes, offsets and
# colour counts; cuts at random points; bytes appended), the same for a given seed and file
# list. A mutation whose header claims between 4 Mi and 1 Gi pixels is drawn again: smaller
# grids are read quickly and larger ones cannot be allocated under the 4 GiB address-space
# limit both runs get, while the ones between would only cost time and memory.
# Both libraries and the digest are compiled with $CXX (default g++) -std=c++17 -O2 from
# their Pixelry/*.cpp, the vendoring path. A run that crashes or passes $DIGEST_TIMEOUT
# seconds (default 300) on a file records that and goes on after it.
# Exit status: 0 when every digest line matches, 1 when any differs, 2 on a setup failure.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mutants=3000
seed=1
jobs=$(nproc 2>/dev/null || echo 2)
keep=0
folders=()
head_rev=
usage() { sed -n '/^#   tools/,/digests differ)/p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2; exit 2; }
while getopts 'n:s:d:r:j:kh' option; do
  case "$option" in
    n) mutants=$OPTARG ;;
    s) seed=$OPTARG ;;
    d) folders+=("$(realpath "$OPTARG")") ;;
    r) head_rev=$OPTARG ;;
    j) jobs=$OPTARG ;;
    k) keep=1 ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
(($# == 1)) || usage
[[ $mutants =~ ^[0-9]+$ && $seed =~ ^[0-9]+$ && $jobs =~ ^[1-9][0-9]*$ ]] || usage
if ((${#folders[@]} == 0)) && [[ -d /work/shared/bmpsuite ]]; then folders=(/work/shared/bmpsuite); fi
commit() { git -C "$root" rev-parse --verify --quiet "$1^{commit}" || { echo "unknown revision: $1" >&2; exit 2; }; }
base_rev=$(commit "$1")
base_name=$(git -C "$root" rev-parse --short "$base_rev")
if [[ -n $head_rev ]]; then
  head_rev=$(commit "$head_rev")
  head_name=$(git -C "$root" rev-parse --short "$head_rev")
else
  head_name="the working tree"
fi
command -v python3 >/dev/null || { echo "python3 is needed for the mutations" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/classic-differential.XXXXXX")
differed=0
cleanup() {
  for tree in base head; do
    [[ -d $work/$tree ]] && git -C "$root" worktree remove --force "$work/$tree" 2>/dev/null
  done
  if ((keep || differed)); then echo "work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 2' INT TERM
git -C "$root" worktree add --detach --quiet "$work/base" "$base_rev"
head_tree=$root
if [[ -n $head_rev ]]; then
  git -C "$root" worktree add --detach --quiet "$work/head" "$head_rev"
  head_tree=$work/head
fi

# build TREE OUT: the library of TREE with this tree's digest, as OUT/classic_digest.
export CXX=${CXX:-g++}
build() {
  mkdir -p "$2"
  # shellcheck disable=SC2016  # expanded by the sh that xargs starts, one per source
  TREE=$1 OBJ=$2 xargs -0 -P "$jobs" -n 1 sh -c \
    '"$CXX" -std=c++17 -O2 -ffp-contract=off -I"$TREE" -c "$1" -o "$OBJ/$(basename "$1" .cpp).o"' sh \
    < <(printf '%s\0' "$1"/Pixelry/*.cpp "$root/tools/classic_digest.cpp")
  "$CXX" "$2"/*.o -pthread -o "$2/classic_digest"
}
start=$SECONDS
echo "building $base_name and $head_name with $CXX"
build "$work/base" "$work/build-base" || { echo "the build of $base_name failed" >&2; exit 2; }
build "$head_tree" "$work/build-head" || { echo "the build of $head_name failed" >&2; exit 2; }
echo "built in $((SECONDS - start)) s"

find "$root/tests/data" "${folders[@]}" -type f -name '*.bmp' -print | LC_ALL=C sort > "$work/corpus.txt"
mkdir -p "$work/mutants"
python3 - "$seed" "$mutants" "$work/mutants" "$work/corpus.txt" <<'PYTHON'
# SEED COUNT OUTDIR LIST: writes COUNT mutations of the files listed in LIST into OUTDIR
# (mut-00000.bmp ...), with manifest.tsv saying what each one is: its source and the
# changes, in order.
import random, struct, sys

seed, count, outdir, listing = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
rng = random.Random(seed)
SMALL, HUGE = 1 << 22, 1 << 30  # pixels: written below SMALL or above HUGE only

# name: (offset, bytes, values that mean something there)
FIELDS = {
    'bfType': (0, 2, [0x4D42, 0x4142, 0x4943, 0x5450]),
    'bfSize': (2, 4, [0, 1, 14, 54]),
    'bfReserved': (6, 4, [1, 0xFFFFFFFF]),
    'bfOffBits': (10, 4, [0, 1, 13, 14, 26, 54, 66, 70, 118, 122, 138, 1078]),
    'biSize': (14, 4, [0, 1, 11, 12, 13, 16, 24, 39, 40, 41, 52, 56, 64, 108, 124, 125, 200]),
    'biWidth': (18, 4, [2, 3, 4, 7, 8, 31, 32, 33, -2, -127, 1024, 4096]),
    'biHeight': (22, 4, [2, 3, -2, -3, -64, 1024, 4096]),
    'biPlanes': (26, 2, [0, 2, 0xFFFF]),
    'biBitCount': (28, 2, [0, 1, 2, 3, 4, 5, 8, 15, 16, 24, 32, 48, 64, 0xFFFF]),
    'biCompression': (30, 4, [0, 1, 2, 3, 4, 5, 6, 11, 12, 13]),
    'biSizeImage': (34, 4, [0, 1, 4, 1024]),
    'biXPelsPerMeter': (38, 4, [0, 1, 2835, 3780, 3779, 3781, 39, 40]),
    'biYPelsPerMeter': (42, 4, [0, 1, 2835, 3780, 3779, 3781, 39, 40]),
    'biClrUsed': (46, 4, [0, 1, 2, 3, 15, 16, 17, 255, 256, 257, 65536]),
    'biClrImportant': (50, 4, [0, 1, 2, 16, 256, 257]),
    'redMask': (54, 4, [0, 0x00FF0000, 0x7C00, 0xF800, 0x0F00, 0x3FF00000, 0x80000000, 0xF0F0]),
    'greenMask': (58, 4, [0, 0x0000FF00, 0x03E0, 0x07E0, 0x00F0, 0x000FFC00, 0x00FFFF00]),
    'blueMask': (62, 4, [0, 0x000000FF, 0x001F, 0x000F, 0x000003FF, 0x00000001]),
    'alphaMask': (66, 4, [0, 0xFF000000, 0x8000, 0xF000, 0xC0000000, 0x01]),
    'csType': (70, 4, [0, 0x73524742, 0x57696E20, 0x4C494E4B, 0x4D424544]),
    'profileData': (126, 4, [0, 1, 4, 0xFFFFFFFF]),
    'profileSize': (130, 4, [0, 1, 131, 132, 0xFFFFFFFF]),
}
EDGES = [0, 1, 0xFFFFFFFF, 0x80000000, 0x7FFFFFFF, 0xFFFF, 0x10000, 0xFFFFFFFE]


def claimed(data):
    """The most pixels a reader could take the header to claim."""
    if len(data) < 22:
        return 0
    core = struct.unpack_from('<HH', data, 18)
    most = core[0] * core[1]
    if len(data) >= 26:
        size = struct.unpack_from('<I', data, 14)[0]
        width, height = struct.unpack_from('<ii', data, 18)
        wide = abs(width) * abs(height)
        most = wide if 16 <= size <= 64 or size in (108, 124) else max(most, wide)
    return most


def set_field(data, name):
    offset, size, meaningful = FIELDS[name]
    if offset + size > len(data):
        return None
    old = int.from_bytes(data[offset:offset + size], 'little')
    pick = rng.random()
    if pick < 0.4:
        value = rng.choice(EDGES)
    elif pick < 0.8:
        value = rng.choice(meaningful)
    elif pick < 0.9:
        value = old + rng.choice([-2, -1, 1, 2, 4, -4, 8])
    else:
        value = rng.getrandbits(8 * size)
    value %= 1 << (8 * size)
    data[offset:offset + size] = value.to_bytes(size, 'little')
    return '%s=%#x' % (name, value)


def mutate(data):
    """One change to data (a bytearray), described, or None when it does not apply."""
    kind = rng.random()
    if kind < 0.5:
        return set_field(data, rng.choice(list(FIELDS)))
    if kind < 0.75:
        changes = []
        for _ in range(rng.randint(1, 4)):
            # Half the flips in the headers and colour table, where one byte matters most.
            limit = min(len(data), 200) if rng.random() < 0.5 else len(data)
            at = rng.randrange(limit)
            data[at] ^= rng.choice([1 << rng.randrange(8), rng.randrange(1, 256)])
            changes.append(str(at))
        return 'flip@' + ','.join(changes)
    if kind < 0.93:
        cut = rng.randrange(min(len(data), 200)) if rng.random() < 0.5 else rng.randrange(len(data))
        del data[cut:]
        return 'cut@%d' % cut
    extra = bytes(rng.randrange(256) for _ in range(rng.choice([1, 2, 3, 4, 17, 300])))
    data.extend(extra)
    return 'append+%d' % len(extra)


sources = []
with open(listing) as f:
    paths = f.read().splitlines()
for path in paths:
    with open(path, 'rb') as f:
        data = f.read()
    if 14 <= len(data) <= 65536 and claimed(data) <= SMALL:
        sources.append((path, data))

with open(outdir + '/manifest.tsv', 'w') as manifest:
    written = 0
    while written < count:
        path, original = rng.choice(sources)
        data = bytearray(original)
        changes = []
        for _ in range(rng.choice([1, 1, 1, 2, 2, 3])):
            change = mutate(data) if data else None
            if change:
                changes.append(change)
        pixels = claimed(data)
        if not changes or bytes(data) == original or SMALL < pixels <= HUGE:
            continue
        name = 'mut-%05d.bmp' % written
        with open(outdir + '/' + name, 'wb') as f:
            f.write(data)
        manifest.write('%s\t%s\t%s\n' % (name, path, ' '.join(changes)))
        written += 1
PYTHON
cut -f1 "$work/mutants/manifest.tsv" | sed "s|^|$work/mutants/|" > "$work/mutants.txt"
cat "$work/corpus.txt" "$work/mutants.txt" > "$work/files.txt"
total=$(wc -l < "$work/files.txt")

# digest NAME: runs build-NAME's digest over every file into NAME.txt, going on after a file
# it crashed or hung on, with that recorded as the file's digest.
digest() {
  local binary="$work/build-$1/classic_digest" out="$work/$1.txt" finished=0 status failing
  : > "$out"
  while ((finished < total)); do
    status=0
    (ulimit -v 4194304; timeout "${DIGEST_TIMEOUT:-300}" "$binary" --scratch "$work/scratch-$1.bmp" \
      < <(tail -n "+$((finished + 1))" "$work/files.txt") >> "$out" 2>> "$work/$1.stderr") || status=$?
    finished=$(grep -c $'\tend\t$' "$out" || true)
    if ((status != 0 && finished < total)); then
      failing=$(sed -n "$((finished + 1))p" "$work/files.txt")
      printf '"%s"\tcrash\texit=%d\n"%s"\tend\t\n' "$failing" "$status" "$failing" >> "$out"
      finished=$((finished + 1))
    fi
  done
}
start=$SECONDS
digest base &
base_job=$!
digest head
wait "$base_job"
echo "digested in $((SECONDS - start)) s"

lines=$(wc -l < "$work/base.txt")
diff "$work/base.txt" "$work/head.txt" > "$work/diff.txt" || true
changed=$(grep -c '^[<>]' "$work/diff.txt" || true)
files_changed=$({ grep '^[<>]' "$work/diff.txt" || true; } | cut -c3- | cut -f1 | sort -u | wc -l)
echo "files compared: $total ($(wc -l < "$work/corpus.txt") from the corpus, $(wc -l < "$work/mutants.txt") mutations, seed $seed)"
echo "digest lines: $lines at $base_name, $(wc -l < "$work/head.txt") at $head_name"
for name in base head; do
  crashes=$(grep -c $'\tcrash\t' "$work/$name.txt" || true)
  if ((crashes > 0)); then
    echo "crashes or hangs ($name): $crashes"
    grep $'\tcrash\t' "$work/$name.txt" | head -n 5 | sed 's/^/  /'
  fi
done
echo "differences: $changed lines in $files_changed files"
if ((changed > 0)); then
  differed=1
  echo "first differences (diff base head):"
  head -n 20 "$work/diff.txt" | cut -c1-400 | sed 's/^/  /'
  grep '^[<>]' "$work/diff.txt" | cut -c3- | cut -f1 | tr -d '"' | sort -u | grep -F "$work/mutants/" | head -n 5 |
    while read -r file; do
      grep -F "$(basename "$file")" "$work/mutants/manifest.tsv" | sed 's/^/  mutant: /'
    done
  exit 1
fi
