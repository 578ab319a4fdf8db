"""Writes text of many repeated words into DIR/files: lines of 4 to 13
words drawn from a vocabulary of 20, in files of 4 KiB to 3 MiB, about
SIZE_MIB MiB in all, the same every run.
   make_words.py DIR [SIZE_MIB]"""
import os
import random
import sys

out = os.path.join(sys.argv[1], "files")
total = (int(sys.argv[2]) if len(sys.argv) > 2 else 8) << 20
rng = random.Random(20)
words = ("archive header volume entry method store garble dictionary huffman block table scan "
         "extract rebuild stream window decoder encoder temporary digest").split()
os.makedirs(out, exist_ok=True)
i = 0
while total > 0:
    size = min(total, [4 << 10, 60 << 10, 700 << 10, 3 << 20][i % 4])
    lines, n = [], 0
    while n < size:
        line = " ".join(rng.choice(words) for _ in range(rng.randrange(4, 14))) + "\n"
        lines.append(line)
        n += len(line)
    with open(os.path.join(out, "w%03d.txt" % i), "wb") as f:
        f.write("".join(lines).encode()[:size])
    total -= size
    i += 1
