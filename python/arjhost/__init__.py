"""arjhost: ARJ archives read and written as zipfile reads and writes zips.

    import arjhost
    with arjhost.ArjFile("backup.arj", password="secret") as arj:
        for info in arj.infolist():
            print(info.filename, info.file_size, hex(info.CRC))
        data = arj.read("docs/readme.txt")
        bad = arj.testarj()          # None when every entry is sound

Built on libarjhost's C API (ctypes); decoding releases the interpreter
lock, so threads reading different archives run side by side."""

from ._library import version
from ._sources import Limits
from .arjfile import ArjExtFile, ArjFile
from . import errors
from .errors import BadArchive, BadPassword, Error, LimitExceeded
from .info import ArchiveState, ArjInfo, EntryType, TestResult, UnreadableVolume

__all__ = ["ArjFile", "ArjExtFile", "ArjInfo", "ArchiveState", "EntryType", "TestResult", "UnreadableVolume",
           "Limits", "Error", "BadArchive", "BadPassword", "LimitExceeded", "is_arjfile", "version"]


def is_arjfile(file) -> bool:
    """Whether ``file`` (a path, bytes or a binary file object) holds an ARJ
    archive, recognised by its content, not its name: one that opens, or
    fails as a damaged, incomplete or refused one does (not as no archive,
    nor as a file that cannot be read)."""
    try:
        with ArjFile(file):
            return True
    except Error as e:
        return e.code not in (errors.NOT_ARCHIVE, errors.IO, errors.NOT_FOUND)
    except OSError:
        return False
