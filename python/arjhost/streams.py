"""The streams of ArjFile.open: an entry read (seekable, decoded as it is
read), and an entry written (kept until the stream closes, then added)."""

from __future__ import annotations

import ctypes
import io
import tempfile
from typing import Any, Optional

from ._library import lib

_CHUNK = 1 << 16
# An entry written through open(name, 'w') is kept in memory up to this,
# then in an unnamed temporary file.
_SPOOL_MEMORY = 8 << 20


class ArjExtFile(io.RawIOBase):
    """The bytes of one entry, decoded as they are read (ArjFile.open).

    Seekable: a seek only moves the position; the next read decodes up to
    it, from where the decoder stands when that is not past it, else from
    the entry's start. The bytes are those of a whole decode, so the read
    that reaches the end raises BadArchive when the entry does not match
    its CRC-32 or size, wherever the reads began. Several streams of one
    archive may be open at once: each has a handle of its own when the
    archive can be opened again (a path, bytes), else they share the
    archive's and each decodes again up to where it stands when it takes
    the handle back."""

    def __init__(self, archive: Any, info: Any, password: Optional[bytes], handle: Optional[int]) -> None:
        super().__init__()
        self._archive = archive
        self.info = info
        self.name = info.filename
        self.size = info.file_size
        self._password = password
        self._own = handle            # a handle of this stream's own, or None: the archive's
        self._position = 0            # where the next read starts
        self._decoded: Optional[int] = None  # bytes the handle has given this stream; None: not on it
        self._end: Optional[int] = None      # the entry's length once a decode reached its end soundly

    def readable(self) -> bool:
        return True

    def seekable(self) -> bool:
        return True

    def tell(self) -> int:
        self._open()
        return self._position

    def seek(self, offset: int, whence: int = io.SEEK_SET) -> int:
        self._open()
        if whence == io.SEEK_SET:
            position = offset
        elif whence == io.SEEK_CUR:
            position = self._position + offset
        elif whence == io.SEEK_END:
            position = self.size + offset
        else:
            raise ValueError(f"invalid whence ({whence}; 0, 1 or 2 are taken)")
        if position < 0:
            raise ValueError(f"negative seek position {position}")
        self._position = position
        return position

    def _open(self) -> None:
        if self.closed:
            raise ValueError("I/O operation on a closed entry stream")
        if self._archive._archive is None:
            raise ValueError(f"{self.name}: the archive was closed")

    def _displace(self) -> None:
        """The shared handle went to other work: the next read starts over."""
        self._decoded = None

    def _handle(self) -> int:
        return self._own if self._own is not None else self._archive._archive

    def _start(self) -> None:
        """Puts the handle at the start of the entry's data, for this stream."""
        archive = self._archive
        if self._own is None:
            archive._go_to(self.info, self._password)
            archive._reading = self
        else:
            entry = ctypes.c_void_p()
            code = lib.arjhost_seek_entry(self._own, self.info.index, ctypes.byref(entry))
            if code < 0:
                raise archive._failure(code, self._own)
        self._decoded = 0

    def _pull(self, target: Any, size: int) -> int:
        """One read of the C API into ``target``: the count, 0 at the sound end."""
        n = lib.arjhost_read_data(self._handle(), target, size)
        if n < 0:
            self._decoded = None
            raise self._archive._failure(n, self._handle())
        if n == 0:
            self._end = self._decoded
        else:
            self._decoded += n
        return n

    def readinto(self, buffer: Any) -> int:
        self._open()
        view = memoryview(buffer).cast("B")
        if view.readonly:
            raise TypeError("readinto needs a writable buffer")
        if len(view) == 0:
            return 0
        with self._archive._lock:
            self._open()
            if self._end is not None and self._position >= self._end:
                return 0
            shared_lost = self._own is None and self._archive._reading is not self
            if self._decoded is None or shared_lost or self._decoded > self._position:
                self._start()
            if self._decoded < self._position:
                scratch = ctypes.create_string_buffer(_CHUNK)
                while self._decoded < self._position:
                    if self._pull(scratch, min(_CHUNK, self._position - self._decoded)) == 0:
                        return 0  # past the end
            n = self._pull((ctypes.c_char * len(view)).from_buffer(view), len(view))
            self._position += n
            return n

    def readall(self) -> bytes:
        chunks = []
        while True:
            chunk = self.read(_CHUNK * 4)
            if not chunk:
                return b"".join(chunks)
            chunks.append(chunk)

    def close(self) -> None:
        if not self.closed:
            with self._archive._lock:
                if self._own is not None:
                    lib.arjhost_close(self._own)
                    self._own = None
                if self._archive._reading is self:
                    self._archive._reading = None
        super().close()

    def __del__(self) -> None:
        own = getattr(self, "_own", None)
        if own is not None:
            lib.arjhost_close(own)
            self._own = None


class ArjWriteFile(io.RawIOBase):
    """An entry written through ArjFile.open(name, 'w'): its bytes are kept
    (in memory, then in an unnamed temporary file) and added as the entry
    when the stream closes, to be written with the archive at its commit."""

    def __init__(self, archive: Any, name: str, method: int) -> None:
        super().__init__()
        self._archive = archive
        self.name = name
        self._method = method
        self._kept = tempfile.SpooledTemporaryFile(max_size=_SPOOL_MEMORY)  # noqa: SIM115 - closed in close()
        self._failed = False

    def writable(self) -> bool:
        return True

    def write(self, data: Any) -> int:
        if self.closed:
            raise ValueError("write to a closed entry stream")
        view = memoryview(data).cast("B")
        self._kept.write(view)
        return len(view)

    def close(self) -> None:
        if self.closed:
            return
        try:
            self._kept.seek(0)
            self._archive.writestr(self.name, self._kept.read(), method=self._method)
        finally:
            self._kept.close()
            super().close()

    def __exit__(self, kind: Any, value: Any, traceback: Any) -> None:
        if kind is not None:  # the entry is left out, as the archive's block leaves out all it wrote
            self._kept.close()
            io.RawIOBase.close(self)
            return
        self.close()
