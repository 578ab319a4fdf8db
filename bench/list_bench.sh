#!/usr/bin/env bash
# Lists archives of 25,000 / 50,000 / 100,000 small entries with arjhost,
# arj and 7zz in one run; prints wall time, peak memory and our ratios.
#   bench/list_bench.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

measure() {  # measure COMMAND...: prints "seconds peak_kib"
  /usr/bin/time -o "$work/time" -f "%e %M" "$@" >/dev/null 2>&1 || true
  tail -n 1 "$work/time"
}

printf "%-8s %-8s %10s %12s\n" entries tool seconds "peak KiB"
for n in 25000 50000 100000; do
  archive=$work/many$n.arj
  python3 "$here/make_many_entries.py" "$archive" "$n"
  declare -A t m
  for tool in arjhost arj 7zz; do
    case $tool in
      arjhost) cmd=("$build/arjhost" list "$archive") ;;
      arj) command -v arj >/dev/null || continue; cmd=(arj l "$archive" -y) ;;
      7zz) command -v 7zz >/dev/null || continue; cmd=(7zz l "$archive") ;;
    esac
    read -r s k < <(measure "${cmd[@]}" </dev/null)
    t[$tool]=$s; m[$tool]=$k
    printf "%-8s %-8s %10s %12s\n" "$n" "$tool" "$s" "$k"
  done
  for peer in arj 7zz; do
    [ -n "${t[$peer]:-}" ] && awk -v a="${t[arjhost]}" -v b="${t[$peer]}" -v p="$peer" -v n="$n" \
      'BEGIN { if (a > 0) printf "%-8s ratio    %s time / arjhost time = %.2f\n", n, p, b / a }'
  done
  unset t m
done
