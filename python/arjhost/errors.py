"""The package's exceptions, and the one map from the C API's codes to them.

Every one is an OSError, as a failed read or write is to Python code (and
to fsspec, pandas and Dask, which catch OSError); those about the archive
file itself are also the OSError subclass `open` would raise for it."""

from __future__ import annotations

import errno as _errno
import os
from typing import Optional

__all__ = ["Error", "BadArchive", "BadArjFile", "BadPassword", "LimitExceeded", "ArchiveNotFound",
           "ArchivePermissionError", "ArchiveIsADirectory", "ArchiveExists", "error_for"]


class Error(OSError):
    """Anything the library refused or could not do; ``code`` is the C API's
    error code (negative), ``message`` names the archive, the entry and the
    cause."""

    def __init__(self, message: str, code: int = -15) -> None:
        super().__init__(message)
        self.code = code
        self.message = message

    def __str__(self) -> str:
        return self.message


class BadArchive(Error):
    """Not an ARJ archive, or a damaged or incomplete one, or an entry this
    reader does not know (a method, version or file type); zipfile's
    BadZipFile."""


BadArjFile = BadArchive  # the name zipfile users look for


class BadPassword(Error):
    """A garbled entry without a password, or with one that does not decode it."""


class LimitExceeded(Error):
    """One of the limits (``max_*``) refused the work."""


class ArchiveNotFound(Error, FileNotFoundError):
    """The archive (or a folder on its path) is not there."""


class ArchivePermissionError(Error, PermissionError):
    """The archive may not be read (or written)."""


class ArchiveIsADirectory(Error, IsADirectoryError):
    """The path names a folder, not an archive."""


class ArchiveExists(Error, FileExistsError):
    """Mode 'x' (or a new volume set) where a file already is."""


# The C API's codes (arjhost.h), which keep their numbers.
NOT_ARCHIVE, DAMAGED, WRONG_PASSWORD, PASSWORD_NEEDED, UNSUPPORTED, MISSING_VOLUME, LIMIT = range(-1, -8, -1)
IO, NOT_FOUND, REFUSED, CANCELLED, ARGUMENT, NO_MEMORY, CHANGED, INTERNAL, IN_USE = range(-8, -17, -1)
PLUGIN = -64

_CLASSES = {
    NOT_ARCHIVE: BadArchive,
    DAMAGED: BadArchive,
    UNSUPPORTED: BadArchive,
    MISSING_VOLUME: BadArchive,
    WRONG_PASSWORD: BadPassword,
    PASSWORD_NEEDED: BadPassword,
    LIMIT: LimitExceeded,
}


def _file_error(path: str, writing: bool) -> Optional[tuple[type, int]]:
    """The OSError subclass that opening ``path`` meets, judged from the
    file system once the library has failed (its codes do not carry errno)."""
    target = path if not writing or os.path.lexists(path) else (os.path.dirname(path) or ".")
    if not os.path.exists(target):
        return ArchiveNotFound, _errno.ENOENT
    if os.path.isdir(path):
        return ArchiveIsADirectory, _errno.EISDIR
    if not os.access(target, os.W_OK if writing else os.R_OK):
        return ArchivePermissionError, _errno.EACCES
    return None


def error_for(code: int, message: str, path: Optional[str] = None, writing: bool = False) -> Error:
    """The exception for the C API's error ``code``; ``path``: the archive
    file the failed open named, whose kind of failure picks the OSError
    subclass."""
    cls, number = _CLASSES.get(code, Error), None
    if path is not None and code in (IO, NOT_FOUND, ARGUMENT, NOT_ARCHIVE):
        found = _file_error(path, writing)
        if found is not None:
            cls, number = found
    error = cls(message or f"error {code}", code)
    if number is not None:
        error.errno, error.strerror, error.filename = number, os.strerror(number), path
    return error
