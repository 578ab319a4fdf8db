"""Writes a mixed corpus of about SIZE_MIB MiB into DIR: text-like files,
structured binary, runs, and incompressible random, the same every run.
   make_corpus.py DIR [SIZE_MIB]"""
import os
import random
import sys

out = sys.argv[1]
total = int(sys.argv[2]) if len(sys.argv) > 2 else 64
rng = random.Random(64)
os.makedirs(out, exist_ok=True)
words = ("archive header volume entry method store garble dictionary huffman block table scan "
         "extract rebuild stream window decoder encoder temporary digest property object").split()


def text(n):
    parts, size = [], 0
    while size < n:
        line = " ".join(rng.choice(words) for _ in range(rng.randrange(4, 14))) + "\n"
        parts.append(line)
        size += len(line)
    return "".join(parts).encode()[:n]


def structured(n):
    return bytes((i * 7 + (i >> 8) * 13 + rng.randrange(3)) & 0xFF for i in range(n))


def runs(n):
    b = bytearray()
    while len(b) < n:
        b += bytes([rng.randrange(256)]) * rng.randrange(1, 300)
    return bytes(b[:n])


kinds = [text, structured, runs, lambda n: rng.randbytes(n)]
budget = total << 20
i = 0
while budget > 0:
    size = min(budget, rng.choice([4 << 10, 60 << 10, 700 << 10, 3 << 20]))
    kind = kinds[i % 4] if i % 9 else text
    with open(os.path.join(out, "f%04d.%s" % (i, ["txt", "bin", "run", "rnd"][i % 4])), "wb") as f:
        f.write(kind(size))
    budget -= size
    i += 1
