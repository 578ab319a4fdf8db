#!/usr/bin/env python3
"""Tests every ARJ archive under ROOT on a Dask cluster.

    dask_scan.py ROOT [--scheduler ADDRESS] [--workers N] [--password-file FILE]

The regular files under ROOT go to the workers in batches (several small
archives a task, sized by their bytes, so that a task's overhead does not
outweigh a small archive's test), and each worker opens them with the
arjhost package: what is not an ARJ archive (judged by its content, not its
name) is passed over; an archive is tested as `arjhost test` tests it, and
its verdict comes back as the line `arjhost test --json-lines` prints for
it, in the order the walk found the files. Without --scheduler a local
cluster of N worker processes runs it (default: one for each core); with
it, the same code runs on that cluster, whose workers need the arjhost
package and read ROOT under the same path. The exit code is 0 when every
archive is sound, 1 when one is not, 2 on bad usage."""

from __future__ import annotations

import argparse
import json
import logging
import os
import sys
from typing import Iterator, Optional


def walk(root: str) -> Iterator[str]:
    """The regular files under ``root`` (links not followed), in a stable order."""
    if os.path.isfile(root):
        yield root
        return
    for folder, folders, files in os.walk(root):
        folders.sort()
        for name in sorted(files):
            path = os.path.join(folder, name)
            if os.path.isfile(path) and not os.path.islink(path):
                yield path


def dumps(value) -> str:
    """Compact JSON as the tool writes its lines: a control character as
    \\u00XX, other text as it is (UTF-8)."""
    if isinstance(value, dict):
        return "{" + ",".join(dumps(k) + ":" + dumps(v) for k, v in value.items()) + "}"
    if isinstance(value, list):
        return "[" + ",".join(dumps(v) for v in value) + "]"
    if isinstance(value, str):
        return '"' + "".join(f"\\u{ord(c):04X}" if c < " " else "\\" + c if c in '"\\' else c
                             for c in value) + '"'
    return json.dumps(value)


def verdict(path: str, password: Optional[str]) -> Optional[str]:
    """The JSON line of the archive at ``path``, or None when it is none."""
    import arjhost  # on the worker
    try:
        archive = arjhost.ArjFile(path, password=password)
    except arjhost.Error as e:
        if not arjhost.is_arjfile(path):
            return None
        return dumps({"archive": path, "error": e.message, "ok": False})
    except OSError as e:
        return dumps({"archive": path, "error": f"{path}: {e.strerror}", "ok": False})
    with archive:
        results = archive.testall()
        s = archive.state
        document = {
            "archive": path,
            "digest": f"{s.digest:016x}",
            "multi_volume": s.multi_volume,
            "damaged": s.damaged,
            "incomplete": s.incomplete,
            "main_header_crc_ok": s.main_header_crc_ok,
            "secured": s.secured,
            "protected": s.protected,
            "chapter": s.chapter,
            "comment": s.comment,
            "volumes": s.volumes,
            "unreadable_volumes": [{"name": v.name, "cause": v.cause} for v in s.unreadable_volumes],
            "skipped": [],
            "entries": [{"name": r.name, "result": "ok" if r.ok else r.cause, "size": r.size} for r in results],
            "missing": [],
        }
        failed = sum(not r.ok for r in results)
        document["summary"] = {"entries": len(results), "ok": len(results) - failed, "failed": failed, "skipped": 0,
                               "bytes": sum(r.size for r in results)}
        document["ok"] = failed == 0 and not archive.problems()
    return dumps(document)


def verdicts(paths: list[str], password: Optional[str]) -> list[Optional[str]]:
    """The JSON lines of a batch of files, in its order."""
    return [verdict(path, password) for path in paths]


def batches(paths: list[str], workers: int) -> Iterator[list[str]]:
    """``paths`` in the walk's order, cut into batches of about an eighth of
    a worker's share of the bytes (enough batches that the workers end
    together, few enough that each task carries real work), and never more
    than 256 files."""
    sizes = []
    for path in paths:
        try:
            sizes.append(os.path.getsize(path))
        except OSError:
            sizes.append(0)
    goal = max(sum(sizes) // (workers * 8), 1)
    batch: list[str] = []
    held = 0
    for path, size in zip(paths, sizes):
        batch.append(path)
        held += size
        if held >= goal or len(batch) >= 256:
            yield batch
            batch, held = [], 0
    if batch:
        yield batch


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("root", metavar="ROOT", help="the folder (or file) to scan")
    parser.add_argument("--scheduler", metavar="ADDRESS", help="a running Dask scheduler (tcp://host:8786)")
    parser.add_argument("--workers", metavar="N", type=int, default=os.cpu_count() or 1,
                        help="worker processes of the local cluster (default: one for each core)")
    parser.add_argument("--password-file", metavar="FILE",
                        help="the password of garbled entries: the first line of FILE")
    args = parser.parse_args(argv)
    if args.workers < 1:
        parser.error("--workers takes 1 or more")
    password = None
    if args.password_file:
        try:
            with open(args.password_file, encoding="utf-8") as f:
                password = f.readline().rstrip("\r\n")
        except OSError as e:
            parser.error(f"cannot read the password file: {e.strerror}")
    try:
        from dask.distributed import Client, LocalCluster
    except ImportError:
        print("dask_scan: Dask is not installed (Debian: python3-dask python3-distributed)", file=sys.stderr)
        return 2
    cluster = None
    if not args.scheduler:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               dashboard_address=None, silence_logs=logging.ERROR)
    sound = True
    try:
        with Client(args.scheduler or cluster) as client:
            workers = len(client.scheduler_info().get("workers", {})) or args.workers
            futures = client.map(verdicts, list(batches(list(walk(args.root)), workers)), password=password,
                                 pure=False)
            for future in futures:  # in the walk's order, each once it and those before it are done
                for line in future.result():
                    if line is not None:
                        print(line, flush=True)
                        sound = sound and line.endswith('"ok":true}')
    finally:
        if cluster is not None:
            cluster.close()
    return 0 if sound else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
