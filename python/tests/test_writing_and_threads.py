"""Writing archives (read back, by arj too), committed at once or not at
all; and archives read on two threads at once."""

from __future__ import annotations

import os
import threading

import pytest

import arjhost
from conftest import arj


def test_written_archives_read_back(tmp_path):
    source = tmp_path / "notes.txt"
    source.write_bytes(b"notes " * 5000)
    archive = tmp_path / "new.arj"
    with arjhost.ArjFile(archive, "w") as out:
        out.write(source, "docs/notes.txt")
        out.writestr("hello.txt", "hello, world\n", method=0)
        out.writestr("data.bin", bytes(range(256)) * 300, method=4, mode=0o600, mtime=1700000000)
    with arjhost.ArjFile(archive) as back:
        assert back.namelist() == ["docs/notes.txt", "hello.txt", "data.bin"]
        assert back.read("docs/notes.txt") == source.read_bytes()
        assert back.read("hello.txt") == b"hello, world\n"
        info = back.getinfo("data.bin")
        assert (info.method, info.mode & 0o777, info.mtime) == (4, 0o600, 1700000000)
        assert back.testarj() is None
    result = arj("t", str(archive), cwd=tmp_path)  # skipped without arj (failed under CI=true)
    assert result.returncode == 0, result.stdout


def test_comments_and_garbled_entries_as_arj_reads_them(tmp_path):
    archive = tmp_path / "g.arj"
    with arjhost.ArjFile(archive, "w") as out:
        out.writestr("secret.txt", "hidden " * 1000)
        out.setentrycomment("secret.txt", "entry note")
        out.setcomment("archive note")
        out.garble("pass")
    with arjhost.ArjFile(archive, password="pass") as back:
        assert back.state.comment == "archive note"
        info = back.getinfo("secret.txt")
        assert (info.garbled, info.comment) == (True, "entry note")
        assert back.read("secret.txt") == b"hidden " * 1000
    with arjhost.ArjFile(archive, "a") as more, pytest.raises(arjhost.BadPassword):
        more.garble("wrong")
    result = arj("t", "-gpass", str(archive), cwd=tmp_path)
    assert result.returncode == 0, result.stdout


def test_volume_sets_written_read_back_from_any_volume(tmp_path):
    data = os.urandom(40000) + b"text " * 20000
    archive = tmp_path / "set.arj"
    with arjhost.ArjFile(archive, "w", volume_size=20480) as out:
        out.writestr("big.bin", data)
        out.writestr("small.txt", "small")
    volumes = sorted(p.name for p in tmp_path.iterdir())
    assert volumes[0] == "set.a01" and "set.arj" in volumes and len(volumes) >= 3
    assert all((tmp_path / v).stat().st_size <= 20480 for v in volumes)
    with arjhost.ArjFile(tmp_path / "set.a01") as back:
        assert back.read("big.bin") == data and back.testarj() is None
    # Past a file split over volumes, entries are still found by name.
    with arjhost.ArjFile(archive, "a") as more:
        more.setentrycomment("small.txt", "note")
    with arjhost.ArjFile(archive) as back:
        assert back.getinfo("small.txt").comment == "note" and back.read("big.bin") == data
    with arjhost.ArjFile(archive, "a", volume_size=20480) as more:
        more.remove("big.bin")
    assert sorted(p.name for p in tmp_path.iterdir()) == ["set.arj"]
    with pytest.raises(FileExistsError):
        arjhost.ArjFile(archive, "w", volume_size=20480)
    with pytest.raises(ValueError):
        arjhost.ArjFile(archive, volume_size=20480)
    result = arj("t", str(archive), cwd=tmp_path)
    assert result.returncode == 0, result.stdout


def test_append_replace_remove_and_atomic_commit(tmp_path):
    archive = tmp_path / "a.arj"
    with arjhost.ArjFile(archive, "w") as out:
        out.writestr("one.txt", b"1")
        out.writestr("two.txt", b"2")
    before = archive.read_bytes()
    with pytest.raises(RuntimeError):
        with arjhost.ArjFile(archive, "w") as out:
            out.writestr("three.txt", b"3")
            raise RuntimeError("stop")
    assert archive.read_bytes() == before  # nothing committed, nothing left beside it
    assert sorted(os.listdir(tmp_path)) == ["a.arj"]
    with arjhost.ArjFile(archive, "a") as out:
        out.writestr("two.txt", b"22")
        out.remove("one.txt")
        with pytest.raises(KeyError):
            out.remove("missing.txt")
    with arjhost.ArjFile(archive) as back:
        assert [(n, back.read(n)) for n in back.namelist()] == [("two.txt", b"22")]
    with pytest.raises(arjhost.Error):
        with arjhost.ArjFile(archive, "a") as out:
            out.writestr("../escape.txt", b"x")
    with pytest.raises(ValueError):
        with arjhost.ArjFile(archive, "a") as out:
            out.writestr("m.txt", b"x", method=7)
    with pytest.raises(ValueError):  # a NUL would cut the name short unseen
        with arjhost.ArjFile(archive, "a") as out:
            out.writestr("ok.txt\0../../evil", b"x")
    with arjhost.ArjFile(archive) as back:
        with pytest.raises(ValueError):
            back.writestr("x", b"")
    with pytest.raises(TypeError):
        arjhost.ArjFile(b"", "w")


def test_folders_and_one_writer_at_a_time(tmp_path):
    archive = tmp_path / "f.arj"
    with arjhost.ArjFile(archive, "w") as out:
        out.writestr("dir/", b"")  # a folder, as zipfile makes one
        out.writestr("dir/x.txt", b"x")
        out.mkdir("empty", mode=0o700, mtime=1600000000)
        with pytest.raises(ValueError):
            out.writestr("full/", b"data")
        # The archive is this writer's until it is closed, whichever door asks.
        with pytest.raises(arjhost.Error, match="in use by another writer"):
            arjhost.ArjFile(archive, "a")
    with arjhost.ArjFile(archive) as back:
        kinds = {i.filename: i.is_dir() for i in back.infolist()}
        assert kinds == {"dir": True, "dir/x.txt": False, "empty": True}
        empty = back.getinfo("empty")
        assert (empty.mode & 0o777, empty.mtime) == (0o700, 1600000000)
    # 'w' over an archive: replaced at the commit, with messages naming it.
    with pytest.raises(arjhost.Error, match=f"^{archive}: nothing to write"):
        arjhost.ArjFile(archive, "w").close()
    assert sorted(os.listdir(tmp_path)) == ["f.arj"]
    (tmp_path / "out").mkdir()
    result = arj("x", str(archive), cwd=tmp_path / "out")
    assert result.returncode == 0, result.stdout
    assert (tmp_path / "out" / "dir" / "x.txt").read_bytes() == b"x"


def test_two_threads_read_two_archives(tmp_path):
    """Each thread's archive reads whole while the other decodes."""
    payloads = {}
    for k in range(2):
        payloads[k] = os.urandom(1 << 16) * 40 + bytes([k]) * (1 << 20)
        with arjhost.ArjFile(tmp_path / f"{k}.arj", "w") as out:
            out.writestr("big.bin", payloads[k], method=1)
    results, errors = {}, []
    start = threading.Barrier(2)

    def work(k: int) -> None:
        try:
            start.wait()
            with arjhost.ArjFile(tmp_path / f"{k}.arj") as one:
                for _ in range(3):
                    results[k] = one.read("big.bin")
                    assert one.testarj() is None
        except BaseException as e:  # noqa: B036 - reported below
            errors.append(e)

    threads = [threading.Thread(target=work, args=(k,)) for k in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors
    assert results == payloads
