"""What zipfile users count on: its exceptions, pwd=, mode 'x', comment,
printdir, open(name, 'w'), several streams (and threads) at once, seeks,
links read as their targets, a cheap is_arjfile, write errors naming the
archive, and python -m arjhost as python -m zipfile."""

from __future__ import annotations

import io
import os
import subprocess
import sys
import threading
from pathlib import Path

import pytest

import arjhost
from conftest import run_tool


def _missing(tmp: Path) -> tuple:
    return tmp / "missing.arj", "r"


def _folder(tmp: Path) -> tuple:
    return tmp, "r"


def _folder_written(tmp: Path) -> tuple:
    return tmp, "w"


def _no_parent(tmp: Path) -> tuple:
    return tmp / "no" / "such" / "x.arj", "w"


def _existing_x(tmp: Path) -> tuple:
    (tmp / "there.arj").write_bytes(b"anything")
    return tmp / "there.arj", "x"


def _not_archive(tmp: Path) -> tuple:
    (tmp / "text.arj").write_bytes(b"plain text, not an archive\n" * 20)
    return tmp / "text.arj", "r"


def _unreadable(tmp: Path) -> tuple:
    if os.geteuid() == 0:
        pytest.skip("root reads a file of mode 000: no PermissionError to see")
    (tmp / "locked.arj").write_bytes(b"x" * 100)
    (tmp / "locked.arj").chmod(0)
    return tmp / "locked.arj", "r"


@pytest.mark.parametrize("make, expected", [
    (_missing, FileNotFoundError), (_folder, IsADirectoryError), (_folder_written, IsADirectoryError),
    (_no_parent, FileNotFoundError), (_existing_x, FileExistsError), (_not_archive, arjhost.BadArchive),
    (_unreadable, PermissionError)], ids=lambda v: getattr(v, "__name__", "").strip("_"))
def test_errors_are_the_oserror_open_would_raise(make, expected, tmp_path):
    path, mode = make(tmp_path)
    before = sorted(os.listdir(tmp_path))
    with pytest.raises(expected) as caught:
        arjhost.ArjFile(path, mode).close()
    error = caught.value
    assert isinstance(error, arjhost.Error) and isinstance(error, OSError)
    assert str(path) in str(error)
    if expected is not arjhost.BadArchive:
        assert error.errno is not None and error.filename == str(path)
    assert sorted(os.listdir(tmp_path)) == before  # nothing left behind
    assert arjhost.BadArjFile is arjhost.BadArchive


def test_pwd_given_per_call(data, tool, tmp_path):
    archive = data / "garbled.arj"
    run_tool(tool, "extract", str(archive), "-C", str(tmp_path / "tool"), "-p", "secret")
    expected = {p.name: p.read_bytes() for p in (tmp_path / "tool").rglob("*") if p.is_file()}
    name, body = next(iter(expected.items()))
    with arjhost.ArjFile(archive) as arj:
        for pwd in ("secret", b"secret"):
            assert arj.read(name, pwd=pwd) == body
            with arj.open(name, pwd=pwd) as stream:
                assert stream.read() == body
        with pytest.raises(arjhost.BadPassword):
            arj.read(name)  # the archive itself has no password: pwd= was for its call only
        with pytest.raises(arjhost.BadPassword):
            arj.read(name, pwd="wrong")
        made = arj.extract(name, tmp_path / "one", pwd="secret")
        assert Path(made).read_bytes() == body
        arj.extractall(tmp_path / "all", pwd="secret")
        assert (tmp_path / "all" / name).read_bytes() == body
    with arjhost.ArjFile(archive, password="wrong") as arj:
        assert arj.read(name, pwd="secret") == body
        with pytest.raises(arjhost.BadPassword):
            arj.read(name)


def test_writing_as_zipfile_writes(tmp_path):
    archive = tmp_path / "w.arj"
    with arjhost.ArjFile(archive, "x") as out:
        with out.open("streamed.bin", "w") as stream:
            for k in range(100):
                stream.write(bytes([k]) * 1000)
        out.comment = b"made by a test"
        assert out.comment == b"made by a test"
        with pytest.raises(RuntimeError), out.open("left-out.txt", "w") as stream:
            stream.write(b"never added")
            raise RuntimeError("stop")
    with pytest.raises(FileExistsError):
        arjhost.ArjFile(archive, "x")
    with arjhost.ArjFile(archive) as back:
        assert back.comment == b"made by a test"
        assert back.namelist() == ["streamed.bin"]
        assert back.read("streamed.bin") == b"".join(bytes([k]) * 1000 for k in range(100))
        listing = io.StringIO()
        back.printdir(listing)
    lines = listing.getvalue().splitlines()
    assert lines[0].split() == ["File", "Name", "Modified", "Size"]
    assert lines[1].startswith("streamed.bin") and lines[1].split()[-1] == "100000"
    with pytest.raises(ValueError):
        arjhost.ArjFile(archive).open("streamed.bin", "w")
    assert "raises" in arjhost.ArjFile.close.__doc__ and "nothing to write" in arjhost.ArjFile.close.__doc__


def sources(path: Path) -> dict:
    data = path.read_bytes()
    return {"path": path, "bytes": data, "file object": io.BytesIO(data)}


@pytest.fixture(scope="module")
def three_entries(tmp_path_factory) -> tuple[Path, dict[str, bytes]]:
    folder = tmp_path_factory.mktemp("three")
    bodies = {f"e{k}.bin": os.urandom(50000) + bytes([k]) * 400000 for k in range(3)}
    with arjhost.ArjFile(folder / "three.arj", "w") as out:
        for k, (name, body) in enumerate(bodies.items()):
            out.writestr(name, body, method=k + 1)
    return folder / "three.arj", bodies


@pytest.mark.parametrize("kind", ["path", "bytes", "file object"])
def test_several_streams_open_at_once_each_read_whole(kind, three_entries):
    archive, bodies = three_entries
    with arjhost.ArjFile(sources(archive)[kind]) as arj:
        streams = {name: arj.open(name) for name in bodies}
        got = {name: b"" for name in bodies}
        assert arj.read("e1.bin") == bodies["e1.bin"]  # between the streams' reads
        for step in range(0, 500000, 70000):
            for name, stream in streams.items():
                got[name] += stream.read(70000)
                assert stream.tell() == len(got[name])
        assert {n: g + streams[n].read() for n, g in got.items()} == bodies
        backwards = streams["e2.bin"]
        for where in (440000, 5, 449990, 0):
            backwards.seek(where)
            assert backwards.read(10) == bodies["e2.bin"][where:where + 10]
        for stream in streams.values():
            stream.close()
    with pytest.raises(ValueError):
        backwards.read()


@pytest.mark.parametrize("kind", ["path", "file object"])
def test_threads_sharing_an_archive_read_every_byte(kind, three_entries):
    archive, bodies = three_entries
    failures, start = [], threading.Barrier(4)
    with arjhost.ArjFile(sources(archive)[kind]) as arj:
        def work(name: str) -> None:
            try:
                start.wait()
                for _ in range(2):
                    with arj.open(name) as stream:
                        pieces = []
                        while piece := stream.read(30011):
                            pieces.append(piece)
                    if b"".join(pieces) != bodies[name]:
                        failures.append(f"{name}: {len(b''.join(pieces))} bytes")
            except BaseException as e:  # noqa: B036 - reported below
                failures.append(repr(e))

        threads = [threading.Thread(target=work, args=(n,)) for n in [*bodies, "e0.bin"]]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    assert failures == []


def test_damage_seen_by_interleaved_streams(data):
    with arjhost.ArjFile(data / "badcrc.arj") as arj:
        bad = arj.open("data.bin")
        again = arj.open("data.bin")
        assert len(bad.read(1000)) == 1000 and len(again.read(500)) == 500
        with pytest.raises(arjhost.BadArchive):
            bad.read()
        with pytest.raises(arjhost.BadArchive):
            again.read()
        bad.seek(0)
        with pytest.raises(arjhost.BadArchive):
            bad.read()


def test_symbolic_links_read_as_their_targets(tool, tmp_path):
    (tmp_path / "in").mkdir()
    (tmp_path / "in" / "t.txt").write_bytes(b"target's bytes")
    os.symlink("t.txt", tmp_path / "in" / "lnk")
    assert run_tool(tool, "add", str(tmp_path / "l.arj"), str(tmp_path / "in") + "=in").returncode == 0
    with arjhost.ArjFile(tmp_path / "l.arj") as arj:
        link = arj.getinfo("in/lnk")
        assert link.is_symlink() and (link.external_attr >> 16) & 0o170000 == 0o120000
        assert arj.read(link) == b"t.txt" and arj.read("in/t.txt") == b"target's bytes"


class Counting(io.BytesIO):
    def __init__(self, data: bytes) -> None:
        super().__init__(data)
        self.given = 0

    def read(self, size: int = -1) -> bytes:
        chunk = super().read(size)
        self.given += len(chunk)
        return chunk


def test_is_arjfile_reads_one_header(data, tmp_path):
    (tmp_path / "alone.a01").write_bytes((data / "split.a01").read_bytes())  # its set's other volumes missing
    stub = os.urandom(5000).replace(b"\x60\xea", b"\x00\x00")
    (tmp_path / "sfx.exe").write_bytes(stub + (data / "method1.arj").read_bytes())
    (tmp_path / "noise.arj").write_bytes(b"\x60\xea" + os.urandom(3000))
    (tmp_path / "far.exe").write_bytes(bytes((1 << 20) + 10) + (data / "method1.arj").read_bytes())
    cases = {data / "method4.arj": True, data / "badcrc.arj": True, data / "truncated.arj": True,
             data / "badheader.arj": True, tmp_path / "alone.a01": True, tmp_path / "sfx.exe": True,
             tmp_path / "noise.arj": False, tmp_path / "far.exe": False, Path(__file__): False,
             tmp_path / "none.arj": False, tmp_path: False}
    assert {p: arjhost.is_arjfile(p) for p in cases} == cases
    big = (data / "method1.arj").read_bytes() + os.urandom(4 << 20)
    counting = Counting(big)
    counting.seek(0)
    assert arjhost.is_arjfile(counting) and counting.tell() == 0 and counting.given < (1 << 20) + 8192
    assert arjhost.is_arjfile(big) and not arjhost.is_arjfile(b"")


WRITE_WITH_A_SMALL_FILE_SIZE_LIMIT = """
import resource, signal, sys, arjhost
signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
resource.setrlimit(resource.RLIMIT_FSIZE, (100000, resource.RLIM_INFINITY))
try:
    with arjhost.ArjFile(sys.argv[1], "w") as out:
        out.writestr("big.bin", bytes(range(256)) * 2000, method=0) if sys.argv[2] == "bytes" else \\
            out.write(sys.argv[3], "big.bin", method=0)
except arjhost.Error as e:
    print(e)
"""


@pytest.mark.parametrize("how", ["bytes", "file"])
def test_write_errors_name_the_archive_not_a_temporary(how, tmp_path):
    (tmp_path / "src.bin").write_bytes(os.urandom(300000))
    env = dict(os.environ, PYTHONPATH=str(Path(arjhost.__file__).parents[1]))
    run = subprocess.run([sys.executable, "-c", WRITE_WITH_A_SMALL_FILE_SIZE_LIMIT, str(tmp_path / "out.arj"), how,
                          str(tmp_path / "src.bin")], capture_output=True, text=True, env=env, timeout=60)
    said = run.stdout.strip()
    assert said.startswith(f"{tmp_path / 'out.arj'}: ") and "File too large" in said, said
    assert "arjhost-add" not in said and ".arjtmp" not in said
    assert how == "file" or said.startswith(f"{tmp_path / 'out.arj'}: big.bin: ")
    assert sorted(os.listdir(tmp_path)) == ["src.bin"]


def test_python_m_arjhost_as_python_m_zipfile(data, tmp_path):
    env = dict(os.environ, PYTHONPATH=str(Path(arjhost.__file__).parents[1]))

    def run(*args: str) -> subprocess.CompletedProcess:
        return subprocess.run([sys.executable, "-m", "arjhost", *args], capture_output=True, text=True, env=env,
                              cwd=tmp_path, timeout=60)

    (tmp_path / "src" / "d").mkdir(parents=True)
    (tmp_path / "src" / "a.txt").write_bytes(b"a\n")
    (tmp_path / "src" / "d" / "b.txt").write_bytes(b"b\n")
    for args, code, said in [
            (("-c", "new.arj", "src"), 0, ""),
            (("-l", "new.arj"), 0, "src/d/b.txt"),
            (("-t", "new.arj"), 0, "Done testing"),
            (("-e", "new.arj", "out"), 0, ""),
            (("-t", str(data / "badcrc.arj")), 1, "The following enclosed file is corrupted: 'data.bin'"),
            (("-t", str(data / "garbled.arj"), "-p", "secret"), 0, "Done testing"),
            (("-l", "missing.arj"), 1, "missing.arj"),
            ((), 2, "usage")]:
        result = run(*args)
        assert result.returncode == code, (args, result.stderr)
        assert said in result.stdout + result.stderr, args
    assert (tmp_path / "out" / "src" / "d" / "b.txt").read_bytes() == b"b\n"
    assert (tmp_path / "out" / "src" / "a.txt").read_bytes() == b"a\n"
