"""python -m arjhost: list, test, extract and create ARJ archives, as
python -m zipfile does for zips.

    python -m arjhost -l backup.arj
    python -m arjhost -t backup.arj
    python -m arjhost -e backup.arj out/
    python -m arjhost -c new.arj notes.txt docs/

Exit codes: 0 done, 1 a damaged entry or archive (or one that cannot be
read or written), 2 a usage error."""

from __future__ import annotations

import argparse
import os
import sys
from typing import Optional

from .arjfile import ArjFile
from .errors import Error


def _add(out: ArjFile, path: str, arcname: str) -> None:
    """Adds ``path`` as ``arcname``, a folder with all it holds."""
    if os.path.isfile(path):
        if arcname:
            out.write(path, arcname)
    elif os.path.isdir(path):
        if arcname:
            out.mkdir(arcname)
        for name in sorted(os.listdir(path)):
            _add(out, os.path.join(path, name), os.path.join(arcname, name) if arcname else name)


def _create(archive: str, sources: list[str]) -> None:
    with ArjFile(archive, "w") as out:
        for path in sources:
            name = os.path.basename(os.path.normpath(path))
            _add(out, path, "" if name in (os.curdir, os.pardir) else name)


def main(argv: Optional[list[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m arjhost",
                                     description="A simple command-line interface for ARJ archives.")
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("-l", "--list", metavar="<arjfile>", help="Show listing of an ARJ archive.")
    group.add_argument("-e", "--extract", nargs=2, metavar=("<arjfile>", "<output_dir>"),
                       help="Extract an ARJ archive into the output folder.")
    group.add_argument("-c", "--create", nargs="+", metavar=("<name>", "<file>"),
                       help="Create an ARJ archive from the source files.")
    group.add_argument("-t", "--test", metavar="<arjfile>", help="Test if an ARJ archive is valid.")
    parser.add_argument("-p", "--password", help="The password of garbled entries.")
    args = parser.parse_args(argv)
    password = args.password
    try:
        if args.list is not None:
            with ArjFile(args.list, password=password) as arj:
                arj.printdir()
        elif args.test is not None:
            with ArjFile(args.test, password=password) as arj:
                bad = arj.testarj()
            if bad is not None:
                print(f"The following enclosed file is corrupted: {bad!r}")
                return 1
            print("Done testing")
        elif args.extract is not None:
            archive, folder = args.extract
            with ArjFile(archive, password=password) as arj:
                arj.extractall(folder)
        elif args.create is not None:
            if len(args.create) < 2:
                parser.error("-c takes the archive's name and at least one file")
            _create(args.create[0], args.create[1:])
    except (Error, OSError) as e:
        print(f"python -m arjhost: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
