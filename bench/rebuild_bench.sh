#!/usr/bin/env bash
# Rewriting archives with arjhost against arj, in one run:
#  (a) delete one entry from a 64 MiB archive: arjhost delete, arj d, and a
#      plain copy of the archive as the floor;
#  (b) add 64 MiB of mixed files with each method: arjhost add, arj a.
# Prints MB/s, packed/original ratios, and peak memory (maximum RSS).
#   bench/rebuild_bench.sh [BUILD_DIR]     (default: build)
# Needs arj, python3 and /usr/bin/time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
tool="$build/arjhost"
for need in arj python3 /usr/bin/time "$tool"; do
  command -v "$need" >/dev/null || { echo "rebuild_bench: $need is missing" >&2; exit 2; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/rebuild-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# 64 MiB in 32 files: prose, source-like text, structured binary, runs, noise.
python3 - "$work/files" <<'PY'
import os, random, struct, sys
out = sys.argv[1]; os.makedirs(out)
rng = random.Random(20240601)
words = ("archive entry header volume packed method the of and to in is that for it with as was on be "
         "data file size offset table index stream buffer window match length distance code tree").split()
def prose(n):
    parts, size = [], 0
    while size < n:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(5, 14))) + ".\n"
        parts.append(line); size += len(line)
    return "".join(parts).encode()[:n]
def source(n):
    parts, size, i = [], 0, 0
    while size < n:
        line = f"    result = table[{i % 97}] + {rng.choice(words)}_{i % 13}({i * 7 % 1000});\n"
        parts.append(line); size += len(line); i += 1
    return "".join(parts).encode()[:n]
def structured(n):
    return b"".join(struct.pack("<IIhh", i, i * 3 + rng.randint(0, 3), i % 500, -(i % 77)) for i in range(n // 12 + 1))[:n]
def runs(n):
    b = bytearray()
    while len(b) < n: b += bytes([rng.randrange(256)]) * rng.randint(1, 300)
    return bytes(b[:n])
def noise(n): return rng.randbytes(n)
kinds = [prose, source, structured, runs, noise, prose, source, structured]
for i in range(32):
    with open(os.path.join(out, f"f{i:02d}.dat"), "wb") as f: f.write(kinds[i % len(kinds)](2 << 20))
PY
files=$(cd "$work/files" && ls)
total=$(cd "$work/files" && cat $files | wc -c)

# Best of three runs: seconds and peak KiB of a command (run through bash
# so that redirections work; `prepare` runs before each).
measure() {
  local log="$work/time.log" best="" peak="" prepare=${PREPARE:-true}
  for _ in 1 2 3; do
    eval "$prepare"
    /usr/bin/time -f "%e %M" -o "$log" bash -c "$*" </dev/null >/dev/null 2>&1
    read -r t k <"$log"
    if [ -z "$best" ] || python3 -c "import sys; sys.exit(not float(sys.argv[1]) < float(sys.argv[2]))" "$t" "$best"; then
      best=$t; peak=$k
    fi
  done
  echo "$best $peak"
}
mbps() { python3 -c "import sys; b,s=float(sys.argv[1]),float(sys.argv[2]); print(f'{b/1e6/max(s,0.005):8.1f}')" "$1" "$2"; }
ratio() { python3 -c "import sys; print(f'{int(sys.argv[1])/int(sys.argv[2]):.4f}')" "$1" "$2"; }

echo "== (a) delete one entry from a 64 MiB archive"
(cd "$work/files" && arj a -y -m0 "$work/big.arj" $files </dev/null >/dev/null)
size=$(stat -c %s "$work/big.arj")
# Every writer gets a fresh destination, except the in-place runs, which
# replace an existing archive as a user's delete does. (On ext4 a file that
# replaces another by rename is flushed first: that is the in-place cost.)
fresh="rm -f '$work/copy.arj' '$work/ours.arj'"
read -r t_copy m_copy < <(PREPARE=$fresh measure cp "$work/big.arj" "$work/copy.arj")
read -r t_cat m_cat < <(PREPARE=$fresh measure "cat '$work/big.arj' > '$work/copy.arj'")
read -r t_ours m_ours < <(PREPARE=$fresh measure "'$tool' delete '$work/big.arj' f10.dat -o '$work/ours.arj'")
read -r t_place m_place < <(PREPARE="cp '$work/big.arj' '$work/inplace.arj'" measure "'$tool' delete '$work/inplace.arj' f10.dat")
read -r t_arj m_arj < <(PREPARE="cp '$work/big.arj' '$work/theirs.arj'" measure "arj d -y '$work/theirs.arj' f10.dat")
printf "%-26s %10s %8s %10s\n" "" "seconds" "MB/s" "peak KiB"
printf "%-26s %10s %8s %10s\n" "cp (in-kernel copy)" "$t_copy" "$(mbps "$size" "$t_copy")" "$m_copy"
printf "%-26s %10s %8s %10s\n" "cat (read and write)" "$t_cat" "$(mbps "$size" "$t_cat")" "$m_cat"
printf "%-26s %10s %8s %10s\n" "arjhost delete -o NEW" "$t_ours" "$(mbps "$size" "$t_ours")" "$m_ours"
printf "%-26s %10s %8s %10s\n" "arjhost delete (in place)" "$t_place" "$(mbps "$size" "$t_place")" "$m_place"
printf "%-26s %10s %8s %10s\n" "arj d (in place)" "$t_arj" "$(mbps "$size" "$t_arj")" "$m_arj"
python3 -c "import sys; c,k,o=(max(float(x),0.005) for x in sys.argv[1:]); print(f'arjhost delete -o NEW at {100*c/o:.0f}% of cp, {100*k/o:.0f}% of cat')" "$t_copy" "$t_cat" "$t_ours"
arj t -y "$work/ours.arj" </dev/null >/dev/null && echo "arj t: ours ok"

echo
echo "== (b) add $((total >> 20)) MiB of mixed files"
echo "tiny" > "$work/files/seed.txt"
printf "%-7s %10s %8s %10s %8s | %10s %8s %10s %8s\n" method "ours s" "MB/s" "peak KiB" ratio "arj s" "MB/s" "peak KiB" ratio
for m in 0 1 2 3 4; do
  rm -f "$work/base.arj" "$work/ours$m.arj" "$work/arj$m.arj"
  (cd "$work/files" && "$tool" create "$work/base.arj" seed.txt -m "$m" >/dev/null)
  read -r t1 k1 < <(cd "$work/files" && PREPARE="rm -f '$work/ours$m.arj'" measure "'$tool' add '$work/base.arj' $(echo $files) -m $m -o '$work/ours$m.arj'")
  read -r t2 k2 < <(cd "$work/files" && PREPARE="rm -f '$work/arj$m.arj'" measure "arj a -y -m$m '$work/arj$m.arj' $(echo $files)")
  ours=$(stat -c %s "$work/ours$m.arj"); theirs=$(stat -c %s "$work/arj$m.arj")
  printf "%-7s %10s %8s %10s %8s | %10s %8s %10s %8s\n" "-m$m" "$t1" "$(mbps "$total" "$t1")" "$k1" \
    "$(ratio "$ours" "$total")" "$t2" "$(mbps "$total" "$t2")" "$k2" "$(ratio "$theirs" "$total")"
  arj t -y "$work/ours$m.arj" </dev/null >/dev/null || echo "arj t failed on ours -m$m"
done
