"""ArjFile: an ARJ archive read or written as zipfile.ZipFile reads and
writes a zip."""

from __future__ import annotations

import ctypes
import os
import sys
import threading
import weakref
from typing import IO, Any, Iterable, Iterator, Optional, TextIO, Union

from . import _library as C
from ._library import lib
from ._sources import Limits, Options, Password, Source, VolumeOpener, c_string
from . import errors
from .errors import ArchiveExists, Error, error_for
from .info import ArchiveState, ArjInfo, EntryType, TestResult
from .streams import ArjExtFile, ArjWriteFile
from .writer import ArchiveWriter

FileSource = Union[str, "os.PathLike[str]", bytes, bytearray, memoryview, IO[bytes]]


class ArjFile:
    """An ARJ archive, read (mode ``'r'``) or written (``'w'``: a new archive,
    ``'a'``: entries added to an existing one or to a new one).

    ``file`` is a path, ``bytes`` / ``bytearray`` / ``memoryview`` holding the
    archive, or a binary file object (seekable or not: one that cannot seek
    is read once, kept in memory and then in a temporary file, within
    ``limits``). A path opens the whole volume set it belongs to.
    ``password`` is the password of garbled entries, or a callable
    ``(entry_name, attempt) -> password or None`` asked for it (at most three
    times an entry). Written changes are committed when the archive is
    closed, all at once: the old archive is replaced only by a new one that
    reads back whole, and is left as it was when the ``with`` block raised.
    ``volume_size`` (writing): the archive is written as a volume set, as
    ``arj a -v`` writes one (NAME.arj, NAME.a01, ...; no volume larger than
    that many bytes, at least 10240); mode 'w' writes one only where no
    file is, mode 'a' rewrites an archive or a set as a set. Mode 'x' is
    'w' where no file is (FileExistsError otherwise). Mode 'w' with
    nothing written raises at close (an archive without entries is taken
    for a damaged one), and leaves what was there. A writer holds the
    archive's lock until it is closed: another writer meanwhile (here or in
    the tool) raises "in use".
    ``open_volume`` (reading bytes or a file object): a callable
    ``(name) -> bytes, path, binary file object or None`` giving the other
    volumes of a set by the names made from ``name`` ("x.a01" after
    "x.arj"); a path finds them beside itself.

    Every exception is an OSError: ``Error`` and its kinds, and for the
    archive file itself FileNotFoundError, PermissionError,
    IsADirectoryError and FileExistsError (each an ``Error`` too)."""

    def __init__(self, file: FileSource, mode: str = "r", password: Password = None, *,
                 limits: Optional[Limits] = None, codepage: int = 437, single_volume: bool = False,
                 recover: bool = False, name: Optional[str] = None, volume_size: Optional[int] = None,
                 open_volume: Optional[VolumeOpener] = None, chapter: Optional[int] = None) -> None:
        if mode not in ("r", "w", "a", "x"):
            raise ValueError("ArjFile's mode is 'r', 'w', 'a' or 'x'")
        self.mode = mode
        self._lock = threading.RLock()
        self._archive: Optional[int] = None
        self._writer: Optional[ArchiveWriter] = None
        self._options = Options(password, limits, codepage, single_volume, recover, name, open_volume)
        self._source = Source(file)
        self._loaded: Optional[list[ArjInfo]] = None  # the entries, read when first asked for
        self._by_name: dict[str, ArjInfo] = {}
        self._reading: Optional[ArjExtFile] = None  # the stream the shared handle decodes for
        self._given_password: Optional[bytes] = None  # a pwd= the shared handle holds instead of the archive's
        self._streams: "weakref.WeakSet[ArjExtFile]" = weakref.WeakSet()  # those with handles of their own
        self._shared: "weakref.WeakSet[ArjExtFile]" = weakref.WeakSet()  # those on the archive's handle
        self.filename = os.fspath(file) if isinstance(file, (str, os.PathLike)) else getattr(file, "name", None)
        if volume_size is not None and mode == "r":
            raise ValueError("volume_size is for writing")
        if mode != "r":
            if not isinstance(file, (str, os.PathLike)):
                raise TypeError("ArjFile writes to a path only")
            path = os.fspath(file)
            if os.path.isdir(path):
                raise error_for(errors.ARGUMENT, f"{path}: is a directory", path, writing=True)
            if mode == "x" and os.path.lexists(path):
                error = ArchiveExists(f"{path}: exists (mode 'x' makes a new archive only)", errors.REFUSED)
                error.errno, error.filename = 17, path
                raise error
            self._writer = ArchiveWriter(path, mode in ("w", "x"), self._options, volume_size)
            return
        handle = self._source.open(self._options)
        if not handle:
            raise MemoryError("arjhost: out of memory opening the archive")
        self._archive = handle
        try:
            code = lib.arjhost_error_code(handle)
            if code < 0:
                raise self._failure(code, opening=True)
            self._raise_callback_failure()
            if chapter is not None:
                # The entries of that chapter, as the tool's --chapter takes them.
                self._check(lib.arjhost_choose_chapter(handle, chapter))
            self.state = ArchiveState.of(handle)
        except BaseException:
            self.close()
            raise

    # ---- the handle ---------------------------------------------------------

    def _failure(self, code: int, handle: Optional[int] = None, opening: bool = False) -> Error:
        """The exception for a failed call on ``handle`` (default: the
        archive's); what a Python callback raised goes first. The open of
        a path fails with the OSError subclass its file meets."""
        raised = self._source.failure or self._options.failure
        self._source.failure = self._options.failure = None
        handle = handle if handle is not None else self._archive
        said = C.text(lib.arjhost_error_string(handle)) if handle is not None else ""
        path = self.filename if opening and isinstance(self._source.file, (str, os.PathLike)) else None
        error = error_for(code, said or f"{self.filename or 'memory archive'}: a file object or callback failed", path)
        if raised is not None and isinstance(raised, (KeyboardInterrupt, SystemExit)):
            raise raised
        if raised is not None:
            error.message = f"{error.message} ({type(raised).__name__}: {raised})"
            error.args = (error.message,)
            error.__cause__ = raised
        return error

    def _raise_callback_failure(self) -> None:
        """A file object or password callback that failed or broke its
        contract fails the call, even one the library got through (a stream
        whose seek failed is read as one that cannot seek)."""
        if self._source.failure or self._options.failure:
            raise self._failure(errors.IO)

    def _check(self, code: int) -> int:
        if code < 0:
            raise self._failure(code)
        return code

    def _handle(self) -> int:
        if self._archive is None:
            raise ValueError("the archive is closed" if self._writer is None else "the archive is open for writing")
        return self._archive

    def _take_shared(self, password: Optional[bytes] = None) -> int:
        """The shared handle, for other work than the stream reading on it,
        with the password ``password`` (None: the archive's). The caller
        holds the lock."""
        handle = self._handle()
        if self._reading is not None:
            self._reading._displace()
            self._reading = None
        if password != self._given_password:
            # Setting a password ends the stream under way: done only here.
            if password is not None:
                self._check(lib.arjhost_set_password(handle, password))
            else:
                self._check(lib.arjhost_set_password(handle, self._options.struct.password))
            self._given_password = password
        return handle

    def _fork(self, password: Optional[bytes]) -> Optional[int]:
        """Another handle on the archive for a stream of its own, or None
        when the source cannot be opened twice (a file object)."""
        handle = self._source.reopen(self._options)
        if not handle:
            return None
        if lib.arjhost_error_code(handle) < 0 or (
                password is not None and lib.arjhost_set_password(handle, password) < 0):
            lib.arjhost_close(handle)
            return None
        return handle

    def _walk(self) -> Iterator[int]:
        """The C API's entries in archive order, the handle moved to each
        (the caller holds the lock)."""
        self._take_shared()
        entry = ctypes.c_void_p()
        code = self._check(lib.arjhost_seek_entry(self._handle(), 0, ctypes.byref(entry)))
        while code == C.OK:
            yield entry.value
            code = self._check(lib.arjhost_next_entry(self._archive, ctypes.byref(entry)))

    @property
    def _infos(self) -> list[ArjInfo]:
        """Every entry's fields, read once when first needed (testarj needs none)."""
        if self._loaded is None:
            with self._lock:
                infos = [ArjInfo.of(entry, k) for k, entry in enumerate(self._walk())]
                # A name is the entry the tool extracts under it: of the
                # archive's chapter, the first of that name, as arj takes it.
                for info in infos:
                    if info.taken:
                        self._by_name.setdefault(info.filename, info)
                self._loaded = infos
        return self._loaded

    def _headers_sound(self) -> bool:
        """Whether every entry's headers pass their CRC."""
        if self._loaded is not None:
            return all(i.header_ok for i in self._loaded)
        with self._lock:
            return all(lib.arjhost_entry_header_ok(entry) for entry in self._walk())

    def _go_to(self, info: ArjInfo, password: Optional[bytes] = None) -> None:
        """Makes ``info`` the shared handle's current entry, read with
        ``password`` (None: the archive's); a stream reading on the handle
        starts over at its next read."""
        self._take_shared(password)
        entry = ctypes.c_void_p()
        if self._check(lib.arjhost_seek_entry(self._handle(), info.index, ctypes.byref(entry))) != C.OK:
            raise Error(f"the entry {info.filename!r} is gone")

    def _info(self, member: Union[str, ArjInfo]) -> ArjInfo:
        if isinstance(member, ArjInfo):
            return member
        info = self._by_name.get(member) if self._infos else None
        if info is None:
            raise KeyError(f"there is no entry named {member!r} in the archive")
        return info

    # ---- reading --------------------------------------------------------------

    def namelist(self) -> list[str]:
        """The entries' names, in archive order."""
        self._handle()
        return [i.filename for i in self._infos]

    def infolist(self) -> list[ArjInfo]:
        """The entries, in archive order."""
        self._handle()
        return list(self._infos)

    def getinfo(self, name: str) -> ArjInfo:
        """The entry named ``name`` as the tool takes it (the first of that
        name, of the archive's chapter); KeyError when none is."""
        self._handle()
        return self._info(name)

    def setpassword(self, password: Password) -> None:
        """The password (or callback) of garbled entries from now on."""
        with self._lock:
            self._take_shared()
            self._options.set_password(password)
            struct = self._options.struct
            if callable(password):
                self._check(lib.arjhost_set_password_callback(self._handle(), struct.password_callback, None))
            else:
                self._check(lib.arjhost_set_password(self._handle(), struct.password))

    def open(self, member: Union[str, ArjInfo], mode: str = "r", pwd: Union[str, bytes, None] = None, *,
             method: int = 1) -> Union[ArjExtFile, ArjWriteFile]:
        """Mode 'r': a readable, seekable binary stream of the entry's bytes,
        decoded as they are read in constant memory; the read that reaches
        the end raises BadArchive when the entry does not match its CRC-32
        or size, so a damaged entry never reads as a short one. ``pwd``:
        the password of this entry (else the archive's). Several streams
        may be open at once, on any threads (see ArjExtFile).

        Mode 'w' (an archive open for writing): a writable stream whose
        bytes become the entry ``member`` (packed with ``method``) when it
        is closed; they are written with the archive at its close."""
        if mode == "w":
            name = member.filename if isinstance(member, ArjInfo) else member
            self._writing()
            return ArjWriteFile(self, name, method)
        if mode != "r":
            raise ValueError("open takes mode 'r' or 'w'")
        password = _password_bytes(pwd)
        with self._lock:
            info = self._info(member)
            handle = None
            busy = any(not s.closed for s in self._shared)
            if busy or password is not None:  # the shared handle is in use or holds another password
                handle = self._fork(password)
            stream = ArjExtFile(self, info, password, handle)
            if handle is not None:
                self._streams.add(stream)
            else:
                self._go_to(info, password)
                self._reading = stream
                self._shared.add(stream)
            return stream

    def read(self, member: Union[str, ArjInfo], pwd: Union[str, bytes, None] = None) -> bytes:
        """The entry's bytes, checked against its CRC-32; of a symbolic
        link, its target (as zipfile stores one)."""
        info = self.getinfo(member) if not isinstance(member, ArjInfo) else member
        if info.type == EntryType.SYMBOLIC_LINK:
            return os.fsencode(info.link_target)
        with self.open(info, pwd=pwd) as stream:
            return stream.read()

    def extract(self, member: Union[str, ArjInfo], path: Union[str, "os.PathLike[str]", None] = None,
                pwd: Union[str, bytes, None] = None, *,
                overwrite: bool = True, preserve_permissions: bool = False) -> Optional[str]:
        """Extracts the entry under the folder ``path`` (default: the current
        one) by the tool's rules: no name leaves the folder (an unsafe one is
        refused with Error), a file is put in place only whole and checked.
        Returns the path made, or None when the entry makes nothing there
        (a device, a FIFO, a label)."""
        with self._lock:
            info = self._info(member)
            folder = os.fspath(path) if path is not None else os.getcwd()
            self._go_to(info, _password_bytes(pwd))
            flags = (C.EXTRACT_OVERWRITE if overwrite else 0) | (
                C.EXTRACT_PRESERVE_PERMISSIONS if preserve_permissions else 0)
            if self._check(lib.arjhost_extract(self._archive, c_string(folder), flags)) == C.SKIPPED:
                return None
            made = os.fsdecode(lib.arjhost_extracted_path(self._archive) or b"")
            return os.path.join(folder, made) if made else None

    def extractall(self, path: Union[str, "os.PathLike[str]", None] = None,
                   members: Optional[Iterable[Union[str, ArjInfo]]] = None, pwd: Union[str, bytes, None] = None,
                   **flags: bool) -> None:
        """Extracts the entries the tool extracts (those of the archive's
        chapter), or ``members``, under ``path`` as extract() does, in
        archive order; the folders take their stored times at the end.
        As ``arjhost extract``, it goes on past an entry that fails and
        then raises the first failure; an archive that is itself damaged or
        incomplete raises BadArchive once its sound entries are written."""
        with self._lock:
            chosen = ([i for i in self._infos if i.taken] if members is None
                      else sorted((self._info(m) for m in members), key=lambda i: i.index))
            failures: list[Error] = []
            for info in chosen:
                try:
                    self.extract(info, path, pwd, **flags)
                except Error as failure:
                    if failure.code == errors.CANCELLED:
                        raise
                    failures.append(failure)
            entry = ctypes.c_void_p()
            self._check(lib.arjhost_seek_entry(self._handle(), len(self._infos), ctypes.byref(entry)))
            if failures:
                raise failures[0]
            if members is None and (problems := self.problems()):
                raise error_for(errors.DAMAGED, f"{self.filename or 'memory archive'}: " + "; ".join(problems))

    def testall(self) -> list[TestResult]:
        """Tests the archive as ``arjhost test`` does (the entries of its
        chapter, on every core for an archive opened from a path): each
        entry's result, in archive order."""
        results: list[TestResult] = []

        def heard(_user: Any, entry: int, code: int, message: Optional[bytes]) -> None:
            name = C.text(lib.arjhost_entry_name(entry))
            full = C.text(message) if code != C.OK else None
            cause = full
            if full is not None:
                marker = f": {name}: "
                at = full.find(marker)
                cause = full[at + len(marker):] if at >= 0 else full
            results.append(TestResult(name, code, cause, full, lib.arjhost_entry_tested_size(entry)))

        callback = C.RESULT(heard)
        with self._lock:
            lib.arjhost_test_all(self._take_shared(), callback, None)
            self._raise_callback_failure()
        return results

    def problems(self) -> list[str]:
        """What is wrong with the archive as a whole (not its entries), as
        ``arjhost test`` says it; empty when nothing is."""
        s = self.state
        said = []
        if not self._headers_sound():
            said.append("an entry's header fails its CRC")
        if not s.main_header_crc_ok:
            said.append("the archive header is damaged")
        if s.multi_volume and self._options.struct.recover and self._options.struct.single_volume:
            said.append("one volume of a set, recovered alone: the other volumes were not read")
        if s.secured:
            said.append("the archive is sealed with an ARJ-SECURITY envelope, which is not verified")
        if s.damaged:
            said.append("the archive is damaged")
        if s.incomplete or s.unreadable_volumes:
            said.append("the archive is incomplete")
        if lib.arjhost_archive_entry_count(self._handle()) == 0:
            said.append("the archive holds no entries")
        if s.chapter_refused:
            said.append("its chapters are refused")
        return said

    def testarj(self) -> Optional[str]:
        """None when every entry is sound, else the first bad entry's name,
        as zipfile.testzip and rarfile.testrar. An archive that is itself
        damaged (an unreadable header, a missing volume, no entries) raises
        BadArchive even when the entries it holds are sound."""
        for result in self.testall():
            if not result.ok:
                return result.name
        if self.problems():
            raise error_for(-2, f"{self.filename or 'memory archive'}: " + "; ".join(self.problems()))
        return None

    # ---- writing ----------------------------------------------------------------

    def _writing(self) -> ArchiveWriter:
        if self._writer is None:
            raise ValueError("the archive is open for reading" if self._archive is not None
                             else "the archive is closed")
        return self._writer

    def write(self, filename: Union[str, "os.PathLike[str]"], arcname: Optional[str] = None, method: int = 1) -> None:
        """Adds the regular file ``filename`` as ``arcname`` (default: its own
        name), packed with ``method`` 0 (stored) to 4; an entry of that name is
        replaced. A name that would leave an extractor's folder is refused."""
        self._writing().add_file(os.fspath(filename), arcname, method)

    def writestr(self, arcname: Union[str, ArjInfo], data: Union[bytes, str], method: int = 1,
                 mode: Optional[int] = None, mtime: Optional[int] = None) -> None:
        """Adds ``data`` (str is written as UTF-8) as ``arcname`` (``mode``
        0o644 unless given); a name ending in '/' makes a folder entry
        (``data`` empty; ``mode`` 0o755 unless given), as zipfile's."""
        name = arcname.filename if isinstance(arcname, ArjInfo) else arcname
        content = data.encode("utf-8") if isinstance(data, str) else bytes(data)
        if name.endswith("/"):
            if content:
                raise ValueError(f"{name!r} names a folder: it holds no data")
            self.mkdir(name, 0o755 if mode is None else mode, mtime)
            return
        self._writing().add_bytes(name, content, method, 0o644 if mode is None else mode, mtime)

    def mkdir(self, name: Union[str, ArjInfo], mode: int = 0o755, mtime: Optional[int] = None) -> None:
        """Adds a folder entry ``name`` (a trailing '/' is dropped), as
        zipfile's ``mkdir``, with the permission bits ``mode``."""
        folder = name.filename if isinstance(name, ArjInfo) else name
        self._writing().add_folder(folder, mode, mtime)

    def remove(self, name: str) -> None:
        """Drops every entry stored as ``name``; KeyError when none is."""
        self._writing().delete(name)

    def setcomment(self, comment: Optional[str]) -> None:
        """Sets the archive comment written (``""`` removes it; None keeps the
        stored one)."""
        self._writing().set_comment(comment)

    def setentrycomment(self, name: str, comment: str) -> None:
        """Sets the comment of the entries stored as ``name``, old or written
        before this call (``""`` removes it); KeyError when none is."""
        self._writing().set_entry_comment(name, comment)

    def garble(self, password: Optional[str]) -> None:
        """Garbles the entries written from now to the commit with
        ``password``, as ``arj -g`` does (None: none). Garbling is not
        encryption: it keeps out only a casual reader. An archive holding
        garbled entries takes only their password (BadPassword)."""
        self._writing().set_password(password)

    @property
    def comment(self) -> bytes:
        """The archive comment, as zipfile's: bytes (UTF-8). Setting it (an
        archive open for writing) writes it at the close; b"" removes it."""
        if self._writer is not None:
            return self._writer.comment if self._writer.comment is not None else b""
        return self.state.comment.encode("utf-8")

    @comment.setter
    def comment(self, comment: Union[bytes, str]) -> None:
        text = comment.decode("utf-8") if isinstance(comment, (bytes, bytearray)) else comment
        self.setcomment(text)

    def printdir(self, file: Optional[TextIO] = None) -> None:
        """Prints a table of the entries to ``file`` (default stdout), as
        zipfile's printdir."""
        out = file if file is not None else sys.stdout
        print("%-46s %19s %12s" % ("File Name", "Modified    ", "Size"), file=out)
        for info in self.infolist():
            date = "%d-%02d-%02d %02d:%02d:%02d" % info.date_time[:6]
            name = info.filename + ("/" if info.is_dir() else "")
            print("%-46s %s %12d" % (name, date, info.file_size), file=out)

    # ---- the end ------------------------------------------------------------------

    def close(self, commit: bool = True) -> None:
        """Commits what was written (unless ``commit`` is false) and frees
        the archive; streams still open on it fail their next read.

        Unlike zipfile, an archive opened with mode 'w' or 'x' to which
        nothing was added raises Error ("nothing to write") here and writes
        nothing (an ARJ archive without entries reads as damaged); what was
        at the path is left as it was."""
        with self._lock:
            if self._reading is not None:
                self._reading._displace()
                self._reading = None
            for stream in list(self._streams):
                stream.close()
            if self._archive is not None:
                lib.arjhost_close(self._archive)
                self._archive = None
            if self._writer is not None:
                writer, self._writer = self._writer, None
                writer.finish(commit)

    def __enter__(self) -> "ArjFile":
        return self

    def __exit__(self, kind: Any, value: Any, traceback: Any) -> None:
        self.close(commit=kind is None)

    def __del__(self) -> None:
        if getattr(self, "_archive", None) is not None:
            lib.arjhost_close(self._archive)
            self._archive = None
        writer = getattr(self, "_writer", None)
        if writer is not None:
            writer.finish(False)

    def __iter__(self) -> Iterator[ArjInfo]:
        return iter(self.infolist())

    def __repr__(self) -> str:
        state = "closed" if self._archive is None and self._writer is None else f"mode={self.mode!r}"
        return f"<arjhost.ArjFile {self.filename!r} {state}>"


def _password_bytes(pwd: Union[str, bytes, None]) -> Optional[bytes]:
    """A pwd= as the C API takes it (str as UTF-8)."""
    if pwd is None:
        return None
    data = pwd.encode("utf-8") if isinstance(pwd, str) else bytes(pwd)
    if b"\0" in data:
        raise ValueError("a password cannot hold a NUL character")
    return data
