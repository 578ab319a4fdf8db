"""Writes real text into DIR/files: the licences under
/usr/share/common-licenses and the manual pages of sections 5, 7 and 8
under /usr/share/man, decompressed (about 17 MB on a Debian machine; it
varies with the packages installed, see bench/run's fingerprint).
   make_text.py DIR"""
import glob
import gzip
import os
import shutil
import sys

out = os.path.join(sys.argv[1], "files")
os.makedirs(out, exist_ok=True)
for path in sorted(glob.glob("/usr/share/common-licenses/*")):
    if os.path.isfile(path):
        shutil.copyfile(path, os.path.join(out, os.path.basename(path)))
for section in ("5", "7", "8"):
    for path in sorted(glob.glob(f"/usr/share/man/man{section}/*.gz")):
        if not os.path.isfile(path):
            continue
        name = os.path.basename(path)[:-3]
        with gzip.open(path) as page, open(os.path.join(out, name), "wb") as f:
            shutil.copyfileobj(page, f)
