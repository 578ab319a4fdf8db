"""Times our command against a peer's, in pairs: each run runs both, ours
first in even runs and the peer's first in odd ones, so that a change of
load falls on both sides alike.
   measure.py -n RUNS -C DIR OURS [OURS_PREPARE] -- PEER [PEER_PREPARE]
Each command is a shell command run in DIR, its output and input
/dev/null; a PREPARE command runs (untimed) before each run of its side,
e.g. to give it a fresh output folder. Prints one line:
   OURS_MEDIAN PEER_MEDIAN RATIO OURS_PEAK PEER_PEAK
seconds (the medians of each side's runs), the median of the runs' ratios
ours / peer (below 1: ours is faster), and the peak memory of each side
(maximum resident set over its runs, KiB). A failing run names its
command on stderr and exits 1."""
import os
import statistics
import subprocess
import sys
import tempfile
import time


def timed(command, prepare, cwd, report, null):
    """Seconds and peak KiB of one run of COMMAND."""
    if prepare and subprocess.call(prepare, shell=True, cwd=cwd, stdout=null, stderr=null) != 0:
        sys.exit(f"measure.py: failed to prepare: {prepare}")
    start = time.perf_counter()
    # GNU time reports the peak of the command itself; a forked Python
    # child would carry this interpreter's memory into the figure.
    status = subprocess.call(["/usr/bin/time", "-f", "%M", "-o", report.name, "sh", "-c", command],
                             cwd=cwd, stdin=null, stdout=null, stderr=null)
    seconds = time.perf_counter() - start
    if status != 0:
        sys.exit(f"measure.py: failed (exit {status}): {command}")
    report.seek(0)
    return seconds, int(report.read().split()[-1])


def main():
    args = sys.argv[1:]
    if len(args) < 6 or args[0] != "-n" or args[2] != "-C" or "--" not in args:
        sys.exit(__doc__)
    runs, cwd = int(args[1]), args[3]
    split = args.index("--")
    sides = [args[4:split], args[split + 1:]]
    if not all(1 <= len(side) <= 2 for side in sides):
        sys.exit(__doc__)
    times, peaks = ([], []), [0, 0]
    with tempfile.NamedTemporaryFile("r") as report, open(os.devnull, "r+b") as null:
        for run in range(runs):
            for side in ((0, 1) if run % 2 == 0 else (1, 0)):
                command, prepare = (sides[side] + [None])[:2]
                seconds, peak = timed(command, prepare, cwd, report, null)
                times[side].append(seconds)
                peaks[side] = max(peaks[side], peak)
    ratio = statistics.median(o / p for o, p in zip(*times))
    print(f"{statistics.median(times[0]):.4f} {statistics.median(times[1]):.4f} {ratio:.3f} {peaks[0]} {peaks[1]}")


main()
