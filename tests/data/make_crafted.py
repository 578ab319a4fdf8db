#!/usr/bin/env python3
"""Writes the crafted archives of this folder, which no archiver would make:
unsafe.arj (names and links that would leave the extraction folder) and
badcrc.arj (a stored entry whose data does not match its CRC-32)."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "differential"))
from arjbuild import archive, crc32, entry, main_header  # noqa: E402


def symlink(name, target):
    # The UNIX record arj -a1 stores: kind 2 (a symbolic link) and the
    # target's length in one byte, then the target.
    assert len(target) < 32
    return entry(name, b"", host_os=2, file_type=6, crc=0, ext_headers=[b"U\0" + bytes([0x40 | len(target)]) + target])


def main(folder):
    unsafe = [
        entry(b"../escape.txt", b"escape\n", host_os=2),
        entry(b"/abs/rooted.txt", b"rooted\n", host_os=2),
        entry(b"ok.txt", b"ok\n", host_os=2),
        symlink(b"up", b"../../outside"),
        symlink(b"inside", b"ok.txt"),
        entry(b"inside/evil.txt", b"evil\n", host_os=2),
    ]
    with open(os.path.join(folder, "unsafe.arj"), "wb") as f:
        f.write(archive(main_header(name=b"unsafe.arj"), unsafe))
    data = bytes((i * 7 + i // 251) & 0xFF for i in range(3000))
    with open(os.path.join(folder, "badcrc.arj"), "wb") as f:
        f.write(archive(main_header(name=b"badcrc.arj"), [entry(b"data.bin", data, crc=crc32(data) ^ 1)]))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__)))
