"""ARJ archives taken apart and put together field by field.

An archive is a main header, local headers each followed by its packed data,
and the end marker. Every field can be set to any value, the sizes and CRCs
too, so that the generator can make archives that no archiver would.
"""
import struct
import zlib

HEADER_ID = b"\x60\xea"
END_MARKER = HEADER_ID + b"\x00\x00"
FIXED_SIZE = 30  # the fixed part of a basic header before its extra bytes

FLAG_GARBLED = 0x01
FLAG_SPLIT_NEXT = 0x04  # continues in the next volume
FLAG_SPLIT_PREV = 0x08  # continued from the previous volume


def crc32(data):
    return zlib.crc32(data) & 0xFFFFFFFF


class Header:
    """A main or local header; `data` is the packed data after a local one.

    None in `packed`, `first_size`, `basic_size` or `header_crc` means the
    value that fits the rest; any number is written as it is.
    """

    def __init__(self, name=b"", data=b"", **fields):
        self.version, self.min_version, self.host_os = 11, 1, 2
        self.flags, self.method, self.file_type, self.garble_mod = 0, 0, 0, 0
        self.mtime = 0x5B8D3A40
        self.packed = None
        self.size = len(data)
        self.crc = crc32(data)
        self.name_pos, self.mode, self.host_data = 0, 0o644, 0
        self.extra = b""  # first-header bytes past the fixed 30 (extended file position)
        self.first_size = None
        self.name, self.comment = name, b""
        self.basic_size = None
        self.header_crc = None
        self.padding = b""  # bytes inside the basic header after the comment
        self.ext_headers = []  # raw blocks; each gets its size word and a CRC
        self.data = data
        for key, value in fields.items():
            if not hasattr(self, key):
                raise AttributeError(key)
            setattr(self, key, value)

    def copy(self, **fields):
        h = Header()
        h.__dict__.update(self.__dict__)
        h.ext_headers = list(self.ext_headers)
        for key, value in fields.items():
            setattr(h, key, value)
        return h

    def basic(self):
        first = struct.pack(
            "<BBBBBBBBIIIIHHH",
            0, self.version, self.min_version, self.host_os, self.flags, self.method, self.file_type,
            self.garble_mod, self.mtime, len(self.data) if self.packed is None else self.packed,
            self.size, self.crc, self.name_pos, self.mode, self.host_data) + self.extra
        first_size = len(first) if self.first_size is None else self.first_size
        return bytes([first_size & 0xFF]) + first[1:] + self.name + b"\0" + self.comment + b"\0" + self.padding

    def encode(self):
        basic = self.basic()
        size = len(basic) if self.basic_size is None else self.basic_size
        crc = crc32(basic) if self.header_crc is None else self.header_crc
        out = HEADER_ID + struct.pack("<H", size & 0xFFFF) + basic + struct.pack("<I", crc)
        for block in self.ext_headers:
            out += struct.pack("<H", len(block)) + block + struct.pack("<I", crc32(block))
        return out + b"\0\0" + self.data


def main_header(**fields):
    fields.setdefault("file_type", 2)
    fields.setdefault("extra", b"\0\0\0\0")
    fields.setdefault("crc", 0)
    fields.setdefault("size", 0)
    return Header(name=fields.pop("name", b"arch.arj"), **fields)


def entry(name, data, **fields):
    return Header(name=name, data=data, **fields)


def archive(main, entries, end=END_MARKER):
    return main.encode() + b"".join(e.encode() for e in entries) + end


def parse(blob):
    """(main, entries, tail) of a sound archive: every header as a Header."""
    pos = 0
    headers = []
    while True:
        if blob[pos:pos + 2] != HEADER_ID:
            raise ValueError("no header at %d" % pos)
        size = struct.unpack_from("<H", blob, pos + 2)[0]
        if size == 0:
            return headers[0], headers[1:], blob[pos + 4:]
        basic = blob[pos + 4:pos + 4 + size]
        pos += 4 + size + 4
        exts = []
        while True:
            n = struct.unpack_from("<H", blob, pos)[0]
            pos += 2
            if n == 0:
                break
            exts.append(blob[pos:pos + n])
            pos += n + 4
        first_size = basic[0]
        (_, version, min_version, host_os, flags, method, file_type, garble_mod, mtime, packed, orig, crc,
         name_pos, mode, host_data) = struct.unpack_from("<BBBBBBBBIIIIHHH", basic, 0)
        strings = basic[first_size:]
        name, rest = strings.split(b"\0", 1)
        comment = rest.split(b"\0", 1)[0]
        data = blob[pos:pos + packed] if headers else b""
        pos += len(data)
        headers.append(Header(
            name=name, data=data, version=version, min_version=min_version, host_os=host_os, flags=flags,
            method=method, file_type=file_type, garble_mod=garble_mod, mtime=mtime, size=orig, crc=crc,
            name_pos=name_pos, mode=mode, host_data=host_data, extra=basic[FIXED_SIZE:first_size],
            comment=comment, ext_headers=exts, packed=None if headers else packed))
