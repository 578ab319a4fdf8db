"""ARJ archives as fsspec file systems: the protocol ``arj``, registered
when this module is imported (and by the package's entry point in
fsspec's group where it is installed with pip).

    import fsspec, pandas as pd
    import arjhost.fsspec  # not needed where the package is installed with pip
    pd.read_csv("arj://dir/data.csv::file:///data/backup.arj")
    fs = fsspec.filesystem("arj", fo="memory://set.a01", password="secret")
    fs.ls("dir"); fs.cat("dir/data.csv")

The archive (``fo``) is a URL or path on any fsspec file system that opens
files, or a binary file object. A volume set opens from any of its
volumes: the others are opened beside it through the same file system
(a local path through the library itself). The entries shown are those
``arjhost extract`` takes: of a chapter archive the latest chapter's (or
``chapter=N``'s), labels left out, the first entry of a name. Reads are
decoded as they are made, in constant memory; a seek back decodes again
from the entry's start, a seek forward decodes up to the new position.
Damage raises (an OSError: ``arjhost.BadArchive``), never reads as short
data. Read only.

Storage options: ``password`` (garbled entries; in a chained URL given as
``storage_options={"arj": {"password": ...}}``, as fsspec hands options to
each link of a chain), ``chapter``, ``codepage``, ``limits``
(``arjhost.Limits``), ``block_size`` (the buffer of an open file)."""

from __future__ import annotations

import io
import os
import posixpath
from typing import Any, Optional

import fsspec
from fsspec.archive import AbstractArchiveFileSystem
from fsspec.implementations.local import LocalFileSystem

from .arjfile import ArjFile
from .info import ArjInfo, EntryType

__all__ = ["ArjFileSystem"]

_READABLE = (EntryType.FILE, EntryType.SYMBOLIC_LINK, EntryType.HARD_LINK)


class _EntryReader(io.BufferedReader):
    """An entry opened through the file system: buffered, seekable, with
    the ``size`` fsspec's readers look for. It keeps its file system,
    which closes the archive when it goes, alive while it is open."""

    size: int
    fs: "ArjFileSystem"


def _entry_details(info: ArjInfo) -> dict[str, Any]:
    kind = "directory" if info.is_dir() else "file" if info.type in _READABLE else "other"
    # A symbolic link reads as its target, as ArjFile.read gives it.
    size = len(os.fsencode(info.link_target)) if info.type == EntryType.SYMBOLIC_LINK else info.file_size
    return {"name": info.path, "size": 0 if kind == "directory" else size,
            "type": kind, "compress_size": info.compress_size, "CRC": info.CRC, "mtime": info.mtime,
            "method": info.method, "mode": info.mode, "garbled": info.garbled, "chapters": info.chapters,
            "link_target": info.link_target or None, "comment": info.comment}


class ArjFileSystem(AbstractArchiveFileSystem):
    """The entries of one ARJ archive (or volume set) as a read-only file
    system; see the module's documentation."""

    protocol = "arj"
    root_marker = ""
    cachable = False

    def __init__(self, fo: Any = "", mode: str = "r", target_protocol: Optional[str] = None,
                 target_options: Optional[dict] = None, password: Any = None, chapter: Optional[int] = None,
                 codepage: int = 437, limits: Any = None, block_size: Optional[int] = None, **kwargs: Any) -> None:
        super().__init__(**kwargs)
        if mode != "r":
            raise ValueError("the arj file system reads archives only (mode 'r')")
        self.fo = fo
        self.chapter = chapter
        self.block_size = block_size or io.DEFAULT_BUFFER_SIZE * 8
        self._outer_file: Any = None
        self.dir_cache: Optional[dict[str, dict[str, Any]]] = None
        self._children: dict[str, list[str]] = {}
        self._entries: dict[str, ArjInfo] = {}
        options = {"password": password, "codepage": codepage, "limits": limits, "chapter": chapter}
        if isinstance(fo, str):
            if target_protocol is not None:
                outer = fsspec.filesystem(target_protocol, **(target_options or {}))
                path = outer._strip_protocol(fo)
            else:
                outer, path = fsspec.core.url_to_fs(fo, **(target_options or {}))
            self.arj = self._open_on(outer, path, options)
        elif hasattr(fo, "read"):
            outer, path = getattr(fo, "fs", None), getattr(fo, "path", None)
            opener = self._volumes_of(outer, path) if outer is not None and isinstance(path, str) else None
            self.arj = ArjFile(fo, open_volume=opener, name=path if opener else None, **options)
        else:
            raise TypeError(f"fo is a URL, a path or a binary file object, not {type(fo).__name__}")

    @staticmethod
    def _volumes_of(outer: Any, path: str) -> Any:
        """Opens the other volumes of a set beside ``path`` on ``outer``."""
        folder = posixpath.dirname(path)

        def opened(name: str) -> Any:
            # Names are made from the volume's path; only its last part may change.
            beside = posixpath.join(folder, posixpath.basename(name))
            return outer.open(beside, "rb") if outer.exists(beside) else None
        return opened

    def _open_on(self, outer: Any, path: str, options: dict) -> ArjFile:
        if isinstance(outer, LocalFileSystem):
            return ArjFile(path, **options)  # the library finds a set's volumes itself
        self._outer_file = outer.open(path, "rb")
        try:
            return ArjFile(self._outer_file, name=path, open_volume=self._volumes_of(outer, path), **options)
        except BaseException:
            self._outer_file.close()
            raise

    @classmethod
    def _strip_protocol(cls, path: Any) -> Any:
        # Entry paths are relative to the archive's root.
        return super()._strip_protocol(path).strip("/")

    def close(self) -> None:
        """Closes the archive (and the file it was read from)."""
        self.arj.close()
        if self._outer_file is not None:
            self._outer_file.close()

    def __del__(self) -> None:
        if hasattr(self, "arj"):
            self.close()

    def _chosen(self) -> list[ArjInfo]:
        """The entries extract takes, where it puts them (the library
        decides both): the archive's chapter (or ``chapter``), labels and
        refused names left out, the first of a path."""
        chosen, seen = [], set()
        for info in self.arj.infolist():
            if info.taken and info.path and info.path not in seen:
                seen.add(info.path)
                chosen.append(info)
        return chosen

    def _get_dirs(self) -> None:
        if self.dir_cache is not None:
            return
        cache: dict[str, dict[str, Any]] = {}
        children: dict[str, list[str]] = {"": []}
        for info in self._chosen():
            details = _entry_details(info)
            cache[details["name"]] = details
            self._entries[details["name"]] = info
        for name in list(cache):
            child, parent = name, posixpath.dirname(name)
            while True:
                children.setdefault(parent, [])
                if child not in children[parent]:
                    children[parent].append(child)
                if parent == "" or parent in cache:
                    break
                cache[parent] = {"name": parent, "size": 0, "type": "directory"}
                child, parent = parent, posixpath.dirname(parent)
        for name, details in cache.items():
            if details["type"] == "directory":
                children.setdefault(name, [])
        self.dir_cache, self._children = cache, children

    def info(self, path: str, **kwargs: Any) -> dict[str, Any]:
        self._get_dirs()
        path = self._strip_protocol(path)
        if path == "":
            return {"name": "", "size": 0, "type": "directory"}
        if path in self.dir_cache:
            return dict(self.dir_cache[path])
        raise FileNotFoundError(path)

    def ls(self, path: str, detail: bool = True, **kwargs: Any) -> list:
        self._get_dirs()
        path = self._strip_protocol(path)
        if path not in self._children:
            found = [self.info(path)]  # a file lists itself; FileNotFoundError when there is none
        else:
            found = [self.info(child) for child in sorted(self._children[path])]
        return found if detail else [f["name"] for f in found]

    def _open(self, path: str, mode: str = "rb", block_size: Optional[int] = None, autocommit: bool = True,
              cache_options: Any = None, **kwargs: Any) -> io.BufferedReader:
        if mode != "rb":
            raise ValueError("the arj file system reads archives only (mode 'rb')")
        details = self.info(path)
        if details["type"] == "directory":
            raise IsADirectoryError(path)
        info = self._entries[details["name"]]
        if info.type == EntryType.SYMBOLIC_LINK:
            raw: Any = io.BytesIO(self.arj.read(info))
        else:
            raw = self.arj.open(info)
        reader = _EntryReader(raw, buffer_size=block_size or self.block_size)
        reader.size, reader.fs = details["size"], self
        return reader


fsspec.register_implementation(ArjFileSystem.protocol, ArjFileSystem, clobber=True)
