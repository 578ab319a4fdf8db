"""What the reader and writer differentials share: running a peer or our
tool with a time limit, reading `arj v`, and the lists of accepted
disagreements."""
import fnmatch
import os
import re
import signal
import subprocess


# Set by a sanitizer build's tests: the exit code of a process the
# sanitizers stopped, which no command of ours or of a peer gives.
SANITIZER_EXIT_CODE = int(os.environ.get("ARJHOST_SANITIZER_EXIT_CODE") or 0)


class SanitizerFinding(Exception):
    """The sanitizers stopped a run: the whole test fails, whatever the
    verdict the run's exit code would otherwise have matched."""


def run(argv, cwd, seconds, env=None):
    """(exit code, stdout); a run past its time counts as a failure (code
    124). `seconds` bounds the program's CPU time, not the clock's, so that a
    loaded machine never turns a slow success into a timeout: prlimit execs
    the program itself (no watcher process per run, which cost a millisecond
    each), SIGXCPU at the limit, SIGKILL a second after. A run that blocks
    without spending CPU is killed by the clock, at three times that."""
    try:
        p = subprocess.run(["prlimit", "--cpu=%d:%d" % (seconds, seconds + 1), "--"] + argv, cwd=cwd,
                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=3 * seconds + 10, env=env)
    except subprocess.TimeoutExpired:
        return 124, b""
    if SANITIZER_EXIT_CODE and p.returncode == SANITIZER_EXIT_CODE:
        raise SanitizerFinding("the sanitizers stopped %s in %s:\n%s" % (
            " ".join(argv), cwd, p.stderr.decode("utf-8", "replace")[-6000:]))
    if p.returncode in (-signal.SIGXCPU, -signal.SIGKILL):
        return 124, p.stdout
    return p.returncode, p.stdout


ARJ_ENTRY = re.compile(rb"^\d{3}\)(?: (.*))?$")
# " 11 UNIX   33   33 1.000 26-12-09 ..." (a year past 2099 runs into the ratio)
ARJ_SIZES = re.compile(rb"^\s*\d+ .*?\s(\d+)\s+(\d+)\s+\d+\.\d{3}.*(.)$")


def arj_entries(listing):
    """(name, size) of each entry `arj v` lists, the parts of a split
    entry ('>' first, '*' middle, '<' last) added into one."""
    entries = []
    lines = [line.rstrip(b"\r") for line in listing.split(b"\n")]
    chained = False
    for i, line in enumerate(lines):
        m = ARJ_ENTRY.match(line)
        if not m:
            continue
        # The sizes follow the name, after a line of comment or host data.
        s = next((ARJ_SIZES.match(x) for x in lines[i + 1:i + 4] if ARJ_SIZES.match(x)), None)
        if not s:
            continue
        name, size, mark = m.group(1) or b"", int(s.group(1)), s.group(3)
        if mark in (b"*", b"<") and chained and entries and entries[-1][0] == name:
            entries[-1] = (name, entries[-1][1] + size)
        else:
            entries.append((name, size))
        chained = mark in (b">", b"*")
    return entries


def printable(name):
    return all(32 <= b < 127 for b in name)


def read_accepted(path):
    """{'accepted': [...], 'known': [...]} of (class, pattern, reason)."""
    sections = {"accepted": [], "known": []}
    current = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            if line in ("[accepted]", "[known]"):
                current = line[1:-1]
                continue
            kind, pattern, reason = (line.split(None, 2) + ["", ""])[:3]
            sections[current].append((kind, pattern, reason))
    return sections


def listed(rules, kind, name):
    return next((r for r in rules if r[0] == kind and fnmatch.fnmatchcase(name, r[1])), None)
