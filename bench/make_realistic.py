"""Writes the realistic corpus into DIR:
   make_realistic.py DIR
  DIR/files/  155 files, 32 MiB in all (f000.h, f001.bin, ...)
  DIR/small/  20,000 files, 32 MiB in all, 200 to a folder (d00/s00000.h, ...)
  DIR/one/big.bin  one 64 MiB file of the same mix
Each file, and each piece of the big one, is a slice of C headers, of
programs, or random bytes: by bytes 45%, 45% and a tenth. Sizes are drawn
log-uniformly (4 KiB to 2 MiB a file or piece, 64 bytes to 16 KiB a small
file) and scaled to the totals; the headers are the *.h files under
/usr/include, the programs the ELF files in /usr/bin (links left out). A
fixed seed draws everything, and the sources are read one after another in
the order of a seeded hash of their paths, so that what is read comes from
every package alike, not from the first folders. The sources differ between
machines, and a package installed or removed changes the corpus when one of
its files falls among those read: bench/run prints a fingerprint of the
corpus (files, bytes, a SHA-256 of names and bytes) that says whether two
runs measured the same. Each file is dated by a seeded draw from the ten
years to 2025, as a collection's files are, not by when it was written:
how long a peer takes to show a date depends on the date (7zz lists
entries of some hours of the day several times faster than others)."""
import hashlib
import itertools
import math
import os
import random
import sys

SEED = 23
SHARES = {"text": 0.45, "binary": 0.45, "random": 0.10}
EXTENSION = {"text": "h", "binary": "bin", "random": "rnd"}


def in_hash_order(paths):
    return sorted(paths, key=lambda p: hashlib.sha256(f"{SEED}:{p}".encode()).digest())


def headers():
    found = []
    for folder, _, names in os.walk("/usr/include"):
        found += [os.path.join(folder, n) for n in names if n.endswith(".h")]
    return [p for p in found if os.path.isfile(p) and not os.path.islink(p)]


def programs():
    found = []
    for entry in os.scandir("/usr/bin"):
        if entry.is_file(follow_symlinks=False):
            try:
                with open(entry.path, "rb") as f:
                    if f.read(4) == b"\x7fELF":
                        found.append(entry.path)
            except OSError:
                pass
    return found


class Source:
    """The bytes of its files one after another, in hash order, from the
    start again when they run out."""

    def __init__(self, paths):
        if not paths:
            sys.exit("make_realistic.py: no source files found")
        self.paths, self.files = paths, itertools.cycle(in_hash_order(paths))
        self.buffer, self.at = b"", 0

    def take(self, n):
        while len(self.buffer) - self.at < n:
            try:
                with open(next(self.files), "rb") as f:
                    self.buffer, self.at = self.buffer[self.at:] + f.read(), 0
            except OSError:
                pass
        self.at += n
        return self.buffer[self.at - n:self.at]


def sizes(rng, count, total, smallest, largest):
    weights = [math.exp(rng.uniform(math.log(smallest), math.log(largest))) for _ in range(count)]
    scale = total / sum(weights)
    drawn = [max(1, round(w * scale)) for w in weights[:-1]]
    if total - sum(drawn) < 1:
        sys.exit("make_realistic.py: the sizes drawn leave nothing for the last file")
    return drawn + [total - sum(drawn)]


def kinds(size_list):
    """Each piece to the kind furthest behind its share of the bytes."""
    given = dict.fromkeys(SHARES, 0)
    chosen = []
    for size in size_list:
        kind = min(SHARES, key=lambda k: given[k] / SHARES[k])
        given[kind] += size
        chosen.append(kind)
    return chosen


FIRST_DATE, LAST_DATE = 1420070400, 1735689600  # 2015-01-01 to 2025-01-01, UTC


def main():
    out = sys.argv[1]
    rng = random.Random(SEED)
    sources = {"text": Source(headers()), "binary": Source(programs())}

    def piece(kind, size):
        return rng.randbytes(size) if kind == "random" else sources[kind].take(size)

    plan = []  # (relative path, [(kind, size), ...])
    corpus = sizes(rng, 155, 32 << 20, 4 << 10, 2 << 20)
    for i, (size, kind) in enumerate(zip(corpus, kinds(corpus))):
        plan.append((f"files/f{i:03d}.{EXTENSION[kind]}", [(kind, size)]))
    small = sizes(rng, 20000, 32 << 20, 64, 16 << 10)
    for i, (size, kind) in enumerate(zip(small, kinds(small))):
        plan.append((f"small/d{i // 200:02d}/s{i:05d}.{EXTENSION[kind]}", [(kind, size)]))
    big = sizes(rng, 310, 64 << 20, 4 << 10, 2 << 20)
    plan.append(("one/big.bin", list(zip(kinds(big), big))))

    dates = random.Random(SEED + 1)  # apart from the draws above: the bytes stay as they were
    total = 0
    for name, pieces in plan:
        path = os.path.join(out, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            for kind, size in pieces:
                data = piece(kind, size)
                f.write(data)
                total += len(data)
        stamp = dates.randrange(FIRST_DATE, LAST_DATE, 2)  # even seconds, as an ARJ time holds them
        os.utime(path, (stamp, stamp))
    print(f"sources: {len(sources['text'].paths)} headers, {len(sources['binary'].paths)} programs;"
          f" written: {len(plan)} files, {total} bytes")


if __name__ == "__main__":
    main()
