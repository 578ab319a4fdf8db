"""What the package's tests share: the library under test (ARJHOST_LIBRARY,
set by ctest to the build tree's), the tool beside it (ARJHOST_TOOL), the
suite's test archives, and the peers."""

from __future__ import annotations

import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))  # the package in the source tree
DATA = Path(os.environ.get("ARJHOST_TEST_DATA", HERE.parents[1] / "tests" / "data"))


def in_ci() -> bool:
    return os.environ.get("CI") == "true"


def need(tool: str) -> str:
    """The path of a peer or tool, or a skip (a failure under CI=true)."""
    found = shutil.which(tool)
    if found is None:
        message = f"{tool} is not installed"
        if in_ci():
            pytest.fail(message + " (CI=true needs it)")
        pytest.skip(message)
    return found


@pytest.fixture(scope="session")
def data() -> Path:
    return DATA


@pytest.fixture(scope="session")
def tool() -> str:
    path = os.environ.get("ARJHOST_TOOL")
    if not path:
        return need("arjhost")
    return path


def run_tool(tool: str, *args: str, stdin: bytes | None = None) -> subprocess.CompletedProcess:
    return subprocess.run([tool, *args], input=stdin, capture_output=True, timeout=120, check=False)


def tool_json(tool: str, *args: str) -> dict:
    return json.loads(run_tool(tool, *args).stdout)


def arj(*args: str, cwd: str | os.PathLike) -> subprocess.CompletedProcess:
    return subprocess.run(["timeout", "60", need("arj"), *args, "-y"], cwd=cwd, stdin=subprocess.DEVNULL,
                          capture_output=True, check=False)
