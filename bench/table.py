"""Prints the rows bench/run gathered as one table:
   table.py ROWS.tsv
Each row: job, peer, our median seconds, the peer's, the median ratio
ours / peer, our peak KiB, the peer's, notes (empty figures: it failed)."""
import sys


def mib(kib):
    return f"{int(kib) / 1024:.1f}" if kib else ""


def main():
    rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[1]) if line.strip()]
    print(f"{'job':<36} {'peer':<18} {'ours s':>8} {'peer s':>8} {'ours/peer':>10} "
          f"{'ours MiB':>8} {'peer MiB':>8}  notes")
    for job, peer, ours, theirs, ratio, our_peak, peer_peak, notes in rows:
        print(f"{job:<36} {peer:<18} {ours:>8} {theirs:>8} {ratio:>10} "
              f"{mib(our_peak):>8} {mib(peer_peak):>8}  {notes.rstrip('; ')}")
    peaks = [(int(r[5]), r[0]) for r in rows if r[5]]
    if peaks:
        peak, job = max(peaks)
        print(f"peak memory, ours: {peak / 1024:.1f} MiB ({job})")


main()
