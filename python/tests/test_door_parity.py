"""The tool and the library's other doors (the C API, under Python) give one
verdict and the same bytes for the same archive: the test archives, and
mutations of each (bytes flipped in headers and data, tails cut)."""

from __future__ import annotations

import json
import random
from pathlib import Path

import pytest

import arjhost
from conftest import DATA, run_tool

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
