"""arjhost: ARJ archives read and written as zipfile reads and writes zips.

    import arjhost
    with arjhost.ArjFile("backup.arj", password="secret") as arj:
        for info in arj.infolist():
            print(info.filename, info.file_size, hex(info.CRC))
        data = arj.read("docs/readme.txt")
        bad = arj.testarj()          # None when every entry is sound

Built on libarjhost's C API (ctypes); decoding releases the interpreter
lock, so threads reading different archives run side by side."""

import os
import zlib

from ._library import version
from ._sources import Limits
from .arjfile import ArjFile
from .streams import ArjExtFile, ArjWriteFile
from . import errors
from .errors import (ArchiveExists, ArchiveIsADirectory, ArchiveNotFound, ArchivePermissionError, BadArchive,
                     BadArjFile, BadPassword, Error, LimitExceeded)
from .info import ArchiveState, ArjInfo, EntryType, RecordRebuild, TestResult, UnreadableVolume

__all__ = ["ArjFile", "ArjExtFile", "ArjWriteFile", "ArjInfo", "ArchiveState", "EntryType", "TestResult",
           "RecordRebuild", "UnreadableVolume", "Limits", "Error", "BadArchive", "BadArjFile", "BadPassword",
           "LimitExceeded", "ArchiveNotFound", "ArchivePermissionError", "ArchiveIsADirectory", "ArchiveExists",
           "is_arjfile", "version"]


def is_arjfile(file) -> bool:
    """Whether ``file`` (a path, bytes or a binary file object, read from
    where it stands and put back there) holds an ARJ archive, as the tool
    recognises one by its content, not its name: a main header at the start
    (the header id, a basic header size arj reads, version 1 to extract),
    or, behind a self-extractor's stub, the first whole header in the first
    MiB with a matching CRC, judged by the same rule. One header is read,
    not the archive nor its set: a damaged or incomplete archive is one."""
    try:
        if isinstance(file, (str, os.PathLike)):
            with open(file, "rb") as f:
                head = f.read(_SCAN)
        elif isinstance(file, (bytes, bytearray, memoryview)):
            head = bytes(memoryview(file)[:_SCAN])
        else:
            here = file.tell() if file.seekable() else None
            head = file.read(_SCAN)
            if here is not None:
                file.seek(here)
            head = bytes(head or b"")
    except OSError:
        return False
    if _acceptable_main_header(head, 0):
        return True
    at = head.find(_HEADER_ID, 1)
    while at >= 0 and at < _STUB_LIMIT:
        size = int.from_bytes(head[at + 2:at + 4], "little")
        end = at + 4 + size
        if 0 < size <= _MAX_BASIC and end + 4 <= len(head) and \
                zlib.crc32(head[at + 4:end]) == int.from_bytes(head[end:end + 4], "little"):
            return _acceptable_main_header(head, at)
        at = head.find(_HEADER_ID, at + 1)
    return False


_HEADER_ID = b"\x60\xea"
_MAX_BASIC = 2600  # arj reads no larger basic header
_STUB_LIMIT = 1 << 20  # a self-extractor's archive starts in its first MiB
_SCAN = _STUB_LIMIT + 4 + _MAX_BASIC + 4


def _acceptable_main_header(head: bytes, at: int) -> bool:
    """The header id, a basic header size arj reads, and version 1 to extract."""
    return len(head) >= at + 34 and head[at:at + 2] == _HEADER_ID and \
        int.from_bytes(head[at + 2:at + 4], "little") <= _MAX_BASIC and head[at + 6] == 1
