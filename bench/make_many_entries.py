"""Writes an ARJ archive of N small stored entries, valid for every peer:
   make_many_entries.py OUT.arj N"""
import struct
import sys
import zlib


def header(fields: bytes, name: bytes) -> bytes:
    basic = fields + name + b"\0" + b"\0"
    return struct.pack("<HH", 0xEA60, len(basic)) + basic + struct.pack("<I", zlib.crc32(basic)) + b"\0\0"


def fixed(flags, method, file_type, packed, original, crc):
    # first header size 30, version 11, min 1, host OS 2 (UNIX)
    return struct.pack("<BBBBBBBBIIIIHHBB", 30, 11, 1, 2, flags, method, file_type, 0,
                       0x5A8C6000, packed, original, crc, 0, 0o644, 0, 0)


def main():
    out, count = sys.argv[1], int(sys.argv[2])
    with open(out, "wb") as f:
        f.write(header(fixed(0, 0, 2, 0, 0, 0), b"many.arj"))
        for i in range(count):
            data = b"entry %d\n" % i
            crc = zlib.crc32(data)
            f.write(header(fixed(0, 0, 0, len(data), len(data), crc), b"dir%03d/file%06d.txt" % (i % 1000, i)))
            f.write(data)
        f.write(b"\x60\xea\x00\x00")


main()
