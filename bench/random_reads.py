"""Reads COUNT blocks of 4 KiB at random offsets of FILE (seeded, so that
every run reads the same ones):   random_reads.py FILE COUNT"""
import os
import random
import sys

if len(sys.argv) != 3:
    sys.exit(__doc__)
fd = os.open(sys.argv[1], os.O_RDONLY)
size = os.fstat(fd).st_size
rng = random.Random(1)
for _ in range(int(sys.argv[2])):
    offset = rng.randrange(0, max(1, size - 4096))
    if len(os.pread(fd, 4096, offset)) != min(4096, size - offset):
        sys.exit(f"random_reads.py: short read at {offset}")
os.close(fd)
