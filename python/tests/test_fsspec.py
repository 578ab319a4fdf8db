"""The arj:// fsspec file system: listings and bytes against `arjhost
extract` over every way of reaching an archive, volume sets, passwords,
chapters, damage, seeks, pandas and Dask, and constant memory."""

from __future__ import annotations

import importlib
import importlib.util
import io
import json
import logging
import os
import subprocess
import sys
import textwrap
import time
from pathlib import Path

import pytest

import arjhost
from conftest import in_ci, run_tool


def need_module(name: str, package: str) -> None:
    if importlib.util.find_spec(name) is None:
        if in_ci():
            pytest.fail(f"{name} is not installed (CI=true needs {package})")
        pytest.skip(f"{name} is not installed ({package})")


@pytest.fixture(scope="module")
def fsspec():
    need_module("fsspec", "python3-fsspec")
    import fsspec as module
    import arjhost.fsspec  # noqa: F401 - registers arj://
    return module


def extracted(tool: str, archive: Path, folder: Path, *args: str) -> dict[str, bytes]:
    result = run_tool(tool, "extract", str(archive), "-C", str(folder), *args)
    assert result.returncode == 0, result.stderr
    return {p.relative_to(folder).as_posix(): p.read_bytes() for p in folder.rglob("*") if p.is_file()}


def reach(fsspec, how: str, archive: Path, memory_root: str) -> tuple:
    """The file system over ``archive`` reached as ``how``, and the chained
    URL prefix that names it."""
    if how == "memory":
        memory = fsspec.filesystem("memory")
        for volume in archive.parent.glob(archive.stem + ".*"):  # its volumes beside it
            memory.pipe(f"{memory_root}/{volume.name}", volume.read_bytes())
        url = f"memory://{memory_root}/{archive.name}"
        return fsspec.filesystem("arj", fo=url), "::" + url
    if how == "file url":
        return fsspec.filesystem("arj", fo=f"file://{archive}"), f"::file://{archive}"
    if how == "file object":
        return fsspec.filesystem("arj", fo=open(archive, "rb")), None
    return fsspec.filesystem("arj", fo=str(archive)), f"::{archive}"


HOWS = ["path", "file url", "memory", "file object"]


@pytest.mark.parametrize("how, name", [(how, name) for how in HOWS
                                       for name in ["method1.arj", "method4.arj", "comment.arj", "split.a01"]
                                       if (how, name) != ("file object", "split.a01")])  # no volumes beside it
def test_entries_and_bytes_are_what_extract_gives(fsspec, how, name, data, tool, tmp_path):
    expected = extracted(tool, data / name, tmp_path / "tool")
    fs, chain = reach(fsspec, how, data / name, f"/{tmp_path.name}-{how}")
    assert sorted(fs.find("")) == sorted(expected)
    for entry, body in expected.items():
        assert fs.info(entry)["size"] == len(body) and fs.isfile(entry)
        assert fs.cat(entry) == body
        if chain:
            with fsspec.open(f"arj://{entry}{chain}") as f:
                assert f.read() == body
    folders = {os.path.dirname(e) for e in expected} - {""}
    for folder in folders:
        assert fs.isdir(folder) and fs.info(folder)["type"] == "directory"
        assert set(fs.ls(folder, detail=False)) >= {e for e in expected if os.path.dirname(e) == folder}
    with pytest.raises(FileNotFoundError):
        fs.info("no/such/entry")


def big_archive(folder: Path, size: int = 48 << 20) -> tuple[Path, bytes]:
    """An archive holding one large entry that packs (text), and its bytes."""
    line = b"".join(b"%07d,%x,row of a table\n" % (i, i * 7919) for i in range(4096))
    body = (line * (size // len(line) + 1))[:size]
    (folder / "big.csv").write_bytes(body)
    with arjhost.ArjFile(folder / "big.arj", "w") as out:
        out.write(folder / "big.csv", "big.csv", method=1)
    return folder / "big.arj", body


def test_seeks_decode_again_or_skip(fsspec, tmp_path):
    archive, body = big_archive(tmp_path, 3 << 20)
    fs = fsspec.filesystem("arj", fo=str(archive))
    with fs.open("big.csv", block_size=4096) as f:
        assert f.seekable() and f.size == len(body)
        for where, whence, count in [(1000, 0, 10), (2_000_000, 0, 5000), (10, 0, 100), (-50, 2, 100),
                                     (-100, 1, 20), (len(body) + 5, 0, 10), (0, 0, 7)]:
            start = f.seek(where, whence)
            assert f.read(count) == body[start:start + count]
            assert f.tell() == min(start + count, max(start, len(body)))
    assert fs.cat_file("big.csv", start=100, end=200) == body[100:200]


def test_volume_sets_open_from_any_volume_on_any_file_system(fsspec, data, tool, tmp_path):
    expected = extracted(tool, data / "split.arj", tmp_path / "tool")
    for how in ("path", "memory"):
        for volume in ("split.arj", "split.a01", "split.a02"):
            fs, _ = reach(fsspec, how, data / volume, f"/sets-{how}")
            assert {e: fs.cat(e) for e in fs.find("")} == expected, (how, volume)
            assert len(fs.arj.state.volumes) == 3


def test_garbled_entries_take_the_password_given(fsspec, data, tool, tmp_path):
    archive = data / "garbled.arj"
    expected = extracted(tool, archive, tmp_path / "tool", "-p", "secret")
    name, body = next(iter(expected.items()))
    fs = fsspec.filesystem("arj", fo=str(archive), password="secret")
    assert fs.cat(name) == body
    with fsspec.open(f"arj://{name}::{archive}", arj={"password": "secret"}) as f:
        assert f.read() == body
    with fsspec.open(f"arj://{name}", fo=str(archive), password="secret") as f:
        assert f.read() == body
    for password in (None, "wrong"):
        fs = fsspec.filesystem("arj", fo=str(archive), password=password)
        with pytest.raises(OSError) as caught:
            fs.cat(name)
        assert isinstance(caught.value, arjhost.BadPassword)


def test_a_chapter_archive_shows_the_chapter_extract_takes(fsspec, tool, tmp_path):
    (tmp_path / "src").mkdir()
    src = tmp_path / "src"
    archive = tmp_path / "c.arj"
    (src / "f.txt").write_bytes(b"first version\n")
    (src / "k.txt").write_bytes(b"kept in chapter 1\n")
    assert run_tool(tool, "add", str(archive), f"{src}/f.txt=f.txt", f"{src}/k.txt=k.txt",
                    "--new-chapter").returncode == 0
    (src / "f.txt").write_bytes(b"second version, longer\n")
    assert run_tool(tool, "add", str(archive), f"{src}/f.txt=f.txt", "--new-chapter").returncode == 0
    for chapter, args in [(None, ()), (1, ("--chapter", "1")), (2, ("--chapter", "2"))]:
        expected = extracted(tool, archive, tmp_path / f"out{chapter}", *args)
        fs = fsspec.filesystem("arj", fo=str(archive), chapter=chapter)
        assert {e: fs.cat(e) for e in fs.find("")} == expected, chapter
    plain = tmp_path / "plain.arj"
    with arjhost.ArjFile(plain, "w") as out:
        out.writestr("a.txt", b"a")
    with pytest.raises(arjhost.Error, match="has no chapters"):
        fsspec.filesystem("arj", fo=str(plain), chapter=1).ls("")


@pytest.mark.parametrize("name", ["badcrc.arj", "truncated.arj"])
def test_damage_raises_and_never_reads_short(fsspec, name, data, tool):
    verdict = json.loads(run_tool(tool, "test", str(data / name), "--json").stdout)
    bad = [e["name"] for e in verdict["entries"] if e["result"] != "ok"]
    assert bad
    fs = fsspec.filesystem("arj", fo=str(data / name))
    for entry in bad:
        with pytest.raises(OSError) as caught:
            fs.cat(entry)
        assert isinstance(caught.value, arjhost.BadArchive) and entry in str(caught.value)
        with pytest.raises(OSError), fs.open(entry, block_size=512) as f:
            while f.read(100):
                pass


def test_pandas_reads_csv_and_json_from_an_archive(fsspec, tmp_path):
    need_module("pandas", "python3-pandas")
    import pandas as pd
    archive = tmp_path / "tables.arj"
    csv = "city,people\nOslo,709000\nBergen,291000\n"
    records = [{"a": 1, "b": "x"}, {"a": 2, "b": "y"}]
    with arjhost.ArjFile(archive, "w") as out:
        out.writestr("dir/data.csv", csv, method=4)
        out.writestr("dir/data.json", json.dumps(records))
    table = pd.read_csv("arj://dir/data.csv::" + str(archive))
    assert table.equals(pd.read_csv(io.StringIO(csv)))
    assert pd.read_json("arj://dir/data.json::file://" + str(archive)).to_dict("records") == records
    assert pd.read_csv("arj://dir/data.csv", storage_options={"fo": str(archive)}).equals(table)


def test_dask_reads_csv_over_several_archives(fsspec, tmp_path):
    need_module("pandas", "python3-pandas")
    need_module("dask", "python3-dask")
    import dask.dataframe as dd
    import pandas as pd
    urls, frames = [], []
    for k in range(4):
        csv = "archive,row\n" + "".join(f"{k},{i}\n" for i in range(50 + k))
        with arjhost.ArjFile(tmp_path / f"{k}.arj", "w") as out:
            out.writestr("dir/data.csv", csv, method=k % 4 + 1)
        urls.append(f"arj://dir/data.csv::{tmp_path}/{k}.arj")
        frames.append(pd.read_csv(io.StringIO(csv)))
    expected = pd.concat(frames).reset_index(drop=True)
    collection = dd.concat([dd.read_csv(url) for url in urls])
    assert collection.npartitions == 4
    assert collection.compute().reset_index(drop=True).equals(expected)
    # A glob inside one archive: a partition for each file it takes.
    with arjhost.ArjFile(tmp_path / "both.arj", "w") as out:
        out.writestr("one.csv", "archive,row\n0,0\n")
        out.writestr("two.csv", "archive,row\n1,1\n")
        out.writestr("skip.txt", "not,csv\n")
    globbed = dd.read_csv(f"arj://*.csv::{tmp_path}/both.arj")
    assert globbed.npartitions == 2
    assert globbed.compute().values.tolist() == [[0, 0], [1, 1]]
    if importlib.util.find_spec("distributed") is None:
        if in_ci():
            pytest.fail("distributed is not installed (CI=true needs python3-distributed)")
        pytest.skip("distributed is not installed (python3-distributed): the cluster run is left out")
    from distributed import Client, LocalCluster
    started = time.monotonic()
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                      silence_logs=logging.ERROR) as cluster, Client(cluster) as client:
        if time.monotonic() - started > 30 and not in_ci():
            pytest.skip("a local Dask cluster took over 30 s to start")
        # Bounded: a cluster that stops answering fails the test, never hangs it.
        assert client.compute(collection).result(timeout=120).reset_index(drop=True).equals(expected)


def test_reading_a_large_entry_holds_little_of_it(fsspec, tmp_path):
    """Peak memory of a process reading a 48 MiB entry through arj://."""
    archive, body = big_archive(tmp_path)
    script = textwrap.dedent("""
        import resource, sys, zlib, fsspec, arjhost.fsspec
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        crc, size = 0, 0
        with fsspec.open("arj://big.csv::" + sys.argv[1]) as f:
            while chunk := f.read(1 << 20):
                crc, size = zlib.crc32(chunk, crc), size + len(chunk)
        print(crc, size, (resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before) * 1024)
    """)
    env = dict(os.environ, PYTHONPATH=str(Path(arjhost.__file__).parents[1]))
    run = subprocess.run([sys.executable, "-c", script, str(archive)], capture_output=True, text=True, env=env,
                         timeout=120)
    assert run.returncode == 0, run.stderr
    crc, size, grown = (int(x) for x in run.stdout.split())
    import zlib
    assert (crc, size) == (zlib.crc32(body), len(body))
    assert grown < len(body) // 3, f"reading {len(body)} bytes grew the process by {grown}"


def test_the_protocol_is_registered_and_declared(fsspec):
    assert fsspec.get_filesystem_class("arj").__name__ == "ArjFileSystem"
    backend = Path(arjhost.__file__).parents[1] / "build_backend"
    sys.path.insert(0, str(backend))
    try:
        import arjhost_wheel
    finally:
        sys.path.remove(str(backend))
    declared = arjhost_wheel._entry_points()
    assert "[fsspec.specs]\narj = arjhost.fsspec:ArjFileSystem" in declared
    module, _, name = declared.split("= ")[1].strip().partition(":")
    assert getattr(importlib.import_module(module), name) is fsspec.get_filesystem_class("arj")
