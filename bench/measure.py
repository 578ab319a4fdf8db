"""Runs a command several times and prints the best wall time in seconds
and the peak memory (maximum resident set, KiB) over the runs:
   measure.py [-n RUNS] [-p PREPARE] [-C DIR] -- COMMAND...
PREPARE is a shell command run before each run (not timed), e.g. to give
the command a fresh output folder. Output and input go to /dev/null; a
failing run prints "failed" on stderr and exits 1."""
import os
import subprocess
import sys
import tempfile
import time


def main():
    args = sys.argv[1:]
    runs, prepare, cwd = 3, None, None
    while args and args[0] != "--":
        flag, value, args = args[0], args[1], args[2:]
        if flag == "-n":
            runs = int(value)
        elif flag == "-p":
            prepare = value
        elif flag == "-C":
            cwd = value
        else:
            sys.exit("measure.py: unknown option " + flag)
    command = args[1:]
    best, peak = None, 0
    # GNU time reports the peak of the command itself; a forked Python
    # child would carry this interpreter's memory into the figure.
    with tempfile.NamedTemporaryFile("r") as report, open(os.devnull, "r+b") as null:
        for _ in range(runs):
            if prepare:
                subprocess.run(prepare, shell=True, check=True, cwd=cwd)
            start = time.perf_counter()
            status = subprocess.call(["/usr/bin/time", "-f", "%M", "-o", report.name] + command, cwd=cwd,
                                     stdin=null, stdout=null, stderr=null)
            seconds = time.perf_counter() - start
            if status != 0:
                print("failed: " + " ".join(command), file=sys.stderr)
                sys.exit(1)
            report.seek(0)
            best = seconds if best is None else min(best, seconds)
            peak = max(peak, int(report.read().split()[-1]))
    print(f"{best:.3f} {peak}")


main()
