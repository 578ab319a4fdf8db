"""What the package tells about an archive and its entries."""

from __future__ import annotations

import ctypes
import os
import enum
import stat
import time
from dataclasses import dataclass, field
from typing import Optional

from . import _library as C
from ._library import lib


class EntryType(enum.IntEnum):
    """An entry's type (arjhost_entry_type)."""
    FILE = 0
    FOLDER = 1
    SYMBOLIC_LINK = 2
    HARD_LINK = 3
    FIFO = 4
    DEVICE = 5
    LABEL = 6
    OTHER = 7


_ARJ_UNIX = 2
# ARJ's host systems in zip's numbering (create_system); those zip has no
# number for are taken for DOS.
_ZIP_SYSTEM = {0: 0, 2: 3, 3: 1, 4: 7, 5: 6, 7: 5, 8: 3, 9: 2, 10: 14, 11: 11}


@dataclass(frozen=True)
class ArjInfo:
    """One entry, as ``zipfile.ZipInfo`` describes a member, with the ARJ fields.

    ``filename`` is the name as ``arjhost list`` shows it (UTF-8);
    ``orig_filename`` the stored bytes. ``date_time`` is the modification
    time in local time, as zipfile gives it; ``mtime`` (and ``atime``,
    ``ctime`` where arj 2.6 or later stored them) are seconds since 1970.

    The fields zipfile users read: ``compress_type`` (the ARJ method, 0
    stored to 4), ``external_attr`` (the mode in the high 16 bits, the DOS
    attributes in the low byte: 0x10 for a folder), ``create_system`` (in
    zip's numbering: 0 DOS and Windows, 3 UNIX, ...; ``host_os`` is ARJ's),
    ``flag_bits`` (ARJ's flags: 0x01 garbled, 0x04 and 0x08 split over
    volumes) and ``header_offset`` (of the first part's header, in its
    volume)."""

    filename: str
    orig_filename: bytes
    file_size: int
    compress_size: int
    CRC: int
    mtime: int
    method: int
    mode: int
    attributes: int
    host_os: int
    type: EntryType
    link_target: str
    garbled: bool
    chapters: tuple[int, int]
    comment: str
    volume: str
    header_ok: bool
    index: int
    taken: bool = True  # by the tool's test and extract: of the archive's chapter
    path: str = ""  # where extraction puts it under its folder ("" nowhere: refused, a label, a device)
    atime: Optional[int] = None
    ctime: Optional[int] = None
    flag_bits: int = 0
    header_offset: int = 0

    @property
    def compress_type(self) -> int:
        return self.method

    @property
    def external_attr(self) -> int:
        dos = self.attributes & 0xFF if self.host_os != _ARJ_UNIX else 0
        return (self.mode << 16) | dos | (0x10 if self.is_dir() else 0)

    @property
    def create_system(self) -> int:
        return _ZIP_SYSTEM.get(self.host_os, 0)

    @property
    def date_time(self) -> tuple[int, int, int, int, int, int]:
        return tuple(time.localtime(self.mtime)[:6])  # type: ignore[return-value]

    def is_dir(self) -> bool:
        return self.type == EntryType.FOLDER

    def is_symlink(self) -> bool:
        return self.type == EntryType.SYMBOLIC_LINK

    def is_file(self) -> bool:
        return self.type == EntryType.FILE

    @staticmethod
    def of(entry: int, index: int) -> "ArjInfo":
        """The fields of the C API's entry ``entry``, the archive's ``index``th."""
        size = ctypes.c_size_t()
        stored = lib.arjhost_entry_stored_name(entry, ctypes.byref(size))
        first, last = ctypes.c_int(), ctypes.c_int()
        lib.arjhost_entry_chapters(entry, ctypes.byref(first), ctypes.byref(last))
        atime, ctime = ctypes.c_int64(), ctypes.c_int64()
        kind = lib.arjhost_entry_type_of(entry)
        return ArjInfo(
            filename=C.text(lib.arjhost_entry_name(entry)),
            orig_filename=ctypes.string_at(stored, size.value) if stored else b"",
            file_size=lib.arjhost_entry_size(entry),
            compress_size=lib.arjhost_entry_packed_size(entry),
            CRC=lib.arjhost_entry_crc32(entry),
            mtime=lib.arjhost_entry_mtime(entry),
            method=lib.arjhost_entry_method(entry),
            mode=lib.arjhost_entry_mode(entry),
            attributes=lib.arjhost_entry_attributes(entry),
            host_os=lib.arjhost_entry_host_os(entry),
            type=EntryType(kind) if kind in EntryType._value2member_map_ else EntryType.OTHER,
            link_target=C.text(lib.arjhost_entry_link_target(entry)),
            garbled=bool(lib.arjhost_entry_garbled(entry)),
            chapters=(first.value, last.value),
            comment=C.text(lib.arjhost_entry_comment(entry)),
            volume=C.text(lib.arjhost_entry_volume(entry)),
            header_ok=bool(lib.arjhost_entry_header_ok(entry)),
            index=index,
            taken=bool(lib.arjhost_entry_taken(entry)),
            path=os.fsdecode(lib.arjhost_entry_path(entry) or b""),
            atime=atime.value if lib.arjhost_entry_atime(entry, ctypes.byref(atime)) else None,
            ctime=ctime.value if lib.arjhost_entry_ctime(entry, ctypes.byref(ctime)) else None,
            flag_bits=lib.arjhost_entry_flags(entry),
            header_offset=lib.arjhost_entry_header_offset(entry),
        )

    def filemode(self) -> str:
        """The mode as ``ls -l`` shows it."""
        return stat.filemode(self.mode)


@dataclass(frozen=True)
class UnreadableVolume:
    name: str
    cause: str


@dataclass(frozen=True)
class RecordRebuild:
    """Opened with ``recover``: a volume whose ARJ-PROTECT record (``arj a
    -hk``) found the damaged ``blocks`` (of 1,024 bytes, from 0). ``cause``
    is None when the record rebuilt them (the volume is read as rebuilt, in
    memory; the file is unchanged), else why not (it is read around the
    damage)."""
    volume: str
    blocks: list[int]
    cause: Optional[str]

    @property
    def rebuilt(self) -> bool:
        return self.cause is None


@dataclass(frozen=True)
class ArchiveState:
    """The archive as a whole: what ``arjhost list --json`` says of it
    (``damaged``: headers could not all be read, or one fails its CRC, a
    main header's as ``main_header_crc_ok`` says or an entry's; ``incomplete``: a volume is missing, one
    there but unreadable is in ``unreadable_volumes``)."""

    digest: int
    multi_volume: bool
    damaged: bool
    incomplete: bool
    main_header_crc_ok: bool
    secured: bool
    protected: bool
    recovered: bool
    chapter_refused: bool
    chapter: int
    comment: str
    volumes: list[str] = field(default_factory=list)
    unreadable_volumes: list[UnreadableVolume] = field(default_factory=list)
    record_rebuilds: list[RecordRebuild] = field(default_factory=list)

    @staticmethod
    def of(archive: int) -> "ArchiveState":
        flags = lib.arjhost_archive_flags(archive)
        volumes = [C.text(lib.arjhost_archive_volume_name(archive, i))
                   for i in range(lib.arjhost_archive_volume_count(archive))]
        unreadable = []
        cause = ctypes.c_char_p()
        while (name := lib.arjhost_archive_unreadable_volume(archive, len(unreadable), ctypes.byref(cause))):
            unreadable.append(UnreadableVolume(C.text(name), C.text(cause.value)))
        rebuilds = []
        blocks, count = ctypes.POINTER(ctypes.c_uint32)(), ctypes.c_size_t()
        while (name := lib.arjhost_archive_record_rebuild(archive, len(rebuilds), ctypes.byref(blocks),
                                                          ctypes.byref(count), ctypes.byref(cause))):
            rebuilds.append(RecordRebuild(C.text(name), blocks[:count.value],
                                          C.text(cause.value) if cause.value is not None else None))
        return ArchiveState(
            digest=lib.arjhost_archive_digest(archive),
            multi_volume=bool(flags & C.ARCHIVE_MULTI_VOLUME),
            damaged=bool(flags & C.ARCHIVE_DAMAGED),
            incomplete=bool(flags & C.ARCHIVE_VOLUME_MISSING),
            main_header_crc_ok=not flags & C.ARCHIVE_MAIN_HEADER_DAMAGED,
            secured=bool(flags & C.ARCHIVE_SECURED),
            protected=bool(flags & C.ARCHIVE_PROTECTED),
            recovered=bool(flags & C.ARCHIVE_RECOVERED),
            chapter_refused=bool(flags & C.ARCHIVE_CHAPTER_REFUSED),
            chapter=lib.arjhost_archive_chapter(archive),
            comment=C.text(lib.arjhost_archive_comment(archive)),
            volumes=volumes,
            unreadable_volumes=unreadable,
            record_rebuilds=rebuilds,
        )


@dataclass(frozen=True)
class TestResult:
    """One entry's test: ``cause`` is None when it is sound, else why it
    failed (``message`` names the archive and the entry too); ``size`` is
    the bytes the test delivered."""

    name: str
    code: int
    cause: Optional[str]
    message: Optional[str]
    size: int

    @property
    def ok(self) -> bool:
        return self.code == C.OK
