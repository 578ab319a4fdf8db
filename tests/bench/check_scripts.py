"""The benchmark's own scripts: the corpus plan keeps its shape, and
measure.py runs both sides the same number of times, alternating, and
reports a failing run as a failure. Nothing here is timed.
Exit 77 (skipped) without GNU time, unless CI=true."""
import os
import subprocess
import sys
import tempfile

BENCH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench")
sys.path.insert(0, BENCH)
import make_realistic  # noqa: E402

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def corpus_plan():
    import random
    rng = random.Random(1)
    for count, total, smallest, largest in [(155, 32 << 20, 4 << 10, 2 << 20), (20000, 32 << 20, 64, 16 << 10),
                                            (310, 64 << 20, 4 << 10, 2 << 20)]:
        drawn = make_realistic.sizes(rng, count, total, smallest, largest)
        check(len(drawn) == count and sum(drawn) == total and min(drawn) >= 1,
              f"sizes({count}, {total}) gives {len(drawn)} sizes of {sum(drawn)} bytes, smallest {min(drawn)}")
        chosen = make_realistic.kinds(drawn)
        for kind, share in make_realistic.SHARES.items():
            got = sum(size for size, k in zip(drawn, chosen) if k == kind) / total
            # A share is off by at most the largest piece.
            check(abs(got - share) <= max(drawn) / total,
                  f"kind {kind}: {got:.3f} of the bytes, not {share}")


def measure(folder, *args):
    return subprocess.run([sys.executable, os.path.join(BENCH, "measure.py"), "-n", "4", "-C", folder, *args],
                          capture_output=True, text=True)


def pairing():
    with tempfile.TemporaryDirectory() as folder:
        done = measure(folder, "echo o >>order", "echo prepared >>ours", "--", "echo p >>order")
        fields = done.stdout.split()
        check(done.returncode == 0 and len(fields) == 5, f"measure.py printed {done.stdout!r}, {done.stderr!r}")
        if done.returncode == 0 and len(fields) == 5:
            check(all(float(f) > 0 for f in fields), f"measure.py: a figure is not positive: {done.stdout!r}")
        with open(os.path.join(folder, "order")) as f:
            order = f.read().split()
        check(order == "o p p o o p p o".split(), f"runs in the order {order}")
        with open(os.path.join(folder, "ours")) as f:
            check(len(f.read().split()) == 4, "our side is not prepared before each of its runs")

        for ours, peers in [("true", "exit 3"), ("exit 3", "true")]:
            failed = measure(folder, ours, "--", peers)
            check(failed.returncode == 1 and "exit 3" in failed.stderr and not failed.stdout,
                  f"a failing run ({ours} -- {peers}) gives exit {failed.returncode}, {failed.stdout!r}")
        failed = measure(folder, "true", "exit 4", "--", "true")
        check(failed.returncode != 0 and not failed.stdout, "a failing preparation passes for a measurement")


def main():
    corpus_plan()
    if os.path.exists("/usr/bin/time"):
        pairing()
    elif os.environ.get("CI") == "true":
        failures.append("GNU time (/usr/bin/time) is missing")
    else:
        print("check_scripts: /usr/bin/time is missing: measure.py not checked")
        sys.exit(77)
    for failure in failures:
        print("FAILED:", failure)
    sys.exit(1 if failures else 0)


main()
