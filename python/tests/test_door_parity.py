"""The tool and the library's other doors (the C API, under Python, and the
mount where FUSE works) give one verdict and the same bytes for the same
archive: the test archives, and mutations of each (bytes flipped in headers
and data, tails cut)."""

from __future__ import annotations

import contextlib
import errno
import json
import os
import random
import shutil
import subprocess
import time
from pathlib import Path

import pytest

import arjhost
from conftest import DATA, in_ci, run_tool

ARCHIVES = sorted(p.name for p in DATA.glob("*.arj"))


def mutations(raw: bytes, seed: int) -> list[tuple[str, bytes]]:
    """The archive as it is, and spoilt a few seeded ways."""
    rng = random.Random(seed)
    made = [("as is", raw)]
    for k in range(10):
        spoilt = bytearray(raw)
        at = rng.randrange(len(raw))
        spoilt[at] ^= 1 << rng.randrange(8)
        made.append((f"bit at {at}", bytes(spoilt)))
    cut = rng.randrange(1, len(raw))
    made.append((f"cut at {cut}", raw[:cut]))
    return made


def files_under(folder: Path) -> dict[str, bytes]:
    return {str(p.relative_to(folder)): p.read_bytes() for p in folder.rglob("*") if p.is_file()}


def mount_unavailable(tool: str) -> str | None:
    """Why the mount cannot be tested here, or None."""
    try:
        os.close(os.open("/dev/fuse", os.O_RDWR))
    except OSError as e:
        return f"/dev/fuse cannot be opened ({e.strerror})"
    if shutil.which("fusermount3") is None:
        return "fusermount3 is not installed"
    if "mount" not in run_tool(tool, "help").stdout.decode(errors="replace"):
        return "the tool was built without libfuse 3"
    return None


@contextlib.contextmanager
def mounted(tool: str, archive: Path, where: Path, *options: str):
    """The archive mounted in the foreground at `where`, or None when the
    tool refused it (as it refuses what it cannot open)."""
    where.mkdir()
    serving = subprocess.Popen([tool, "mount", str(archive), str(where), "-f", "-p", "secret", *options],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 20
        while not os.path.ismount(where) and serving.poll() is None and time.monotonic() < deadline:
            time.sleep(0.02)
        yield where if os.path.ismount(where) else None
    finally:
        subprocess.run(["fusermount3", "-u", "-z", str(where)], capture_output=True, check=False)
        try:
            serving.wait(timeout=20)
        except subprocess.TimeoutExpired:
            serving.kill()
            serving.wait()


def read_mounted(root: Path) -> tuple[dict[str, bytes], set[str]]:
    """The files the mount shows: those read whole, and those whose reading
    failed with an I/O error (the mount's verdict on a damaged entry)."""
    whole, failed = {}, set()
    for p in root.rglob("*"):
        if not p.is_file() or p.is_symlink():
            continue
        name = str(p.relative_to(root))
        try:
            whole[name] = p.read_bytes()
        except OSError as e:
            assert e.errno == errno.EIO, f"{name}: {e}"
            failed.add(name)
    return whole, failed


def assert_mount_agrees(tool: str, archive: Path, case: Path, extract_failed: bool, said: str) -> None:
    """What the tool extracted whole reads whole through the mount; what
    the mount reads whole is what the tool extracted; nothing else reads;
    an archive the mount refuses the tool fails too."""
    extracted = {name: content for name, content in files_under(case / "tool").items()
                 if not (case / "tool" / name).is_symlink()}
    with mounted(tool, archive, case / "mount") as root:
        if root is None:
            assert extract_failed, f"{said}: mounting it failed"
            return
        whole, _ = read_mounted(root)
        for name, content in whole.items():
            assert extracted.get(name) == content, f"{said}: {name} read through the mount"
        for name in extracted:
            assert name in whole, f"{said}: {name}, extracted, does not read through the mount"


@pytest.mark.parametrize("name", ARCHIVES)
def test_the_tool_and_the_library_agree(name, tool, tmp_path):
    for k, (how, raw) in enumerate(mutations((DATA / name).read_bytes(), seed=len(name))):
        case = tmp_path / str(k)
        case.mkdir()
        archive = case / name
        archive.write_bytes(raw)
        said = f"{name}, {how}"
        tested = run_tool(tool, "test", "--json", str(archive), "-p", "secret")
        try:
            arj = arjhost.ArjFile(archive, password="secret")  # garbled.arj's
        except arjhost.Error:
            # What the library cannot open, the tool cannot either.
            assert tested.returncode != 0, said
            continue
        with arj:
            report = json.loads(tested.stdout)
            ours = {r.name: r.ok for r in arj.testall()}
            theirs = {e["name"]: e["result"] == "ok" for e in report["entries"]}
            assert ours == theirs, said
            assert arj.state.damaged == report["damaged"], said
            # The archive's verdict: a sound archive tests clean in both.
            sound = arj.testarj() is None if not arj.problems() else False
            assert sound == (tested.returncode == 0), said
            # The same bytes, and the same failure, when extracted.
            extracted = run_tool(tool, "extract", str(archive), "-C", str(case / "tool"), "-p", "secret")
            if extracted.returncode == 0:
                arj.extractall(case / "ours")
            else:
                with pytest.raises(arjhost.Error):
                    arj.extractall(case / "ours")
            assert files_under(case / "ours") == files_under(case / "tool"), said


@pytest.mark.parametrize("name", ARCHIVES)
def test_the_mount_shows_what_the_tool_extracts(name, tool, tmp_path):
    why = mount_unavailable(tool)
    if why is not None:
        if in_ci():
            pytest.fail(why + " (CI=true needs the mount tested)")
        pytest.skip(why)
    # The archive as it is and three of its mutations: a mount costs more.
    for k, (how, raw) in enumerate(mutations((DATA / name).read_bytes(), seed=len(name))[:4]):
        case = tmp_path / str(k)
        case.mkdir()
        archive = case / name
        archive.write_bytes(raw)
        extracted = run_tool(tool, "extract", str(archive), "-C", str(case / "tool"), "-p", "secret")
        assert_mount_agrees(tool, archive, case, extracted.returncode != 0, f"{name}, {how}")


def test_a_set_recovered_from_one_volume_is_not_whole_at_any_door(tool, tmp_path):
    # Recovery of the named volume alone (single volume): the tool exits 1,
    # and the library says it among the archive's problems, so testarj
    # raises. Without it the whole set is recovered, from any volume.
    assert run_tool(tool, "test", "--recover", "--single-volume", str(DATA / "split.arj")).returncode == 1
    with arjhost.ArjFile(DATA / "split.arj", recover=True, single_volume=True) as arj:
        assert any("recovered alone" in p for p in arj.problems())
        with pytest.raises(arjhost.BadArchive):
            arj.testarj()
    assert run_tool(tool, "test", "--recover", str(DATA / "split.a02")).returncode == 0
    with arjhost.ArjFile(DATA / "split.a02", recover=True) as arj:
        assert arj.problems() == []
        assert arj.testarj() is None
        assert len(arj.state.volumes) == 3


def test_every_door_reads_a_protected_archive_as_its_record_rebuilds_it(tool, tmp_path):
    # protected.arj (arj a -hk) damaged in blocks 0 and 6: opened with
    # recover, every door reads it as its ARJ-PROTECT record rebuilds it
    # and says which blocks; without, the damage is seen; in a third block
    # it is beyond the record, which each door says with its cause.
    raw = (DATA / "protected.arj").read_bytes()

    def damaged(name: str, *at: int) -> Path:
        spoilt = bytearray(raw)
        for k in at:
            spoilt[k] ^= 0x55
        (tmp_path / name).write_bytes(spoilt)
        return tmp_path / name

    two, three = damaged("two.arj", 200, 7000), damaged("three.arj", 200, 7000, 15000)
    extracted = run_tool(tool, "extract", "--recover", str(two), "-C", str(tmp_path / "tool"))
    assert extracted.returncode == 0
    assert b"two.arj: damaged blocks 0, 6 rebuilt from its ARJ-PROTECT record" in extracted.stderr
    with arjhost.ArjFile(two, recover=True) as arj:
        assert arj.state.record_rebuilds == [arjhost.RecordRebuild("two.arj", [0, 6], None)]
        assert arj.state.record_rebuilds[0].rebuilt and not arj.state.damaged
        assert arj.testarj() is None
        arj.extractall(tmp_path / "ours")
    assert files_under(tmp_path / "ours") == files_under(tmp_path / "tool")
    assert len(files_under(tmp_path / "ours")) == 6

    assert run_tool(tool, "test", str(two)).returncode == 1
    with arjhost.ArjFile(two) as arj:
        assert arj.state.record_rebuilds == []
        assert not all(r.ok for r in arj.testall())

    tested = run_tool(tool, "test", "--recover", str(three))
    assert b"damaged blocks 0, 6, 14: 3 blocks are damaged" in tested.stderr
    with arjhost.ArjFile(three, recover=True) as arj:
        [beyond] = arj.state.record_rebuilds
        assert beyond.blocks == [0, 6, 14] and not beyond.rebuilt
        assert "3 blocks are damaged and the record rebuilds two" in beyond.cause

    # The mount opens the archive as the library does: rebuilt.
    why = mount_unavailable(tool)
    if why is not None:
        if in_ci():
            pytest.fail(why + " (CI=true needs the mount tested)")
        return
    with mounted(tool, two, tmp_path / "mount", "--recover") as root:
        assert root is not None
        whole, failed = read_mounted(root)
        assert whole == files_under(tmp_path / "tool") and not failed
