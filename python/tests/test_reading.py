"""Reading: every kind of source, the entries' fields and bytes against
the tool's, tests, errors, and what a misbehaving file object gets."""

from __future__ import annotations

import io
import os
from pathlib import Path

import pytest

import arjhost
from conftest import arj as run_arj, run_tool, tool_json

SOUND = ["method0.arj", "method1.arj", "method2.arj", "method3.arj", "method4.arj", "comment.arj", "split.arj"]


class Unseekable(io.RawIOBase):
    """A pipe's shape: read only, no seek."""

    def __init__(self, data: bytes) -> None:
        self._data = io.BytesIO(data)

    def readable(self) -> bool:
        return True

    def readinto(self, buffer) -> int:
        return self._data.readinto(buffer)


def sources(path: Path):
    """The archive at ``path`` as each kind ArjFile opens."""
    data = path.read_bytes()
    return {
        "path": str(path),
        "pathlike": path,
        "bytes": data,
        "bytearray": bytearray(data),
        "memoryview": memoryview(data),
        "memoryview-slice": memoryview(b"xx" + data)[2:],
        "seekable file": io.BytesIO(data),
        "real file": open(path, "rb"),
        "unseekable": Unseekable(data),
        "buffered unseekable": io.BufferedReader(Unseekable(data)),
    }


def extracted(tool: str, archive: Path, folder: Path, *args: str) -> dict[str, bytes]:
    """The files the tool extracts from ``archive``."""
    run_tool(tool, "extract", str(archive), "-C", str(folder), *args)
    return {str(p.relative_to(folder)): p.read_bytes() for p in folder.rglob("*") if p.is_file()}


@pytest.mark.parametrize("kind", list(sources(Path(__file__)).keys()))
def test_every_source_reads_what_the_tool_extracts(kind, data, tool, tmp_path):
    archive = data / "method4.arj"
    expected = extracted(tool, archive, tmp_path)
    with arjhost.ArjFile(sources(archive)[kind]) as arj:
        files = {i.filename: arj.read(i) for i in arj.infolist() if i.is_file()}
        assert files == expected
        assert arj.testarj() is None


@pytest.mark.parametrize("name", SOUND)
def test_infolist_is_the_tools_listing(name, data, tool):
    listing = tool_json(tool, "list", str(data / name), "--json")
    with arjhost.ArjFile(data / name) as arj:
        infos = arj.infolist()
        assert arj.state.digest == int(listing["digest"], 16)
        assert arj.state.multi_volume == listing["multi_volume"]
        assert arj.state.comment == listing["comment"]
    assert len(infos) == len(listing["entries"])
    for info, entry in zip(infos, listing["entries"]):
        assert info.filename == entry["name"]
        assert info.file_size == entry["size"]
        assert info.compress_size == entry["packed"]
        assert info.method == entry["method"]
        assert f"{info.CRC:08x}" == entry["crc"].lower()
        assert info.garbled == entry["garbled"]
        assert info.is_dir() == entry["folder"]
        assert info.header_ok == entry["header_crc_ok"]
        assert info.volume == entry["volume"]
        assert info.comment == entry["comment"]
        assert info.attributes == entry["attributes"]
        assert info.host_os == entry["host_os"]
        assert (info.flag_bits, info.header_offset) == (entry["flags"], entry["header_offset"])
        assert info.compress_type == info.method and info.external_attr >> 16 == info.mode
        assert info.create_system == {0: 0, 2: 3, 11: 11}.get(info.host_os, info.create_system)
        modified = entry["modified"].replace("T", " ").replace("-", " ").replace(":", " ").split()
        assert info.date_time == tuple(int(x) for x in modified[:6])


@pytest.mark.parametrize("name", SOUND)
def test_streaming_reads_the_tools_bytes(name, data, tool, tmp_path):
    expected = extracted(tool, data / name, tmp_path)
    with arjhost.ArjFile(data / name) as arj:
        for info in arj.infolist():
            if not info.is_file():
                continue
            with arj.open(info) as stream:  # small reads, through a BufferedReader too
                pieces = []
                while chunk := stream.read(777):
                    pieces.append(chunk)
            assert b"".join(pieces) == expected[info.filename]
            with io.BufferedReader(arj.open(info)) as buffered:
                assert buffered.read() == expected[info.filename]


def test_garbled_entries_by_password_and_callback(data, tool, tmp_path):
    archive = data / "garbled.arj"
    expected = extracted(tool, archive, tmp_path, "-p", "secret")
    assert expected
    asked = []

    def ask(name: str, attempt: int):
        asked.append((name, attempt))
        return "secret" if attempt == 1 else "wrong"

    for password in ("secret", b"secret", ask):
        with arjhost.ArjFile(archive, password=password) as arj:
            assert {n: arj.read(n) for n in expected} == expected
            assert arj.testarj() is None
    assert asked and all(attempt < 3 for _, attempt in asked)
    with arjhost.ArjFile(archive, password="wrong") as arj:
        first = arj.namelist()[0]
        assert arj.testarj() == first
        with pytest.raises(arjhost.BadPassword):
            arj.read(first)
        arj.setpassword("secret")
        assert arj.read(first) == expected[first]
    with arjhost.ArjFile(archive) as arj:
        arj.setpassword(lambda name, attempt: "secret")
        assert arj.read(first) == expected[first]
    with arjhost.ArjFile(archive) as arj:
        with pytest.raises(arjhost.BadPassword, match="password"):
            arj.read(arj.namelist()[0])
    # A callback that fails or answers what no password is: a clean error.
    def broken(name: str, attempt: int):
        raise RuntimeError("no keyring")

    for answer in (broken, lambda name, attempt: "x" * 5000, lambda name, attempt: 42):
        with arjhost.ArjFile(archive, password=answer) as arj:
            with pytest.raises(arjhost.Error) as caught:
                arj.read(arj.namelist()[0])
            assert caught.value.__cause__ is not None


@pytest.mark.parametrize("name", ["badcrc.arj", "truncated.arj", "badheader.arj"])
def test_damaged_archives_name_their_first_bad_entry(name, data, tool):
    verdict = tool_json(tool, "test", str(data / name), "--json")
    bad = [e["name"] for e in verdict["entries"] if e["result"] != "ok"]
    with arjhost.ArjFile(data / name) as arj:
        if bad:
            assert arj.testarj() == bad[0]
            with pytest.raises(arjhost.BadArchive):
                arj.read(bad[0])
            results = arj.testall()
            assert [(r.name, r.cause if not r.ok else "ok", r.size) for r in results] == \
                   [(e["name"], e["result"], e["size"]) for e in verdict["entries"]]
        else:  # the entries are sound, the archive is not
            with pytest.raises(arjhost.BadArchive):
                arj.testarj()


def test_errors_are_the_packages_own(data, tmp_path):
    (tmp_path / "not.arj").write_bytes(b"this is not an archive" * 10)
    with pytest.raises(arjhost.BadArchive):
        arjhost.ArjFile(tmp_path / "not.arj")
    with pytest.raises(arjhost.Error):
        arjhost.ArjFile(tmp_path / "missing.arj")
    with pytest.raises(arjhost.BadArchive):
        arjhost.ArjFile(b"")
    with arjhost.ArjFile(data / "method1.arj", limits=arjhost.Limits(max_size=10)) as arj:
        big = max(arj.infolist(), key=lambda i: i.file_size)
        with pytest.raises(arjhost.LimitExceeded):
            arj.read(big)
        with pytest.raises(KeyError):
            arj.getinfo("no such entry")
    with pytest.raises(arjhost.LimitExceeded):
        arjhost.ArjFile(data / "method1.arj", limits=arjhost.Limits(max_entries=1))
    with pytest.raises(arjhost.LimitExceeded):
        arjhost.ArjFile(Unseekable((data / "method1.arj").read_bytes()),
                        limits=arjhost.Limits(max_stream_memory=100, max_stream_size=100))
    arj = arjhost.ArjFile(data / "method1.arj")
    stream = arj.open(arj.namelist()[0])
    arj.close()
    with pytest.raises(ValueError):
        arj.namelist()
    with pytest.raises(ValueError):
        stream.read()


class Liar(io.RawIOBase):
    """A file object that breaks its contract in one way."""

    def __init__(self, data: bytes, how: str) -> None:
        self._data, self._how, self._at = data, how, 0

    def readable(self) -> bool:
        return True

    def seekable(self) -> bool:
        return self._how.startswith("seek")

    def seek(self, offset: int, whence: int = 0):
        if self._how == "seek returns text":
            return "here"
        self._at = {0: offset, 1: self._at + offset, 2: len(self._data) + offset}[whence]
        return self._at

    def tell(self) -> int:
        return self._at

    def read(self, size: int = -1):
        if self._how == "too many bytes":
            return b"x" * (size + 1)
        if self._how == "text":
            return "not bytes"
        if self._how == "raises":
            raise OSError("the device is gone")
        if self._how == "would block":
            return None
        chunk = self._data[self._at:self._at + size]
        self._at += len(chunk)
        return chunk

    readinto = None  # read() alone


@pytest.mark.parametrize("how", ["too many bytes", "text", "raises", "would block", "seek returns text"])
def test_misbehaving_file_objects_give_a_clean_error(how, data):
    with pytest.raises(arjhost.Error) as caught:
        with arjhost.ArjFile(Liar((data / "method1.arj").read_bytes(), how)) as arj:
            arj.testarj()
    assert caught.value.__cause__ is not None


class BadReadinto(io.RawIOBase):
    def readable(self) -> bool:
        return True

    def readinto(self, buffer) -> int:
        return len(buffer) + 5


def test_a_readinto_claiming_too_much_is_an_error():
    with pytest.raises(arjhost.Error, match="readinto"):
        arjhost.ArjFile(BadReadinto())


def test_extract_keeps_inside_the_folder(data, tool, tmp_path):
    out = tmp_path / "out"
    run_tool(tool, "extract", str(data / "unsafe.arj"), "-C", str(tmp_path / "tool"))
    tool_made = {str(p.relative_to(tmp_path / "tool")) for p in (tmp_path / "tool").rglob("*")
                 if p.is_file() or p.is_symlink()}
    with arjhost.ArjFile(data / "unsafe.arj") as arj:
        refused = 0
        made_paths = set()
        for info in arj.infolist():
            try:
                made = arj.extract(info, out)
            except arjhost.Error as e:
                assert e.code == -10  # refused
                refused += 1
                continue
            if made is not None:
                assert os.path.realpath(made).startswith(str(out.resolve()))
                made_paths.add(os.path.relpath(made, out))
        assert refused > 0
        # Where the library put each one (a leading "/" removed), as the tool.
        assert made_paths == tool_made
        with pytest.raises(arjhost.Error):
            arj.extractall(tmp_path / "all")
    inside = {p.resolve() for p in tmp_path.rglob("*")}
    assert all(str(p).startswith(str(tmp_path.resolve())) for p in inside)
    assert not any(p.name.endswith(".arjtmp") for p in inside)


def test_extractall_makes_what_the_tool_makes(data, tool, tmp_path):
    expected = extracted(tool, data / "split.arj", tmp_path / "tool")
    with arjhost.ArjFile(data / "split.arj") as arj:
        arj.extractall(tmp_path / "ours")
        arj.extractall(tmp_path / "some", members=arj.namelist()[:1])
    ours = tmp_path / "ours"
    assert {str(p.relative_to(ours)): p.read_bytes() for p in ours.rglob("*") if p.is_file()} == expected
    assert len([p for p in (tmp_path / "some").rglob("*") if p.is_file()]) == 1


def chapters_archive(folder: Path) -> Path:
    """Three chapters made by arj ac, f.txt changed in each; c2.txt only in
    the second and f.txt damaged (a byte of its data) in the last."""
    src = folder / "src"
    src.mkdir()
    for chapter in (1, 2, 3):
        (src / "f.txt").write_text(f"version {chapter}\n" * (40 + 10 * chapter))
        os.utime(src / "f.txt", (1_600_000_000 + 100 * chapter,) * 2)  # newer: arj ac stores it again
        names = ["f.txt"] + (["c2.txt"] if chapter == 2 else [])
        if chapter == 2:
            (src / "c2.txt").write_text("chapter two only\n")
        assert run_arj("ac", "-m0", "../chapters.arj", *names, cwd=src).returncode == 0
    return folder / "chapters.arj"


@pytest.mark.parametrize("case", ["chapters", "chapters-damaged", "truncated.arj", "badheader.arj", "badcrc.arj",
                                  "header-crc"])
def test_read_and_extractall_give_the_tools_verdict_and_bytes(case, data, tool, tmp_path):
    if case.startswith("chapters"):
        archive = chapters_archive(tmp_path)
        if case == "chapters-damaged":
            raw = bytearray(archive.read_bytes())
            raw[raw.rindex(b"version 3") + 8] ^= 1  # the last chapter's f.txt
            archive.write_bytes(raw)
    elif case == "header-crc":
        raw = bytearray((data / "entries20.arj").read_bytes())
        raw[raw.index(b"file05.txt") + 5] = ord("7")
        archive = tmp_path / "crc.arj"
        archive.write_bytes(raw)
    else:
        archive = data / case
    tool_code = run_tool(tool, "extract", str(archive), "-C", str(tmp_path / "tool")).returncode
    expected = {str(p.relative_to(tmp_path / "tool")): p.read_bytes()
                for p in (tmp_path / "tool").rglob("*") if p.is_file()}
    ours = tmp_path / "ours"
    with arjhost.ArjFile(archive) as arj:
        if tool_code == 0:
            arj.extractall(ours)
        else:
            with pytest.raises(arjhost.Error):
                arj.extractall(ours)
        # By name, each file is the one the tool extracts, or fails.
        for name in {i.filename for i in arj.infolist() if i.is_file()}:
            if name in expected:
                assert arj.read(name) == expected[name], name
            else:
                with pytest.raises((arjhost.Error, KeyError)):
                    arj.read(name)
    assert {str(p.relative_to(ours)): p.read_bytes() for p in ours.rglob("*") if p.is_file()} == expected
