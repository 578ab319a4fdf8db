"""Writes the seed inputs of the harnesses whose inputs are not plain
archives, from the archives in tests/data:  fuzz/make_seeds.py"""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
data = os.path.join(here, "..", "tests", "data")


def read(name):
    with open(os.path.join(data, name), "rb") as f:
        return f.read()


def write(folder, name, payload):
    os.makedirs(os.path.join(here, "seeds", folder), exist_ok=True)
    with open(os.path.join(here, "seeds", folder, name), "wb") as f:
        f.write(payload)


# garble: password length, password, archive.
write("garble", "right", bytes([6]) + b"secret" + read("garbled.arj"))
write("garble", "wrong", bytes([5]) + b"other" + read("garbled.arj"))
write("garble", "empty", bytes([0]) + read("garbled.arj"))

# volume sets: flags (scan mode, named volume, count - 1; a rewrite deleting
# the first entry, or the last with a comment), then each volume but the
# last after its 16-bit length.
parts = [read("split.arj"), read("split.a01"), read("split.a02")]
for flags in (0b10000, 0b10001, 0b10011, 0b10101, 0b00110001, 0b11110001):
    payload = bytes([flags])
    for p in parts[:-1]:
        payload += struct.pack("<H", len(p)) + p
    payload += parts[-1]
    write("volume_set", "split-%02x" % flags, payload)

# rebuild: drop mask, replace mask, method of new content (and, in the top
# bit, comments and a password), archive.
for name, control in (("method1.arj", b"\x00\x00\x01"), ("entries20.arj", b"\x24\x42\x04"),
                      ("garbled.arj", b"\x00\xff\x00"), ("comment.arj", b"\xff\x00\x03"),
                      ("empty.arj", b"\x00\x00\x02"), ("method4.arj", b"\x01\x02\x04")):
    write("rebuild", name.replace(".arj", ""), control + read(name))
write("rebuild", "commented", b"\x04\x02\x81" + read("method1.arj"))

# api: flags (bit 0 recover, bit 1 every volume), then the archive; one
# with a stub before it and one with a damaged header in the middle.
for name in ("method1.arj", "garbled.arj", "entries21.arj", "comment.arj", "badheader.arj", "truncated.arj"):
    for flags in (0, 1):
        write("api", "%s-%d" % (name.replace(".arj", ""), flags), bytes([flags]) + read(name))
write("api", "stub", bytes([0]) + b"MZ" + bytes(3000) + read("method4.arj"))
damaged = bytearray(read("entries20.arj"))
damaged[len(damaged) // 2] ^= 0xFF
write("api", "damaged-1", bytes([1]) + bytes(damaged))

# capi: flags (bit 0 callbacks, bit 1 seekable, bit 2 kept in a file, bit 3
# password set, bits 4-5 the volumes after the first), then those volumes
# each after its 16-bit length, then the first.
for name in ("method1.arj", "garbled.arj", "truncated.arj", "comment.arj"):
    for flags in (0b0000, 0b0011, 0b0101, 0b1001):
        write("capi", "%s-%x" % (name.replace(".arj", ""), flags), bytes([flags]) + read(name))
for flags in (0b100000, 0b100011, 0b100001):
    payload = bytes([flags])
    for p in (parts[1], parts[2]):
        payload += struct.pack("<H", len(p)) + p
    write("capi", "split-%02x" % flags, payload + parts[0])

# mount: flags (chapter rule, code page 866, a cache so small that entries
# spill), archive.
for name in ("method1.arj", "method4.arj", "garbled.arj", "unsafe.arj", "badcrc.arj", "comment.arj"):
    for flags in (0, 7):
        write("mount", "%s-%d" % (name.replace(".arj", ""), flags), bytes([flags]) + read(name))
