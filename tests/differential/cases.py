"""The archives of the differential test, made deterministically.

A case is a name ("family/variant"), the files to write (one archive, or
the volumes of a set) and the file to name. Fixed cases come first; the
seeded mutations after them take a seed each, so a longer run only adds
seeds.
"""
import os
import random
import struct

from arjbuild import (END_MARKER, FLAG_GARBLED, FLAG_SPLIT_NEXT, FLAG_SPLIT_PREV, archive, crc32, entry,
                      main_header, parse)

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")
SEEDS = 400  # seeded mutations of a run, unless it is told otherwise


class Case:
    def __init__(self, name, files, target=None, volumes=False, password=None):
        self.name = name
        self.files = files  # file name -> bytes
        self.target = target or next(iter(files))  # what our tool is given
        self.first = next(iter(files))  # what arj and 7zz are given: the set's first volume
        self.volumes = volumes  # a multi-volume set: arj reads it with -v
        self.password = password  # what its garbled entries were garbled with, None when none is


def load(name):
    with open(os.path.join(DATA, name), "rb") as f:
        return f.read()


def bases():
    """Archives arj made here (tests/data/make_archives.sh), by name."""
    names = ["method0.arj", "method1.arj", "method2.arj", "method3.arj", "method4.arj", "comment.arj",
             "entries20.arj", "longname.arj", "empty.arj"]
    return {n: load(n) for n in names}


def single(name, main, entries, end=END_MARKER, password=None):
    return Case(name, {"a.arj": archive(main, entries, end)}, password=password)


def stored(name, data, **fields):
    return entry(name, data, **fields)


# Edge values of each header field; each is applied to one entry at a time.
FIELD_EDGES = {
    "size": [0, 1, 0x7FFFFFFF, 0xFFFFFFFF],
    "packed": [0, 1, 0xFFFFFFF0, 0xFFFFFFFF],
    "first_size": [0, 1, 2, 29, 30, 31, 33, 35, 64, 255],
    "basic_size": [0, 1, 29, 2599, 2600, 2601, 0xFFFF],
    "version": [0, 1, 2, 10, 12, 51, 255],
    "min_version": [0, 2, 3, 11, 12, 51, 255],
    "host_os": list(range(0, 12)) + [255],
    "method": [0, 1, 2, 3, 4, 5, 7, 8, 9, 255],
    "file_type": [0, 1, 2, 3, 4, 5, 6, 7, 255],
    "flags": [0x02, 0x10, 0x20, 0x40, 0x80, FLAG_SPLIT_NEXT, FLAG_SPLIT_PREV, FLAG_SPLIT_NEXT | FLAG_SPLIT_PREV],
    "crc": [0, 0xFFFFFFFF],
    "header_crc": [0, 0xFFFFFFFF],
    "name_pos": [1, 0xFFFF],
    "mode": [0, 0xFFFF, 0o40755],
    "mtime": [0, 0xFFFFFFFF],
    "garble_mod": [0xFF],
    "host_data": [0xFFFF],
}


def field_cases(blobs):
    cases = []
    for base in ["method0.arj", "method4.arj"]:
        main, entries, _ = parse(blobs[base])
        for which in [0, len(entries) - 1]:
            for field, values in FIELD_EDGES.items():
                for v in values:
                    es = list(entries)
                    es[which] = es[which].copy(**{field: v})
                    cases.append(single("field/%s/e%d/%s=%d" % (base, which, field, v), main, es))
            # The basic header padded to sizes around 2600, CRC correct.
            for size in [2598, 2599, 2600, 2601, 2602]:
                es = list(entries)
                pad = size - len(es[which].basic())
                es[which] = es[which].copy(padding=b"\0" * pad)
                cases.append(single("field/%s/e%d/padded=%d" % (base, which, size), main, es))
            # Extended headers on a local header: sound, spoilt CRC, oversized.
            for label, blocks in [("ext1", [b"x" * 10]), ("ext2", [b"a" * 3, b"b" * 300]), ("ext-big", [b"z" * 5000])]:
                es = list(entries)
                es[which] = es[which].copy(ext_headers=blocks)
                cases.append(single("field/%s/e%d/%s" % (base, which, label), main, es))
            # One extended header block whose CRC is wrong.
            e = entries[which].copy(ext_headers=[b"abcd"])
            spoilt = bytearray(e.encode())
            spoilt[4 + len(e.basic()) + 4 + 2 + 4] ^= 0xFF
            blob = (main.encode() + b"".join(x.encode() for x in entries[:which]) + bytes(spoilt) +
                    b"".join(x.encode() for x in entries[which + 1:]) + END_MARKER)
            cases.append(Case("field/%s/e%d/ext-bad-crc" % (base, which), {"a.arj": blob}))
    return cases


def main_cases(blobs):
    main, entries, _ = parse(blobs["method1.arj"])
    cases = []
    variants = {
        "padding-4": dict(padding=b"\0\0\0\0"),
        "padding-text": dict(padding=b"hidden text"),
        "padding-2600": dict(padding=b"\0" * (2600 - len(main.basic()))),
        "padding-2601": dict(padding=b"\0" * (2601 - len(main.basic()))),
        "ext1": dict(ext_headers=[b"main ext"]),
        "ext-two": dict(ext_headers=[b"one", b"two" * 50]),
        "header-crc": dict(header_crc=0),
        "flags-volume": dict(flags=main.flags | FLAG_SPLIT_NEXT),
        "flags-garbled": dict(flags=main.flags | FLAG_GARBLED),
        "flags-ff": dict(flags=0xFF),
        "file-type-0": dict(file_type=0),
        "file-type-255": dict(file_type=255),
        "first-size-30": dict(first_size=30, extra=b""),
        "first-size-29": dict(first_size=29),
        "first-size-60": dict(first_size=60),
        "basic-size-short": dict(basic_size=len(main.basic()) - 3),
        "basic-size-long": dict(basic_size=len(main.basic()) + 3),
        "basic-size-2601": dict(basic_size=2601),
        "version-0": dict(version=0),
        "min-version-255": dict(min_version=255),
        "comment-ctrl": dict(comment=b"line\x1b[31mred\r\x08\nforged row"),
        "comment-long": dict(comment=b"c" * 2000),
        "name-empty": dict(name=b""),
        "name-ctrl": dict(name=b"\x1b]0;title\x07x.arj"),
    }
    for label, fields in variants.items():
        cases.append(single("main/" + label, main.copy(**fields), entries))
    # The strings end before the basic header's size says, with a
    # would-be header inside the gap.
    inner = entries[0].encode()[:40]
    cases.append(single("main/padding-header-id", main.copy(padding=inner), entries))
    # An extended header block whose CRC is wrong.
    blob = bytearray(archive(main.copy(ext_headers=[b"abcdef"]), entries))
    at = 4 + len(main.basic()) + 4 + 2 + 6
    blob[at] ^= 0xFF
    cases.append(Case("main/ext-bad-crc", {"a.arj": bytes(blob)}))
    # An extended header chain with no end: a size word that runs past the file.
    blob = archive(main, [])[:4 + len(main.basic()) + 4] + b"\xff\x7f" + b"x" * 100
    cases.append(Case("main/ext-runs-off", {"a.arj": blob}))
    return cases


def split_cases():
    """Split flags without a set around them (one file)."""
    a, b, c = b"first entry data " * 20, b"orphan part bytes" * 10, b"last one" * 30
    whole = stored(b"whole.txt", a)
    tampered = whole.copy(data=b"X" + a[1:])  # CRC of the original data
    orphan = stored(b"orphan.txt", b, flags=FLAG_SPLIT_PREV, extra=b"\0\0\x01\0")
    dangling = stored(b"dangling.txt", c, flags=FLAG_SPLIT_NEXT)
    main = main_header()
    cases = [
        single("split/orphan-after-whole", main, [whole, orphan]),
        single("split/orphan-after-tampered", main, [tampered, orphan]),
        single("split/orphan-first", main, [orphan, whole]),
        single("split/orphan-between", main, [whole, orphan, stored(b"c.txt", c)]),
        single("split/orphan-between-tampered", main, [tampered, orphan, stored(b"c.txt", c)]),
        single("split/dangling-last", main, [whole, dangling]),
        single("split/dangling-only", main, [dangling]),
        single("split/dangling-then-whole", main, [dangling, whole]),
        single("split/dangling-then-orphan", main, [dangling, orphan]),
        single("split/dangling-last-main-volume", main.copy(flags=FLAG_SPLIT_NEXT), [whole, dangling]),
        single("split/both-flags", main, [whole, stored(b"mid.txt", b, flags=FLAG_SPLIT_NEXT | FLAG_SPLIT_PREV)]),
    ]
    return cases


def volume_set(parts_per_volume, stem="set"):
    """Volumes set.arj, set.a01, ... each holding the given entries."""
    files = {}
    last = len(parts_per_volume) - 1
    for v, entries in enumerate(parts_per_volume):
        name = stem + (".arj" if v == 0 else ".a%02d" % v)
        main = main_header(name=b"set.arj", flags=0x10 | (FLAG_SPLIT_NEXT if v < last else 0))
        files[name] = archive(main, entries)
    return files


def split_entry(name, data, pieces):
    """One entry cut into `pieces` parts, each with its own CRC."""
    step = (len(data) + pieces - 1) // pieces
    parts = []
    for i in range(pieces):
        chunk = data[i * step:(i + 1) * step]
        flags = (FLAG_SPLIT_PREV if i > 0 else 0) | (FLAG_SPLIT_NEXT if i < pieces - 1 else 0)
        parts.append(stored(name, chunk, flags=flags, extra=struct.pack("<I", i * step)))
    return parts


def volume_cases(blobs):
    cases = []
    arj_set = {n: load(n) for n in ["split.arj", "split.a01", "split.a02"]}
    names = list(arj_set)

    def vol(label, files, target=None):
        cases.append(Case("volumes/" + label, files, target, volumes=True))

    for n in names:
        vol("arj-set/named-" + n, dict(arj_set), n)
    vol("arj-set/missing-middle", {k: v for k, v in arj_set.items() if k != "split.a01"})
    vol("arj-set/missing-last", {k: v for k, v in arj_set.items() if k != "split.a02"})
    vol("arj-set/missing-last-named-middle", {k: v for k, v in arj_set.items() if k != "split.a02"}, "split.a01")
    vol("arj-set/first-only", {"split.arj": arj_set["split.arj"]})
    extra = dict(arj_set)
    extra["split.a03"] = blobs["method0.arj"]
    vol("arj-set/extra-volume", extra)
    swapped = dict(arj_set)
    swapped["split.a01"], swapped["split.a02"] = arj_set["split.a02"], arj_set["split.a01"]
    vol("arj-set/swapped", swapped)
    # Built sets: a file cut across three volumes, whole entries around it.
    data = bytes(range(256)) * 12
    p = split_entry(b"big.bin", data, 3)
    w1, w2 = stored(b"head.txt", b"head " * 9), stored(b"tail.txt", b"tail " * 7)
    good = [[w1, p[0]], [p[1]], [p[2], w2]]
    vol("built/sound", volume_set(good))
    vol("built/sound-named-last", volume_set(good), "set.a02")
    vol("built/missing-middle", {k: v for k, v in volume_set(good).items() if k != "set.a01"})
    vol("built/missing-last", {k: v for k, v in volume_set(good).items() if k != "set.a02"})
    bad_crc = [[w1, p[0]], [p[1].copy(crc=p[1].crc ^ 1)], [p[2], w2]]
    vol("built/middle-part-crc", volume_set(bad_crc))
    vol("built/middle-not-continued", volume_set([[w1, p[0]], [p[1].copy(flags=FLAG_SPLIT_NEXT)], [p[2], w2]]))
    vol("built/last-part-missing-flag", volume_set([[w1, p[0]], [p[1]], [w2]]))
    vol("built/orphan-in-second", volume_set([[w1], [p[2], w2]]))
    vol("built/gap-a02-missing", {k: v for k, v in volume_set(good + [[w2]]).items() if k != "set.a02"})
    # A middle part's own header, judged as a first part's is.
    middle = {"header-crc": dict(header_crc=0), "file-type-1": dict(file_type=1), "file-type-2": dict(file_type=2),
              "file-type-3": dict(file_type=3), "file-type-4": dict(file_type=4), "file-type-6": dict(file_type=6),
              "file-type-7": dict(file_type=7), "min-version-12": dict(min_version=12), "method-1": dict(method=1),
              "method-9": dict(method=9), "name": dict(name=b"other.bin")}
    for label, fields in middle.items():
        vol("built/middle-" + label, volume_set([[w1, p[0]], [p[1].copy(**fields)], [p[2], w2]]))
    # The same in the set arj made: its second volume's part.
    for label in ["header-crc", "file-type-4", "method-9"]:
        files = dict(arj_set)
        main, entries, tail = parse(files["split.a01"])
        files["split.a01"] = archive(main, [entries[0].copy(**middle[label])] + entries[1:]) + tail
        vol("arj-set/second-part-" + label, files)
    return cases


def link_cases():
    """Links, special files, folders and labels holding data (arj -a1
    makes them without): arj checks them against no data."""
    main = main_header()
    plain = stored(b"t.txt", b"hello\n", host_os=2)

    def special(name, body, **fields):
        fields.setdefault("size", 0)
        fields.setdefault("crc", 0)
        return stored(name, fields.pop("data", b""), host_os=2, file_type=6, ext_headers=[b"U\0" + body], **fields)

    symlink, hardlink, fifo = b"\x45t.txt", b"\x25t.txt", b"\x00"
    data = b"abc"
    variants = {
        "symlink/sound": special(b"l", symlink),
        "symlink/data": special(b"l", symlink, data=data, size=3, crc=crc32(data)),
        "symlink/data-bad-crc": special(b"l", symlink, data=data, size=3),
        "symlink/packed-only": special(b"l", symlink, data=data),
        "symlink/size-only": special(b"l", symlink, size=3),
        "symlink/crc-only": special(b"l", symlink, crc=5),
        "hardlink/data": special(b"h", hardlink, data=data, size=3, crc=crc32(data)),
        "fifo/data": special(b"f", fifo, data=data, size=3, crc=crc32(data)),
        "fifo/crc-only": special(b"f", fifo, crc=5),
        "folder/crc-only": stored(b"d", b"", host_os=2, file_type=3, crc=5),
        "folder/data": stored(b"d", data, host_os=2, file_type=3),
        "label/crc-only": stored(b"<<<001>>>", b"", file_type=5, crc=5),
    }
    return [single("links/" + k, main, [plain, v]) for k, v in variants.items()]


def chapter_cases(blobs):
    """The main header's chapter, in a chapter archive (arj ac) and in one
    without chapters: arj takes the entries whose last chapter is it or
    later, fails a chapter that takes none and refuses one over 250."""
    def ranged(name, first, last, file_type=0):
        return stored(name, b"" if file_type else name * 3, file_type=file_type, host_data=first | last << 8)
    entries = [ranged(b"a1.txt", 1, 1), ranged(b"d.txt", 1, 3), ranged(b"<<<001>>>", 1, 1, 5),
               ranged(b"a2.txt", 2, 2), ranged(b"b.txt", 2, 2), ranged(b"<<<002>>>", 2, 2, 5),
               ranged(b"c.txt", 3, 3), ranged(b"<<<003>>>", 3, 3, 5)]
    cases = [single("chapter/arj-ac/main=%d" % n, main_header(host_data=n << 8), entries)
             for n in [0, 1, 2, 3, 4, 250, 251, 255]]
    main, plain, _ = parse(blobs["method1.arj"])
    cases += [single("chapter/none/main=%d" % n, main.copy(host_data=n << 8), plain) for n in [1, 2, 250, 251]]
    return cases


def name_cases():
    main = main_header()
    d1, d2 = b"one\n" * 5, b"two\n" * 9
    names = {
        "esc": b"\x1b[2J\x1b[31mred.txt",
        "cr": b"file\rforged.txt",
        "bs": b"abc\x08\x08\x08xyz.txt",
        "newline": b"a.txt\n001) forged",
        "c1": b"c1\xc2\x9b31m.txt",
        "bidi": "evil\u202etxt.exe".encode(),
        "del": b"x\x7fy.txt",
        "invalid-utf8": b"caf\xe9.txt",
        "tab": b"tab\tname.txt",
        "empty": b"",
        "dotdot": b"../escape.txt",
        "absolute": b"/tmp/absolute.txt",
        "backslash": b"dir\\file.txt",
        "long-509": b"n" * 509,
    }
    cases = [single("names/" + k, main, [stored(v, d1), stored(b"ok.txt", d2)]) for k, v in names.items()]
    cases.append(single("names/duplicate", main, [stored(b"same.txt", d1), stored(b"same.txt", d2)]))
    cases.append(single("names/duplicate-case", main, [stored(b"Same.txt", d1), stored(b"same.TXT", d2)]))
    cases.append(single("names/dir-and-file", main, [stored(b"d", b"", file_type=3), stored(b"d/x.txt", d1)]))
    return cases


def garbled_cases():
    # The differential gives arj and our tool no password: both refuse
    # the garbled entries (a wrong one would cost arj seconds). The doors'
    # parity test gives each door the one they were garbled with.
    main, entries, _ = parse(load("garbled.arj"))
    plain = stored(b"plain.txt", b"plain " * 10)
    return [single("garbled/as-made", main, entries, password="secret"),
            single("garbled/with-plain", main, [plain, entries[0]], password="secret")]


def truncation_cases(blobs):
    cases = []
    for base in ["method1.arj", "method0.arj", "comment.arj"]:
        blob = blobs[base]
        main, entries, _ = parse(blob)
        # Every header's boundaries: its id, size word, fixed part, strings, CRC, data.
        cuts = set()
        pos = 0
        for h in [main] + entries:
            size = len(h.basic())
            for off in [0, 1, 2, 3, 4, 5, 4 + 30, 4 + size - 1, 4 + size, 4 + size + 2, 4 + size + 4,
                        4 + size + 5, 4 + size + 6, 4 + size + 6 + len(h.data) // 2, 4 + size + 6 + len(h.data) - 1]:
                cuts.add(pos + off)
            pos += len(h.encode())
        cuts.update([pos + 1, pos + 2, pos + 3])  # inside the end marker
        for cut in sorted(c for c in cuts if 0 < c < len(blob)):
            cases.append(Case("trunc/%s/at-%d" % (base, cut), {"a.arj": blob[:cut]}))
    return cases


def trailing_cases(blobs):
    blob = blobs["method1.arj"]
    tails = {
        "text": b"garbage!",
        "zeros": b"\0" * 4096,
        "header-id": b"\x60\xea",
        "end-marker": END_MARKER,
        "another-archive": blobs["method0.arj"],
        "local-header": parse(blobs["method0.arj"])[1][1].encode(),
    }
    return [Case("trailing/" + k, {"a.arj": blob + v}) for k, v in tails.items()]


def stream_end_cases(blobs):
    """Packed data that runs on past the end of its stream, or stops short
    of it, and a last match that runs past the entry's size: arj accepts
    two bytes after the last bit its decoder takes (none after stored
    bytes) and fails the entry on more."""
    cases = []
    tail = bytes(range(0x41, 0x49))
    for base in ["method0.arj", "method1.arj", "method2.arj", "method3.arj", "method4.arj"]:
        main, entries, _ = parse(blobs[base])
        which = next(i for i, e in enumerate(entries) if e.name == b"text.txt")
        data = entries[which].data
        for label, packed in ([("add-%d" % n, data + tail[:n]) for n in (1, 2, 3, 8)] +
                              [("cut-%d" % n, data[:-n]) for n in (1, 2)]):
            es = list(entries)
            es[which] = es[which].copy(data=packed, packed=None)
            cases.append(single("end/%s/%s" % (base, label), main, es))
    main = main_header()
    for method in (1, 4):
        for n in (2, 3):
            cases.append(single("end/empty-m%d/add-%d" % (method, n), main,
                                [entry(b"empty.txt", b"\xff" * n, method=method, size=0, crc=0)]))
    # Method 4: 'A', then a 3-byte match at distance 1 (22 bits).
    for size in (1, 2, 3, 4):
        cases.append(single("end/match-past-end/size-%d" % size, main,
                            [entry(b"a.txt", b"\x20\xc0\x00", method=4, size=size, crc=crc32(b"A" * size))]))
    return cases


def mutation_case(blobs, seed):
    """One seeded mutation of an arj-made archive: flipped, inserted,
    deleted or overwritten bytes, mostly in headers."""
    rng = random.Random(seed)
    base = rng.choice(sorted(blobs))
    blob = bytearray(blobs[base])
    kind = rng.choice(["flip", "flip", "insert", "delete", "word", "header-byte"])
    main, entries, _ = parse(bytes(blob))
    header_starts = []
    pos = 0
    for h in [main] + entries:
        header_starts.append(pos)
        pos += len(h.encode())
    for _ in range(rng.choice([1, 1, 2, 3])):
        at = rng.randrange(len(blob))
        if kind == "flip":
            blob[at] ^= 1 << rng.randrange(8)
        elif kind == "insert":
            blob[at:at] = bytes(rng.randrange(256) for _ in range(rng.choice([1, 2, 4, 17])))
        elif kind == "delete":
            del blob[at:at + rng.choice([1, 2, 4, 17])]
        elif kind == "word":
            at = min(at, len(blob) - 4)
            blob[at:at + 4] = struct.pack("<I", rng.choice([0, 1, 0xFFFF, 0xFFFFFFFF, 2600, 0x7FFFFFFF]))
        else:  # a byte of a header's first 40
            at = min(rng.choice(header_starts) + rng.randrange(40), len(blob) - 1)
            blob[at] = rng.randrange(256)
    return Case("mutate/%s/%s/s%d" % (base, kind, seed), {"a.arj": bytes(blob)})


def all_cases(seeds):
    """The fixed cases, then one mutation for each seed in `seeds`."""
    blobs = bases()
    cases = (field_cases(blobs) + main_cases(blobs) + split_cases() + volume_cases(blobs) + name_cases() +
             garbled_cases() + truncation_cases(blobs) + trailing_cases(blobs) + stream_end_cases(blobs) +
             link_cases() + chapter_cases(blobs))
    cases += [mutation_case(blobs, s) for s in seeds]
    return cases
