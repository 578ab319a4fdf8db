"""The tool and the library's other doors (the C API, under Python, and the
mount where FUSE works) give one verdict and the same bytes for the same
archive: the test archives, and mutations of each (bytes flipped in headers
and data, tails cut); then every archive the differential test makes
(tests/differential/cases.py), its fixed cases and its seeded mutations."""

from __future__ import annotations

import contextlib
import errno
import json
import os
import random
import shutil
import subprocess
import sys
import time
from collections import defaultdict
from dataclasses import dataclass
from fnmatch import fnmatchcase
from pathlib import Path

import pytest

import arjhost
from conftest import DATA, in_ci, run_tool

ARCHIVES = sorted(p.name for p in DATA.glob("*.arj"))

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "differential"))
import cases as differential  # noqa: E402

# As many seeded mutations as the differential test makes in this build
# (ctest passes its count).
SEEDS = int(os.environ.get("ARJHOST_DIFFERENTIAL_SEEDS", differential.SEEDS))


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
def mounted(tool: str, archive: Path, where: Path, password: str | None = "secret",
            options: tuple[str, ...] = ()):
    """The archive mounted in the foreground at `where`, or None when the
    tool refused it (as it refuses what it cannot open)."""
    where.mkdir()
    given = ["-p", password] if password is not None else []
    serving = subprocess.Popen([tool, "mount", str(archive), str(where), "-f", *given, *options],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 20
        while not os.path.ismount(where) and serving.poll() is None and time.monotonic() < deadline:
            time.sleep(0.01)
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


def regular_files(folder: Path) -> dict[str, bytes]:
    """The regular files under `folder` (not links of either kind), by path."""
    return {str(p.relative_to(folder)): p.read_bytes() for p in folder.rglob("*")
            if p.is_file() and not p.is_symlink() and p.stat().st_nlink == 1}


def mount_disagreements(tool: str, archive: Path, where: Path, password: str | None,
                        extracted: dict[str, bytes], extract_code: int) -> list[str]:
    """What the mount shows differently of the archive than the tool
    extracted (`extracted`, its regular files; `extract_code`, its exit
    code): what reads whole through the mount is what the tool extracted,
    and all it extracted reads whole; an archive the mount refuses the tool
    fails too."""
    said: list[str] = []
    with mounted(tool, archive, where, password) as root:
        if root is None:
            return ["the mount refuses it, the tool extracts it"] if extract_code == 0 else []
        whole, failed = read_mounted(root)
        for name, content in whole.items():
            if extracted.get(name, content) != content:
                said.append(f"{name}: read through the mount differs from the tool's extraction")
            elif name not in extracted and (root / name).stat().st_nlink == 1:
                said.append(f"{name}: reads whole through the mount, not extracted by the tool")
        for name in extracted:
            if name not in whole:
                how = "fails" if name in failed else "missing"
                said.append(f"{name}: extracted by the tool, {how} through the mount")
    return said


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
        said = mount_disagreements(tool, archive, case / "mount", "secret", regular_files(case / "tool"),
                                   extracted.returncode)
        assert not said, f"{name}, {how}: " + "; ".join(said)


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


# ---- every archive of the differential test ---------------------------------

# Disagreements between doors not yet mended: (case name pattern, door, fault).
KNOWN: list[tuple[str, str, str]] = []


def known(name: str, door: str) -> str | None:
    return next((fault for pattern, at, fault in KNOWN if at == door and fnmatchcase(name, pattern)), None)


def password_args(case) -> list[str]:
    return ["-p", case.password] if case.password is not None else []


def json_lines(tool: str, command: str, group: list, folders: dict, *options: str) -> dict:
    """One tool process for many archives: each case's --json-lines document."""
    done = run_tool(tool, command, "--json-lines", *options, *(str(folders[c.name] / c.first) for c in group),
                    stdin=b"")
    lines = done.stdout.decode().splitlines()
    assert len(lines) == len(group), f"{command} --json-lines: {len(lines)} lines for {len(group)} archives"
    return {c.name: json.loads(line) for c, line in zip(group, lines)}


@dataclass
class ToolRun:
    """What the tool said of one case: its test and list (--json-lines
    documents) and its extraction (exit code, and the files made)."""
    case: object
    folder: Path
    tested: dict
    listed: dict
    extract_code: int
    extracted: dict[str, bytes]

    @property
    def archive(self) -> Path:
        return self.folder / self.case.first  # a volume set by its first volume

    @property
    def mount_key(self) -> tuple:
        """What a mount's tree and reads follow: the entries as listed (all
        but their CRCs and places), and the verdicts of test and extract."""
        listed = tuple((e["name"], e["size"], e["file_type"], e["host_os"], e["flags"], e["attributes"],
                        tuple(e["chapters"] or ()), e["folder"]) for e in self.listed.get("entries", []))
        tested = tuple((e["name"], e["result"]) for e in self.tested.get("entries", []))
        return listed, tested, self.extract_code, tuple(sorted(self.extracted))

    @property
    def shows(self) -> bool:
        """Whether the library opens it and puts an entry somewhere."""
        try:
            with arjhost.ArjFile(self.archive, password=self.case.password) as arj:
                return any(i.taken and i.path for i in arj.infolist())
        except arjhost.Error:
            return False


@pytest.fixture(scope="module")
def differential_runs(tool, tmp_path_factory) -> list[ToolRun]:
    """Every case written to a folder of its own, and the tool's test (a
    process for all the cases that share a password), list (one for all)
    and extraction (one each) of it."""
    root = tmp_path_factory.mktemp("differential")
    made = differential.all_cases(range(SEEDS))
    folders = {}
    for k, case in enumerate(made):
        folders[case.name] = folder = root / f"{k:05d}"
        folder.mkdir()
        for name, blob in case.files.items():
            (folder / name).write_bytes(blob)
    by_password = defaultdict(list)
    for case in made:
        by_password[case.password].append(case)
    tested = {}
    for group in by_password.values():
        tested.update(json_lines(tool, "test", group, folders, *password_args(group[0])))
    listed = json_lines(tool, "list", made, folders)
    runs = []
    for case in made:
        folder = folders[case.name]
        # Without -o, as the C API's extraction with no flags and the mount:
        # an entry whose name an earlier one holds fails.
        code = run_tool(tool, "extract", str(folder / case.first), "-C", str(folder / "tool"),
                        *password_args(case), stdin=b"").returncode
        runs.append(ToolRun(case, folder, tested[case.name], listed[case.name], code, regular_files(folder / "tool")))
    return runs


def results_by_entry(infos, results) -> dict[int, object]:
    """Each taken entry's test result, by the entry's index: the results
    come in archive order, labels and comments alone passed over."""
    waiting = defaultdict(list)
    for r in results:
        waiting[r.name].append(r)
    return {i.index: waiting[i.filename].pop(0) for i in infos if i.taken and waiting[i.filename]}


def library_disagreements(run: ToolRun) -> list[str]:
    """What the C API (through the package's thin calls: open, test all,
    extract) and Python (its streams and testarj) say differently of the
    case than the tool."""
    said: list[str] = []
    tool_ok = run.tested.get("ok", False)
    try:
        arj = arjhost.ArjFile(run.archive, password=run.case.password)
    except arjhost.Error as e:
        # What the library cannot open, no door can.
        for door, ok in [("test", tool_ok), ("list", run.listed.get("ok", False)), ("extract", run.extract_code == 0)]:
            if ok:
                said.append(f"the tool's {door} succeeds, the C API cannot open it ({e})")
        return said
    with arj:
        state = arj.state
        for field in ("damaged", "incomplete", "multi_volume", "chapter", "volumes"):
            if run.tested.get(field) != getattr(state, field):
                said.append(f"{field}: tool {run.tested.get(field)!r}, C API {getattr(state, field)!r}")
        results = arj.testall()
        tool_entries = [(e["name"], e["result"] == "ok") for e in run.tested.get("entries", [])]
        if [(r.name, r.ok) for r in results] != tool_entries:
            said.append(f"entries tested: tool {tool_entries}, C API {[(r.name, r.ok) for r in results]}")
        listed = [e["name"] for e in run.listed.get("entries", [])]
        if listed != arj.namelist():
            said.append(f"entries listed: tool {listed}, C API {arj.namelist()}")
        try:
            arj.extractall(run.folder / "ours", overwrite=False)
            extracted = True
        except arjhost.Error:
            extracted = False
        if extracted != (run.extract_code == 0):
            said.append(f"extraction: tool exit {run.extract_code}, C API {'succeeds' if extracted else 'fails'}")
        ours = regular_files(run.folder / "ours")
        if ours != run.extracted:
            said.append(f"files extracted: tool {sorted(run.extracted)}, C API {sorted(ours)} (or their bytes)")
        try:
            python_ok = arj.testarj() is None
        except arjhost.BadArchive:
            python_ok = False
        if python_ok != tool_ok:
            said.append(f"verdict: tool test {'ok' if tool_ok else 'fails'}, testarj {'ok' if python_ok else 'fails'}")
        # Each file read whole where the test passes it, and the bytes the
        # tool put at its path (the first entry read whole holds a path).
        tested = results_by_entry(arj.infolist(), results)
        whole: dict[str, bytes] = {}
        for info in arj.infolist():
            if info.type != arjhost.EntryType.FILE or info.index not in tested:
                continue
            try:
                content, read = arj.read(info), True
            except arjhost.Error:
                content, read = b"", False
            if read != tested[info.index].ok:
                said.append(f"{info.filename}: test {'passes' if tested[info.index].ok else 'fails'} it, "
                            f"read {'delivers it whole' if read else 'fails'}")
            if read and info.path:
                whole.setdefault(info.path, content)
        for path, content in whole.items():
            if run.extracted.get(path, content) != content:
                said.append(f"{path}: read differs from the tool's extraction")
            elif path not in run.extracted and run.extract_code == 0:
                said.append(f"{path}: read whole, not extracted by the tool")
    return said


def assert_doors_agree(door: str, found: dict[str, list[str]]) -> None:
    """Fails on each disagreement not known; says the known ones."""
    lines = [f"{name}: {line}" for name, said in found.items() for line in said if known(name, door) is None]
    for name in found:
        if known(name, door) is not None:
            print(f"known ({door}): {name}: {known(name, door)}")
    assert not lines, f"{door} disagrees with the tool:\n" + "\n".join(lines)


def test_the_library_agrees_on_the_differential_archives(differential_runs):
    found = {run.case.name: said for run in differential_runs if (said := library_disagreements(run))}
    assert_doors_agree("library", found)


def test_the_mount_agrees_on_the_differential_archives(differential_runs, tool):
    why = mount_unavailable(tool)
    if why is not None:
        if in_ci():
            pytest.fail(why + " (CI=true needs the mount tested)")
        pytest.skip(why)
    # A mount costs a process and a file system: it is made where it adds
    # a check, where the archive opens, shows an entry, and its entries and
    # their verdicts are not those of an archive mounted before it.
    found, seen = {}, set()
    for run in differential_runs:
        if run.mount_key in seen or not run.shows:
            continue
        seen.add(run.mount_key)
        said = mount_disagreements(tool, run.archive, run.folder / "mount", run.case.password, run.extracted,
                                   run.extract_code)
        if said:
            found[run.case.name] = said
    assert_doors_agree("mount", found)


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
    with mounted(tool, two, tmp_path / "mount", options=("--recover",)) as root:
        assert root is not None
        whole, failed = read_mounted(root)
        assert whole == files_under(tmp_path / "tool") and not failed
