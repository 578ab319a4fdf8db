"""examples/dask_scan.py on a local cluster of two workers: the verdict of
each of about a hundred archives (sound, damaged, truncated, garbled with
the right and a wrong password) is the tool's `test --json-lines` line."""

from __future__ import annotations

import importlib.util
import os
import random
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import arjhost
from conftest import arj, in_ci, run_tool

SCAN = Path(__file__).resolve().parents[2] / "examples" / "dask_scan.py"


def need_dask() -> None:
    if importlib.util.find_spec("distributed") is None:
        if in_ci():
            pytest.fail("Dask is not installed (CI=true needs python3-distributed)")
        pytest.skip("Dask is not installed (python3-dask, python3-distributed)")


def make_collection(root: Path, data: Path) -> None:
    """About a hundred archives in folders, and files that are none."""
    rng = random.Random(22)
    for k in range(90):
        folder = root / f"set{k % 7}"
        folder.mkdir(exist_ok=True)
        path = folder / (f"a{k}.arj" if k % 3 else f"a{k}.bin")  # recognised by content, not name
        with arjhost.ArjFile(path, "w") as out:
            for n in range(1 + k % 4):
                body = bytes(rng.getrandbits(8) for _ in range(50)) * rng.randint(1, 80)
                out.writestr(f"f{n}.txt", body, method=k % 5)
        raw = bytearray(path.read_bytes())
        if k % 5 == 1:  # damaged: a byte of the last entry's data
            raw[-20] ^= 0xFF
        elif k % 5 == 3 and k % 10 == 3:  # a main header that fails its CRC
            raw[36] ^= 1
        elif k % 5 == 2:  # truncated: in an entry, or in the main header (which fails to open)
            raw = raw[: len(raw) * 2 // 3] if k % 10 != 2 else raw[:40]
        path.write_bytes(bytes(raw))
    for k, name in enumerate(["garbled.arj", "badcrc.arj", "badheader.arj", "split.arj", "split.a01", "split.a02",
                              "comment.arj", "entries20.arj", "trailing.arj", "empty.arj", "unsafe.arj"]):
        (root / f"copy{k % 2}").mkdir(exist_ok=True)
        (root / f"copy{k % 2}" / name).write_bytes((data / name).read_bytes())
    if shutil.which("arj"):  # garbled with another password than the scan's
        (root / "other").mkdir()
        (root / "other" / "a.txt").write_bytes(b"garbled with another password\n" * 40)
        arj("a", "-gother", "other.arj", "a.txt", cwd=root / "other")
        (root / "other" / "a.txt").unlink()
    (root / "readme.txt").write_text("not an archive\n")
    (root / "noise.arj").write_bytes(os.urandom(3000))
    (root / "empty").write_bytes(b"")


def test_dask_scan_gives_the_tools_verdicts(data, tool, tmp_path):
    need_dask()
    root = tmp_path / "root"
    root.mkdir()
    make_collection(root, data)
    (tmp_path / "password").write_text("secret\n")
    env = dict(os.environ, PYTHONPATH=str(Path(arjhost.__file__).parents[1]))
    scan = subprocess.run([sys.executable, str(SCAN), str(root), "--workers", "2", "--password-file",
                           str(tmp_path / "password")], capture_output=True, text=True, env=env, timeout=600)
    assert scan.returncode in (0, 1), scan.stderr
    ours = scan.stdout.splitlines()
    expected = []
    for folder, folders, files in os.walk(root):
        folders.sort()
        for name in sorted(files):
            path = os.path.join(folder, name)
            if not arjhost.is_arjfile(path):
                continue
            line = run_tool(tool, "test", path, "--json-lines", "-p", "secret").stdout.decode().strip()
            expected.append(line)
    assert len(expected) >= 90
    assert ours == expected
    assert scan.returncode == (0 if all(line.endswith('"ok":true}') for line in expected) else 1)
