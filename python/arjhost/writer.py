"""Writing an archive: the changes are gathered by the C API's writer and
written all at once when the ArjFile is closed."""

from __future__ import annotations

import ctypes
import os
import time
from typing import Optional

from ._library import lib
from ._sources import Options, c_string
from .errors import NOT_FOUND, REFUSED, ArchiveExists, error_for


class ArchiveWriter:
    """Changes to the archive at ``path``, written when committed. ``fresh``:
    the archive made anew whatever is there (mode 'w'), replacing that file
    only if it is still as it was; otherwise entries are added to it (mode
    'a'). The archive's writer lock is held from here to the end: another
    writer meanwhile, here or in the tool, fails "in use"."""

    def __init__(self, path: str, fresh: bool, options: Options, volume_size: Optional[int] = None) -> None:
        self.path = path
        if volume_size is not None and fresh and os.path.lexists(path):
            # A set is named after its first volume: rewriting one anew would
            # leave the old set's later volumes to remove.
            raise ArchiveExists(f"{path}: exists; a volume set is written anew only where none is "
                                "(open the archive with mode 'a' to rewrite it as a set)", REFUSED)
        self._options = options
        opener = lib.arjhost_write_open_new if fresh else lib.arjhost_write_open
        self._writer = opener(c_string(path), ctypes.byref(options.struct))
        if not self._writer:
            raise MemoryError("arjhost: out of memory starting the writer")
        code = lib.arjhost_writer_error_code(self._writer)
        if code < 0:
            error = error_for(code, lib.arjhost_writer_error_string(self._writer).decode("utf-8", "replace"), path,
                              writing=True)
            lib.arjhost_write_close(self._writer)
            self._writer = None
            raise error
        if volume_size is not None:
            if not isinstance(volume_size, int) or volume_size <= 0:
                raise ValueError("volume_size is a number of bytes")
            self._check(lib.arjhost_write_volume_size(self._writer, volume_size))
        self.added = 0
        self.comment: Optional[bytes] = None  # the comment set, as ArjFile.comment gives it back

    def _check(self, code: int) -> int:
        if code < 0:
            raise error_for(code, lib.arjhost_writer_error_string(self._writer).decode("utf-8", "replace"))
        return code

    @staticmethod
    def _method(method: int) -> int:
        if not isinstance(method, int) or not 0 <= method <= 4:
            raise ValueError("the method is 0 (stored) to 4")
        return method

    def add_file(self, filename: str, arcname: Optional[str], method: int) -> None:
        self._check(lib.arjhost_write_add_file(self._writer, c_string(filename),
                                               c_string(arcname) if arcname is not None else None,
                                               self._method(method)))
        self.added += 1

    def add_bytes(self, arcname: str, data: bytes, method: int, mode: int, mtime: Optional[int]) -> None:
        stamp = int(time.time()) if mtime is None else int(mtime)
        self._check(lib.arjhost_write_add_memory(self._writer, c_string(arcname), data, len(data),
                                                 self._method(method), mode & 0o7777, stamp))
        self.added += 1

    def add_folder(self, arcname: str, mode: int, mtime: Optional[int]) -> None:
        stamp = int(time.time()) if mtime is None else int(mtime)
        self._check(lib.arjhost_write_add_folder(self._writer, c_string(arcname), mode & 0o7777, stamp))
        self.added += 1

    def delete(self, name: str) -> None:
        code = lib.arjhost_write_delete(self._writer, c_string(name))
        if code == NOT_FOUND:
            raise KeyError(f"there is no entry named {name!r} in the archive")
        self._check(code)

    def set_comment(self, comment: Optional[str]) -> None:
        self._check(lib.arjhost_write_set_comment(self._writer, c_string(comment) if comment is not None else None))
        self.comment = comment.encode("utf-8") if comment is not None else None

    def set_entry_comment(self, name: str, comment: str) -> None:
        code = lib.arjhost_write_set_entry_comment(self._writer, c_string(name), c_string(comment))
        if code == NOT_FOUND:
            raise KeyError(f"there is no entry named {name!r} in the archive")
        self._check(code)

    def set_password(self, password: Optional[str]) -> None:
        self._check(lib.arjhost_write_set_password(self._writer, c_string(password) if password else None))

    def finish(self, commit: bool) -> None:
        """Writes the changes (when ``commit``) and frees the writer."""
        try:
            if commit:
                self._check(lib.arjhost_write_commit(self._writer))
        finally:
            lib.arjhost_write_close(self._writer)
            self._writer = None
