"""What an archive is opened from (a path, bytes in memory, a file object)
and with what options. Every object the library points into is kept here
until the handle is closed; every callback turns a misbehaving file object
or password callback into a clean failure, never a crash."""

from __future__ import annotations

import ctypes
import io
import os
from dataclasses import dataclass, fields
from typing import Any, Callable, Optional, Union

from . import _library as C
from ._library import lib
from .errors import IO, NOT_FOUND

PasswordCallback = Callable[[str, int], Optional[Union[str, bytes]]]
Password = Union[str, bytes, PasswordCallback, None]


@dataclass
class Limits:
    """Bounds on what a hostile archive may cost, as the tool's ``--max-*``
    options (README, Limits); None keeps the default, 0 turns one off."""

    max_entries: Optional[int] = None
    max_volumes: Optional[int] = None
    max_memory: Optional[int] = None
    max_extract_memory: Optional[int] = None
    max_size: Optional[int] = None
    max_ratio: Optional[int] = None
    max_total: Optional[int] = None
    max_stream_memory: Optional[int] = None
    max_stream_size: Optional[int] = None


def c_string(text: Union[str, bytes, "os.PathLike[str]"]) -> bytes:
    """A name or path as the C API takes it: a NUL would cut it short
    unseen, so it is refused, as open() refuses it."""
    data = os.fsencode(text)
    if b"\0" in data:
        raise ValueError(f"embedded NUL character in {data!r}")
    return data


class Options:
    """arjhost_options and the Python objects it points to."""

    def __init__(self, password: Password, limits: Optional[Limits], codepage: int, single_volume: bool,
                 recover: bool, name: Optional[str], open_volume: Optional["VolumeOpener"] = None) -> None:
        self.struct = C.Options()
        lib.arjhost_options_init_sized(ctypes.byref(self.struct), ctypes.sizeof(self.struct))
        for f in fields(Limits):
            value = getattr(limits, f.name) if limits is not None else None
            if value is not None:
                if not isinstance(value, int) or value < 0:
                    raise ValueError(f"{f.name} must be a whole number of 0 or more")
                setattr(self.struct, f.name, value)
        self.struct.codepage = codepage
        self.struct.single_volume = int(single_volume)
        self.struct.recover = int(recover)
        self._name = c_string(name) if name is not None else None
        self.struct.name = self._name
        self.failure: Optional[BaseException] = None  # what a callback raised
        self._password_bytes: Optional[bytes] = None
        self._callback: Any = None
        self.set_password(password)
        self.volumes_kept: list = []  # what the volumes opened by open_volume are read from
        self._volume_callback: Any = None
        if open_volume is not None:
            self._volume_callback = volume_callback(open_volume, self.volumes_kept, self._record)
            self.struct.open_volume = self._volume_callback

    def _record(self, e: BaseException) -> int:
        self.failure = self.failure or e
        return -1

    def set_password(self, password: Password) -> None:
        if callable(password):
            self._password_bytes = None
            self._callback = C.PASSWORD(self._asked(password))
            self.struct.password_callback = self._callback
        elif password is not None:
            self._password_bytes = password.encode("utf-8") if isinstance(password, str) else bytes(password)
            if b"\0" in self._password_bytes:
                raise ValueError("a password cannot hold a NUL character")
        self.struct.password = self._password_bytes

    def _asked(self, ask: PasswordCallback) -> Callable[..., int]:
        def answer(_user: Any, name: bytes, attempt: int, buffer: int, size: int) -> int:
            try:
                given = ask(C.text(name), attempt)
                if given is None:
                    return -1
                data = given.encode("utf-8") if isinstance(given, str) else bytes(given)
                if b"\0" in data or len(data) + 1 > size:
                    raise ValueError("the password callback gave a password with a NUL or too long")
                ctypes.memmove(buffer, data + b"\0", len(data) + 1)
                return C.OK
            except BaseException as e:  # noqa: B036 - raised again once the call returns
                self.failure = self.failure or e
                return -1
        return answer


class Source:
    """Opens the archive; keeps alive what the handle reads from."""

    def __init__(self, file: Any) -> None:
        self.file = file
        self.kept: Any = None
        self.callbacks: Optional[C.Callbacks] = None
        self.failure: Optional[BaseException] = None
        self.label: Optional[str] = None

    def open(self, options: Options) -> int:
        file = self.file
        if isinstance(file, (str, os.PathLike)):
            return lib.arjhost_open_path(c_string(file), ctypes.byref(options.struct))
        if isinstance(file, (bytes, bytearray, memoryview)):
            return self._open_memory(file, options)
        if hasattr(file, "read"):
            return self._open_stream(file, options)
        raise TypeError("ArjFile takes a path, bytes, a memoryview or a binary file object, not "
                        + type(file).__name__)

    def _open_memory(self, data: Union[bytes, bytearray, memoryview], options: Options) -> int:
        view = memoryview(data)
        if not view.c_contiguous or view.itemsize != 1 or view.format not in ("B", "b", "c"):
            view = memoryview(view.tobytes())
        if isinstance(view.obj, bytes) and view.nbytes == len(view.obj):
            self.kept = view.obj  # read where it lies
            pointer = ctypes.cast(ctypes.c_char_p(self.kept), ctypes.c_void_p)
        elif not view.readonly:
            self.kept = (ctypes.c_char * view.nbytes).from_buffer(view)
            pointer = ctypes.cast(self.kept, ctypes.c_void_p)
        else:
            self.kept = view.tobytes()
            pointer = ctypes.cast(ctypes.c_char_p(self.kept), ctypes.c_void_p)
        return lib.arjhost_open_memory(pointer, view.nbytes, ctypes.byref(options.struct))

    def _fail(self, e: BaseException) -> int:
        self.failure = self.failure or e
        return -1

    def _open_stream(self, file: Any, options: Options) -> int:
        self.callbacks, self.kept, seekable = stream_callbacks(file, self._fail)
        if seekable:
            file.seek(0)
        return lib.arjhost_open_callbacks(ctypes.byref(self.callbacks), ctypes.byref(options.struct))

    def reopen(self, options: Options) -> Optional[int]:
        """Another handle on the same archive, for a second reader at once,
        or None when the source cannot be shared (a file object has one
        position)."""
        if isinstance(self.file, (str, os.PathLike)):
            return lib.arjhost_open_path(c_string(self.file), ctypes.byref(options.struct))
        if isinstance(self.file, (bytes, bytearray, memoryview)) and self.kept is not None:
            pointer = ctypes.cast(ctypes.c_char_p(self.kept), ctypes.c_void_p) if isinstance(self.kept, bytes) \
                else ctypes.cast(self.kept, ctypes.c_void_p)
            return lib.arjhost_open_memory(pointer, len(self.kept) if isinstance(self.kept, bytes)
                                           else ctypes.sizeof(self.kept), ctypes.byref(options.struct))
        return None


def stream_callbacks(file: Any, fail: Callable[[BaseException], int], close: bool = False) -> tuple:
    """arjhost_callbacks reading the binary file object ``file``: the
    structure, the ctypes functions it points to (to be kept alive with
    it) and whether the file seeks. What a call raises goes to ``fail``,
    and the library sees a failed read. ``close``: the file is closed when
    the library is done with it."""
    seekable = False
    try:
        seekable = bool(file.seekable())
    except (AttributeError, OSError, ValueError):
        seekable = False
    readinto = getattr(file, "readinto", None)

    def read(_user: Any, buffer: int, size: int) -> int:
        try:
            if readinto is not None:
                n = readinto(memoryview((ctypes.c_char * size).from_address(buffer)).cast("B"))
                if n is None:
                    raise OSError("the file object has no bytes to give now (non-blocking)")
                if not isinstance(n, int) or n < 0 or n > size:
                    raise ValueError(f"the file object's readinto returned {n!r} for a buffer of {size} bytes")
                return n
            data = file.read(size)
            if data is None:
                raise OSError("the file object has no bytes to give now (non-blocking)")
            if not isinstance(data, (bytes, bytearray, memoryview)):
                raise TypeError(f"the file object's read returned {type(data).__name__}, not bytes")
            data = bytes(data)
            if len(data) > size:
                raise ValueError(f"the file object's read returned {len(data)} bytes when {size} were asked")
            ctypes.memmove(buffer, data, len(data))
            return len(data)
        except BaseException as e:  # noqa: B036 - raised again once the call returns
            return fail(e)

    def seek(_user: Any, offset: int, whence: int) -> int:
        try:
            position = file.seek(offset, whence)
            if not isinstance(position, int) or position < 0:
                raise ValueError(f"the file object's seek returned {position!r}")
            return position
        except BaseException as e:  # noqa: B036
            return fail(e)

    def size(_user: Any) -> int:
        try:
            here = file.tell()
            end = file.seek(0, io.SEEK_END)
            file.seek(here, io.SEEK_SET)
            return end if isinstance(end, int) and end >= 0 else -1
        except BaseException as e:  # noqa: B036
            return fail(e)

    def closed(_user: Any) -> None:
        try:
            file.close()
        except Exception:  # noqa: BLE001 - nothing is lost: the volume was only read
            pass

    kept = (C.READ(read), C.SEEK(seek) if seekable else C.SEEK(), C.SIZE(size) if seekable else C.SIZE(),
            C.CLOSE(closed) if close else C.CLOSE())
    return C.Callbacks(kept[0], kept[1], kept[2], kept[3], None), kept, seekable


VolumeOpener = Callable[[str], Any]


def volume_callback(opener: VolumeOpener, kept: list, fail: Callable[[BaseException], int]) -> Any:
    """The C API's open_volume over ``opener(name)``, which returns the
    volume as bytes, a path or a binary file object (closed when the
    library is done with it), or None (or raises FileNotFoundError) when
    there is none of that name. A volume that is there but fails to open
    (another OSError) ends the set as an unreadable one, as a path's
    would; anything else the opener raises fails the call."""
    def opened(_user: Any, name: bytes, volume: int) -> int:
        try:
            got = opener(C.text(name))
            if got is None:
                return NOT_FOUND
            target = C.Volume.from_address(volume)
            if isinstance(got, (str, os.PathLike)):
                got = open(got, "rb")  # noqa: SIM115 - closed by the library's close callback
            if isinstance(got, (bytes, bytearray, memoryview)):
                data = bytes(got)
                kept.append(data)
                target.data = ctypes.cast(ctypes.c_char_p(data), ctypes.c_void_p)
                target.size = len(data)
                return C.OK
            callbacks, functions, seekable = stream_callbacks(got, fail, close=True)
            if seekable:
                got.seek(0)
            kept.append(functions)
            target.callbacks = callbacks
            return C.OK
        except FileNotFoundError:
            return NOT_FOUND
        except OSError:
            return IO
        except BaseException as e:  # noqa: B036 - raised again once the call returns
            fail(e)
            return IO
    return C.VOLUME(opened)
