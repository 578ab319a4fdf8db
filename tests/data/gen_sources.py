"""Writes the source files of the test archives, the same bytes every run."""
import os
import random
import sys

root = sys.argv[1]
rng = random.Random(20261209)


def write(path, data):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)


words = "archive volume header entry garble method store dictionary huffman block".split()
text = " ".join(rng.choice(words) for _ in range(1500)).encode() + b"\n"
pattern = bytes((i * 7 + (i >> 5)) & 0xFF for i in range(9000))
randomish = bytes(rng.getrandbits(8) for _ in range(3000))

write("mixed/text.txt", text)
write("mixed/pattern.bin", pattern)
write("mixed/zeros.bin", bytes(4096))
write("mixed/random.bin", randomish)
write("mixed/one.txt", b"x")
write("mixed/empty.txt", b"")
write("comment.txt", b"An archive comment, made for the tests.\n")

write("split/big.bin", bytes(rng.getrandbits(8) for _ in range(30000)))
write("split/small.txt", b"a small file after the split one\n")

for n, count in (("twenty", 20), ("twentyone", 21)):
    for i in range(count):
        write(f"{n}/file{i:02d}.txt", f"entry {i} of {count}\n".encode() * (i + 1))

deep = "/".join(["a_rather_long_directory_name_%02d" % i for i in range(14)])
write(f"long/{deep}/final_file_name.txt", b"deep\n")
write("long/short.txt", b"short\n")
