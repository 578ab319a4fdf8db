"""A PEP 517 build backend for the arjhost package, standard library only:
the wheel holds the package's Python files (it finds libarjhost.so, which
cmake --install puts in place, at run time)."""

from __future__ import annotations

import base64
import hashlib
import io
import os
import tarfile
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
NAME, VERSION = "arjhost", "1.1.0"
DIST_INFO = f"{NAME}-{VERSION}.dist-info"
METADATA = f"""Metadata-Version: 2.1
Name: {NAME}
Version: {VERSION}
Summary: ARJ archives read and written as zipfile reads zips, on libarjhost
Requires-Python: >=3.9
"""
WHEEL = """Wheel-Version: 1.0
Generator: arjhost_wheel
Root-Is-Purelib: true
Tag: py3-none-any
"""


def _entry_points() -> str:
    """entry_points.txt from pyproject.toml's [project.entry-points."GROUP"]
    tables (read by hand: tomllib is not in every Python this supports)."""
    out, group = [], None
    for line in (ROOT / "pyproject.toml").read_text().splitlines():
        line = line.split("#", 1)[0].strip()
        if line.startswith("["):
            group = line[len('[project.entry-points."'):-2] if line.startswith('[project.entry-points."') else None
            if group:
                out.append(f"[{group}]")
        elif group and "=" in line:
            name, value = (part.strip() for part in line.split("=", 1))
            out.append(f"{name} = {value.strip(chr(34))}")
    return "\n".join(out) + "\n" if out else ""


def _package_files() -> list[Path]:
    return sorted(p for p in (ROOT / NAME).rglob("*") if p.is_file() and (p.suffix == ".py" or p.name == "py.typed")
                  and "__pycache__" not in p.parts and p.name != "_install.py")


def _record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def get_requires_for_build_wheel(config_settings=None) -> list[str]:
    return []


def get_requires_for_build_sdist(config_settings=None) -> list[str]:
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None) -> str:
    wheel_name = f"{NAME}-{VERSION}-py3-none-any.whl"
    files = [(p.relative_to(ROOT).as_posix(), p.read_bytes()) for p in _package_files()]
    files += [(f"{DIST_INFO}/METADATA", METADATA.encode()), (f"{DIST_INFO}/WHEEL", WHEEL.encode())]
    if _entry_points():
        files.append((f"{DIST_INFO}/entry_points.txt", _entry_points().encode()))
    record = [_record_line(name, data) for name, data in files] + [f"{DIST_INFO}/RECORD,,"]
    with zipfile.ZipFile(os.path.join(wheel_directory, wheel_name), "w", zipfile.ZIP_DEFLATED) as wheel:
        for name, data in files:
            wheel.writestr(name, data)
        wheel.writestr(f"{DIST_INFO}/RECORD", "\n".join(record) + "\n")
    return wheel_name


def build_sdist(sdist_directory, config_settings=None) -> str:
    base = f"{NAME}-{VERSION}"
    name = f"{base}.tar.gz"
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz") as sdist:
        for path in _package_files() + [ROOT / "pyproject.toml", Path(__file__)]:
            sdist.add(path, arcname=f"{base}/{path.relative_to(ROOT).as_posix()}")
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        info.size = len(METADATA.encode())
        sdist.addfile(info, io.BytesIO(METADATA.encode()))
    return name
