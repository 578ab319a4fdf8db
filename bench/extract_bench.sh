#!/usr/bin/env bash
# Extracts the same archives (a ~64 MiB mixed corpus, each of methods 1 to 4)
# with arjhost, arj and 7zz in one run, into a folder in /dev/shm; prints
# MB/s of unpacked output, peak memory and our ratio to the fastest peer.
# Then one entry of 8 MiB and one of 64 MiB, to show that our memory does
# not grow with an entry's size.
#   bench/extract_bench.sh [BUILD_DIR] [SIZE_MIB]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
size=${2:-64}
base=/dev/shm; [ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/arjhost-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 "$here/make_corpus.py" "$work/src" "$size"
bytes=$(du -sb "$work/src" | cut -f1)

measure() {  # measure COMMAND...: prints "seconds peak_kib"
  /usr/bin/time -o "$work/time" -f "%e %M" "$@" >/dev/null 2>&1 </dev/null || echo "failed: $*" >&2
  tail -n 1 "$work/time"
}
fresh() { rm -rf "$work/out"; mkdir -p "$work/out"; }

printf "%-7s %-8s %9s %9s %10s\n" method tool seconds "MB/s" "peak KiB"
for m in 1 2 3 4; do
  (cd "$work/src" && arj a -y -m$m "$work/m$m.arj" '*' </dev/null >/dev/null)
  declare -A t
  for tool in arjhost arj 7zz; do
    fresh
    case $tool in
      arjhost) read -r s k < <(measure "$build/arjhost" extract "$work/m$m.arj" -C "$work/out") ;;
      arj) read -r s k < <(cd "$work/out" && measure arj x -y "$work/m$m.arj") ;;
      7zz) read -r s k < <(measure 7zz x -y "$work/m$m.arj" "-o$work/out") ;;
    esac
    t[$tool]=$s
    awk -v m=$m -v tool=$tool -v s="$s" -v k="$k" -v b="$bytes" \
      'BEGIN { printf "%-7s %-8s %9.2f %9.1f %10d\n", m, tool, s, (s > 0 ? b / s / 1e6 : 0), k }'
  done
  awk -v m=$m -v a="${t[arjhost]}" -v x="${t[arj]}" -v z="${t[7zz]}" \
    'BEGIN { f = (x < z ? x : z); printf "%-7s ratio    fastest peer time / arjhost time = %.2f\n", m, (a > 0 ? f / a : 0) }'
  unset t
done

echo "memory against entry size (method 1):"
for n in 8 64; do
  rm -rf "$work/one" && mkdir -p "$work/one"
  python3 - "$work/one/big.bin" "$n" <<'PY'
import sys, random
r = random.Random(1)
words = [bytes(r.randrange(97, 123) for _ in range(r.randrange(2, 9))) for _ in range(500)]
out = bytearray()
while len(out) < int(sys.argv[2]) << 20:
    out += r.choice(words) + b" "
open(sys.argv[1], "wb").write(out[: int(sys.argv[2]) << 20])
PY
  (cd "$work/one" && arj a -y -m1 "$work/one$n.arj" big.bin </dev/null >/dev/null)
  fresh
  read -r s k < <(measure "$build/arjhost" extract "$work/one$n.arj" -C "$work/out")
  printf "  one entry of %3d MiB: %6.2f s, peak %d KiB\n" "$n" "$s" "$k"
done
