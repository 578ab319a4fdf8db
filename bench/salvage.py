#!/usr/bin/env python3
"""Salvage: how many files each tool gets back intact from damaged archives.

   salvage.py [--cases N] [--seed S] [--tool PATH] [--verbose] [--only K --keep DIR]

A seeded set of archives made by arj (methods 1 and 4, a volume set of
`-v50k`, a garbled one, an ARJ-PROTECT one of `-hk`), each of about 100
files sliced from the C headers under /usr/include, is damaged case by
case: a zeroed or random run of 1 byte to 64 KiB in a header or in data,
the tail cut, a block removed, a middle volume missing, or two damaged
spots. Each tool extracts every case into a fresh folder:

  ours        arjhost extract --recover
  ours-keep   arjhost extract --recover --keep-damaged
  arj         arj x -y
  arj-jr      arj x -y -jr
  arj-q       arj q -y (its repaired copy, arjfixed.arj), then arj x -y of that
  7zz         7zz x -y
  unar        unar

A file counts as intact when its bytes equal the original's under the
original's name. A file written with other bytes (or under a name the
archive never held) is "wrong"; it is "unreported" when the tool exited 0
or did not name it in its output. The table gives each tool's intact,
wrong and unreported counts, and the cases where ours got back fewer files
than the best of arj's three ways. Exits 1 when ours wrote a wrong file
without reporting it, or exited 0 where something was lost.
"""
import argparse
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile

PASSWORD = "salvage"
KINDS = ("m1", "m4", "set", "garbled", "protected")
DAMAGES = ("zero", "random", "cut", "remove", "missing-volume", "two")
TOOLS = ("ours", "ours-keep", "arj", "arj-jr", "arj-q", "7zz", "unar")
TIMEOUT = 120


def corpus(folder, rng, count=100):
    """`count` files sliced from the C headers, flat, named f000.h on."""
    sources = sorted(os.path.join(d, f) for d, _, fs in os.walk("/usr/include") for f in fs if f.endswith(".h"))
    files = {}
    for k in range(count):
        size = int(512 * 2 ** rng.uniform(0, 7))  # 512 bytes to 64 KiB
        data, at = b"", rng.randrange(len(sources))
        while len(data) < size:
            with open(sources[at % len(sources)], "rb") as f:
                data += f.read()
            at += 1
        name = "f%03d.h" % k
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data[:size])
        files[name] = hashlib.sha256(data[:size]).digest()
    return files


def make_archive(kind, work, files_dir):
    """The archive of `kind` made by arj in `work`: its volume paths."""
    options = {"m1": ["-m1"], "m4": ["-m4"], "set": ["-m1", "-v50k"], "garbled": ["-m1", "-g" + PASSWORD],
               "protected": ["-m1", "-hk"]}[kind]
    target = os.path.join(work, "a.arj")
    names = sorted(os.listdir(files_dir))
    subprocess.run(["arj", "a", "-y", target] + options + names, cwd=files_dir, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    return sorted(os.path.join(work, n) for n in os.listdir(work) if n.startswith("a."))


def header_offsets(tool, volume):
    """Offsets of the entries' headers in `volume`, as our list reads them."""
    import json
    run = subprocess.run([tool, "list", volume, "--json", "--single-volume"], capture_output=True, check=False)
    try:
        doc = json.loads(run.stdout)
    except ValueError:
        return []
    return [e["header_offset"] for e in doc.get("entries", []) if "header_offset" in e]


def damage_run(data, rng, where):
    """One zeroed or random run of 1 byte to 64 KiB at `where`."""
    length = min(int(2 ** rng.uniform(0, 16)), len(data) - where)
    run = bytes(length) if rng.random() < 0.5 else bytes(rng.getrandbits(8) for _ in range(length))
    data[where:where + length] = run


def damage(volumes, rng, damage_kind, tool):
    """Damages the archive in place; returns a short description."""
    if damage_kind == "missing-volume":
        if len(volumes) < 3:
            damage_kind = "zero"
        else:
            gone = volumes[rng.randrange(1, len(volumes) - 1)]
            os.remove(gone)
            return "missing " + os.path.basename(gone)
    spots = 2 if damage_kind == "two" else 1
    said = []
    for _ in range(spots):
        path = rng.choice([v for v in volumes if os.path.exists(v)])
        with open(path, "rb") as f:
            data = bytearray(f.read())
        if damage_kind == "cut":
            at = rng.randrange(1, len(data))
            del data[at:]
            said.append("%s cut at %d" % (os.path.basename(path), at))
        elif damage_kind == "remove":
            at = rng.randrange(0, len(data) - 1)
            length = min(int(2 ** rng.uniform(0, 16)), len(data) - at)
            del data[at:at + length]
            said.append("%s %d bytes removed at %d" % (os.path.basename(path), length, at))
        else:
            headers = header_offsets(tool, path)
            if headers and rng.random() < 0.5:
                at = rng.choice(headers) + rng.randrange(0, 40)
            else:
                at = rng.randrange(0, len(data))
            at = min(at, len(data) - 1)
            damage_run(data, rng, at)
            said.append("%s run at %d" % (os.path.basename(path), at))
        with open(path, "wb") as f:
            f.write(data)
    return "; ".join(said)


def run_tool(name, tool, archive, out, garbled):
    """Runs one tool into `out`: (exit status, its output)."""
    os.makedirs(out)
    password = ["-p", PASSWORD] if garbled else []
    commands = {
        "ours": [[tool, "extract", archive, "--recover", "-C", out] + password],
        "ours-keep": [[tool, "extract", archive, "--recover", "--keep-damaged", "-C", out] + password],
        "arj": [["arj", "x", "-y", "-v", archive] + (["-g" + PASSWORD] if garbled else [])],
        "arj-jr": [["arj", "x", "-y", "-v", "-jr", archive] + (["-g" + PASSWORD] if garbled else [])],
        "7zz": [["7zz", "x", "-y", "-o" + out, archive] + (["-p" + PASSWORD] if garbled else [])],
        "unar": [["unar", "-q", "-D", "-f", "-o", out, archive] + (["-p", PASSWORD] if garbled else [])],
    }
    text, status = b"", 0
    if name == "arj-q":
        # arj q writes the repaired copy as arjfixed.arj in its folder.
        copy = os.path.join(os.path.dirname(out), "q")
        shutil.copytree(os.path.dirname(archive), copy)
        archive = os.path.join(copy, os.path.basename(archive))
        try:
            text += subprocess.run(["arj", "q", "-y", archive], cwd=copy, capture_output=True,
                                   stdin=subprocess.DEVNULL, timeout=TIMEOUT).stdout
        except subprocess.TimeoutExpired:
            text += b"timed out"
        fixed = os.path.join(copy, "arjfixed.arj")
        commands["arj-q"] = [["arj", "x", "-y", "-v", fixed if os.path.exists(fixed) else archive] +
                             (["-g" + PASSWORD] if garbled else [])]
    for command in commands[name]:
        try:
            done = subprocess.run(command, cwd=out, capture_output=True, stdin=subprocess.DEVNULL, timeout=TIMEOUT)
            text += done.stdout + done.stderr
            status = done.returncode
        except subprocess.TimeoutExpired:
            text += b"timed out"
            status = -1
    return status, text.decode("utf-8", "replace")


def judge(out, files, status, text, quiet_files):
    """(intact, wrong, unreported) of what a tool wrote into `out`; the
    unreported files' names go to `quiet_files`."""
    intact = wrong = unreported = 0
    for folder, _, names in os.walk(out):
        for name in names:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, out)
            with open(path, "rb") as f:
                digest = hashlib.sha256(f.read()).digest()
            if files.get(rel) == digest:
                intact += 1
                continue
            wrong += 1
            # A name that is not UTF-8 is named escaped ("caf\xe9").
            shown = name.encode("utf-8", "surrogateescape").decode("utf-8", "backslashreplace")
            if status == 0 or (name not in text and shown not in text):
                unreported += 1
                quiet_files.append(rel)
    return intact, wrong, unreported


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--cases", type=int, default=200)
    parser.add_argument("--seed", type=int, default=33)
    parser.add_argument("--tool", default=os.path.join(os.path.dirname(__file__), "..", "build", "arjhost"))
    parser.add_argument("--verbose", action="store_true", help="a line for each case")
    parser.add_argument("--only", type=int, help="run case K alone (the others are still drawn)")
    parser.add_argument("--keep", help="with --only: copy the case's damaged archive and outputs to DIR")
    args = parser.parse_args()
    tool = os.path.abspath(args.tool)
    for need in ("arj", "7zz", "unar"):
        if shutil.which(need) is None:
            sys.exit("salvage.py: %s is missing (apt-get install %s)" % (need, {"7zz": "7zip"}.get(need, need)))
    rng = random.Random(args.seed)
    base = tempfile.mkdtemp(prefix="arjhost-salvage-", dir="/dev/shm" if os.access("/dev/shm", os.W_OK) else None)
    totals = {t: [0, 0, 0] for t in TOOLS}
    files_total, behind, ours_quiet = 0, [], []
    try:
        # Four corpora, each packed once in every kind: the cases damage copies.
        originals = []
        for c in range(4):
            folder = os.path.join(base, "src%d" % c)
            os.makedirs(folder)
            files = corpus(folder, rng)
            for kind in KINDS:
                made = os.path.join(base, "made-%d-%s" % (c, kind))
                os.makedirs(made)
                originals.append((kind, files, made, make_archive(kind, made, folder)))
        for case in range(args.cases):
            kind, files, made, volumes = originals[rng.randrange(len(originals))]
            damage_kind = rng.choice(DAMAGES)
            root = os.path.join(base, "case")
            shutil.rmtree(root, ignore_errors=True)
            damaged = os.path.join(root, "archive")
            shutil.copytree(made, damaged)
            copies = [os.path.join(damaged, os.path.basename(v)) for v in volumes]
            said = damage(copies, rng, damage_kind, tool)
            if args.only is not None and case != args.only:
                continue
            archive = copies[0]
            files_total += len(files)
            got = {}
            for name in TOOLS:
                status, text = run_tool(name, tool, archive, os.path.join(root, name), kind == "garbled")
                quiet = []
                got[name] = judge(os.path.join(root, name), files, status, text, quiet)
                if args.verbose and quiet and name.startswith("ours"):
                    print("case %d: %s wrote without a word: %s" % (case, name, " ".join(quiet)))
                for k in range(3):
                    totals[name][k] += got[name][k]
                if name == "ours" and status == 0 and got[name][0] < len(files):
                    ours_quiet.append(case)
            best_arj = max(got["arj"][0], got["arj-jr"][0], got["arj-q"][0])
            if got["ours"][0] < best_arj:
                behind.append("case %d (%s, %s): ours %d, arj %d of %d" % (case, kind, said, got["ours"][0], best_arj,
                                                                         len(files)))
            if args.keep:
                shutil.copytree(root, args.keep, dirs_exist_ok=True)
            if args.verbose:
                print("case %d %s %s: %s" % (case, kind, said, " ".join("%s=%d" % (t, got[t][0]) for t in TOOLS)))
    finally:
        shutil.rmtree(base, ignore_errors=True)
    print("salvage: %d cases (seed %d), %d files" % (args.cases, args.seed, files_total))
    print("%-10s %8s %8s %11s" % ("tool", "intact", "wrong", "unreported"))
    for name in TOOLS:
        print("%-10s %8d %8d %11d" % (name, *totals[name]))
    print("ours behind arj's best in %d cases" % len(behind))
    for line in behind:
        print("  " + line)
    if ours_quiet:
        print("ours exited 0 having lost files in cases: " + " ".join(map(str, ours_quiet)))
    return 1 if totals["ours"][2] or totals["ours-keep"][2] or ours_quiet else 0


if __name__ == "__main__":
    sys.exit(main())
