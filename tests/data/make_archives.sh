#!/usr/bin/env bash
# Remakes the test archives of this folder with the arj peer, from source
# files that gen_sources.py writes deterministically into src/.
#   tests/data/make_archives.sh
# Needs arj (apt-get install -y arj) and python3.
set -euo pipefail
cd "$(dirname "$0")"
here=$(pwd)
rm -rf src ./*.arj ./*.a0[0-9] ./*.a[1-9][0-9]
python3 gen_sources.py src

arj_in() {  # arj_in DIR ARGS...: run arj inside DIR with no terminal
  local dir=$1; shift
  (cd "$dir" && arj "$@" -y </dev/null >/dev/null)
}

for m in 0 1 2 3 4; do arj_in src/mixed a -m$m "$here/method$m.arj" '*'; done
arj_in src/mixed a -m1 -gsecret "$here/garbled.arj" text.txt pattern.bin
arj_in src/split a -m0 -v12k "$here/split.arj" '*'
arj_in src/twenty a -m1 "$here/entries20.arj" '*'
arj_in src/twentyone a -m1 "$here/entries21.arj" '*'
arj_in src/mixed a -m1 -zsrc_comment.txt "$here/comment.arj" text.txt 2>/dev/null || \
  arj_in src/mixed a -m1 "-z$here/src/comment.txt" "$here/comment.arj" text.txt
arj_in src/long a -m1 -r "$here/longname.arj" '*'
# An ARJ-PROTECT record of factor 1 (arj q repairs one damaged 1,024-byte block).
arj_in src/mixed a -m0 -hk "$here/protected.arj" '*'
# An archive with no entries: arj removes an archive emptied by a delete,
# so keep the main header of one it made and close it with the end marker.
arj_in src/mixed a -m0 "$here/empty_source.arj" one.txt
python3 - "$here" <<'PY'
import sys, os
d = sys.argv[1]
b = open(os.path.join(d, "empty_source.arj"), "rb").read()
size = b[2] | (b[3] << 8)
end = 4 + size + 4
while True:  # extended headers
    ext = b[end] | (b[end + 1] << 8)
    end += 2
    if ext == 0:
        break
    end += ext + 4
open(os.path.join(d, "empty.arj"), "wb").write(b[:end] + b"\x60\xea\x00\x00")
os.remove(os.path.join(d, "empty_source.arj"))
PY

# Damaged variants of a sound archive.
python3 - "$here" <<'PY'
import sys, os
d = sys.argv[1]
src = open(os.path.join(d, "method1.arj"), "rb").read()
# Cut in the middle of the last entry's packed data.
open(os.path.join(d, "truncated.arj"), "wb").write(src[: len(src) - 300])
# The second local header's id spoiled.
first = src.index(b"\x60\xea", 4)            # first local header
size = src[first + 2] | (src[first + 3] << 8)
import struct
packed = struct.unpack_from("<I", src, first + 4 + 12)[0]
second = first + 4 + size + 4 + 2 + packed
bad = bytearray(src); bad[second] ^= 0xFF
open(os.path.join(d, "badheader.arj"), "wb").write(bytes(bad))
# Stray bytes after the end marker.
open(os.path.join(d, "trailing.arj"), "wb").write(src + b"garbage!")
PY
ls -l "$here"/*.arj "$here"/split.a* | awk '{s+=$5} END {print s " bytes of archives"}'

# Archives no archiver would make (names leaving the folder, a bad CRC).
python3 "$here/make_crafted.py" "$here"
