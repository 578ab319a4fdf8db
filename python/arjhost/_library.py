"""Finds libarjhost and declares the C API (arjhost.h) to ctypes: the one
place that knows the library's functions and structures.

ctypes releases the interpreter lock around every call into the library,
so decoding on one thread leaves the others free to run."""

from __future__ import annotations

import ctypes
import os
from ctypes import (CFUNCTYPE, POINTER, Structure, c_char_p, c_int, c_int64, c_size_t, c_ssize_t, c_uint,
                    c_uint32, c_uint64, c_void_p)

LIBRARY_VARIABLE = "ARJHOST_LIBRARY"

READ = CFUNCTYPE(c_ssize_t, c_void_p, c_void_p, c_size_t)
SEEK = CFUNCTYPE(c_int64, c_void_p, c_int64, c_int)
SIZE = CFUNCTYPE(c_int64, c_void_p)
CLOSE = CFUNCTYPE(None, c_void_p)
PASSWORD = CFUNCTYPE(c_int, c_void_p, c_char_p, c_int, c_void_p, c_size_t)
RESULT = CFUNCTYPE(None, c_void_p, c_void_p, c_int, c_char_p)
VOLUME = CFUNCTYPE(c_int, c_void_p, c_char_p, c_void_p)


class Callbacks(Structure):
    _fields_ = [("read", READ), ("seek", SEEK), ("size", SIZE), ("close", CLOSE), ("user", c_void_p)]


class Volume(Structure):
    """arjhost_volume: what the volume callback fills."""
    _fields_ = [("data", c_void_p), ("size", c_size_t), ("callbacks", Callbacks)]


LIMIT_FIELDS = ("max_entries", "max_volumes", "max_memory", "max_extract_memory", "max_size", "max_ratio",
                "max_total", "max_stream_memory", "max_stream_size")


class Options(Structure):
    _fields_ = [("size", c_size_t)] + [(name, c_uint64) for name in LIMIT_FIELDS] + [
        ("codepage", c_int), ("single_volume", c_int), ("recover", c_int),
        ("name", c_char_p), ("plugin", c_char_p), ("password", c_char_p),
        ("password_callback", PASSWORD), ("password_user", c_void_p),
        ("open_volume", VOLUME), ("volume_user", c_void_p),
        ("max_threads", c_uint)]


def _candidates() -> list[str]:
    """Where the library may be: the variable's (a build tree), beside the
    installed package (its prefix's library folder, as CMake installed it),
    then the dynamic loader's search."""
    found = []
    if os.environ.get(LIBRARY_VARIABLE):
        found.append(os.environ[LIBRARY_VARIABLE])
    here = os.path.dirname(os.path.realpath(__file__))
    try:
        from ._install import LIBRARY_FROM_PACKAGE  # written by cmake --install
        found.append(os.path.join(here, LIBRARY_FROM_PACKAGE))
    except ImportError:
        pass
    # PREFIX/lib/python3.X/site-packages/arjhost: PREFIX/lib beside it.
    found.append(os.path.join(here, "..", "..", "..", "libarjhost.so"))
    found.append("libarjhost.so")
    return found


def _load() -> ctypes.CDLL:
    tried = []
    for candidate in _candidates():
        if os.sep in candidate and not os.path.exists(candidate):
            continue
        try:
            return ctypes.CDLL(candidate)
        except OSError as e:
            tried.append(f"{candidate}: {e}")
    from ctypes.util import find_library  # the loader's cache, last: it costs a subprocess
    named = find_library("arjhost")
    if named:
        return ctypes.CDLL(named)
    raise ImportError("arjhost: cannot load libarjhost.so (set " + LIBRARY_VARIABLE + " to its path); tried: " +
                      "; ".join(tried or ["nothing found"]))


lib = _load()


def _declare(name: str, restype, *argtypes) -> None:
    function = getattr(lib, name)
    function.restype = restype
    function.argtypes = list(argtypes)


A = c_void_p  # arjhost_archive *
E = c_void_p  # arjhost_entry *
W = c_void_p  # arjhost_writer *

for _name, _restype, _args in [
    ("arjhost_version", c_char_p, ()),
    ("arjhost_options_init_sized", None, (POINTER(Options), c_size_t)),
    ("arjhost_open_path", A, (c_char_p, POINTER(Options))),
    ("arjhost_open_memory", A, (c_void_p, c_size_t, POINTER(Options))),
    ("arjhost_open_callbacks", A, (POINTER(Callbacks), POINTER(Options))),
    ("arjhost_close", None, (A,)),
    ("arjhost_error_code", c_int, (A,)),
    ("arjhost_error_string", c_char_p, (A,)),
    ("arjhost_set_password", c_int, (A, c_char_p)),
    ("arjhost_set_password_callback", c_int, (A, PASSWORD, c_void_p)),
    ("arjhost_archive_flags", c_uint, (A,)),
    ("arjhost_archive_entry_count", c_size_t, (A,)),
    ("arjhost_archive_comment", c_char_p, (A,)),
    ("arjhost_archive_chapter", c_int, (A,)),
    ("arjhost_archive_volume_count", c_size_t, (A,)),
    ("arjhost_archive_volume_name", c_char_p, (A, c_size_t)),
    ("arjhost_archive_digest", c_uint64, (A,)),
    ("arjhost_archive_unreadable_volume", c_char_p, (A, c_size_t, POINTER(c_char_p))),
    ("arjhost_archive_record_rebuild", c_char_p,
     (A, c_size_t, POINTER(POINTER(c_uint32)), POINTER(c_size_t), POINTER(c_char_p))),
    ("arjhost_next_entry", c_int, (A, POINTER(E))),
    ("arjhost_seek_entry", c_int, (A, c_size_t, POINTER(E))),
    ("arjhost_entry_name", c_char_p, (E,)),
    ("arjhost_entry_stored_name", c_void_p, (E, POINTER(c_size_t))),
    ("arjhost_entry_size", c_uint64, (E,)),
    ("arjhost_entry_packed_size", c_uint64, (E,)),
    ("arjhost_entry_method", c_int, (E,)),
    ("arjhost_entry_crc32", c_uint32, (E,)),
    ("arjhost_entry_mtime", c_int64, (E,)),
    ("arjhost_entry_atime", c_int, (E, POINTER(c_int64))),
    ("arjhost_entry_ctime", c_int, (E, POINTER(c_int64))),
    ("arjhost_entry_mode", c_uint32, (E,)),
    ("arjhost_entry_attributes", c_uint32, (E,)),
    ("arjhost_entry_host_os", c_int, (E,)),
    ("arjhost_entry_type_of", c_int, (E,)),
    ("arjhost_entry_link_target", c_char_p, (E,)),
    ("arjhost_entry_garbled", c_int, (E,)),
    ("arjhost_entry_flags", c_uint, (E,)),
    ("arjhost_entry_header_offset", c_uint64, (E,)),
    ("arjhost_entry_chapters", c_int, (E, POINTER(c_int), POINTER(c_int))),
    ("arjhost_entry_comment", c_char_p, (E,)),
    ("arjhost_entry_volume", c_char_p, (E,)),
    ("arjhost_entry_header_ok", c_int, (E,)),
    ("arjhost_entry_taken", c_int, (E,)),
    ("arjhost_entry_path", c_char_p, (E,)),
    ("arjhost_choose_chapter", c_int, (A, c_int)),
    ("arjhost_extracted_path", c_char_p, (A,)),
    ("arjhost_entry_tested_size", c_uint64, (E,)),
    ("arjhost_read_data", c_ssize_t, (A, c_void_p, c_size_t)),
    ("arjhost_skip_data", c_int, (A,)),
    ("arjhost_test_data", c_int, (A,)),
    ("arjhost_test_all", c_int, (A, RESULT, c_void_p)),
    ("arjhost_extract", c_int, (A, c_char_p, c_uint)),
    ("arjhost_write_open", W, (c_char_p, POINTER(Options))),
    ("arjhost_write_open_new", W, (c_char_p, POINTER(Options))),
    ("arjhost_write_add_folder", c_int, (W, c_char_p, c_uint32, c_int64)),
    ("arjhost_write_add_file", c_int, (W, c_char_p, c_char_p, c_int)),
    ("arjhost_write_add_memory", c_int, (W, c_char_p, c_void_p, c_size_t, c_int, c_uint32, c_int64)),
    ("arjhost_write_delete", c_int, (W, c_char_p)),
    ("arjhost_write_set_comment", c_int, (W, c_char_p)),
    ("arjhost_write_set_entry_comment", c_int, (W, c_char_p, c_char_p)),
    ("arjhost_write_set_password", c_int, (W, c_char_p)),
    ("arjhost_write_volume_size", c_int, (W, c_uint64)),
    ("arjhost_write_commit", c_int, (W,)),
    ("arjhost_writer_error_code", c_int, (W,)),
    ("arjhost_writer_error_string", c_char_p, (W,)),
    ("arjhost_write_close", None, (W,)),
]:
    _declare(_name, _restype, *_args)

# arjhost_archive_flags bits.
ARCHIVE_MULTI_VOLUME, ARCHIVE_DAMAGED, ARCHIVE_INCOMPLETE = 0x01, 0x02, 0x04
ARCHIVE_SECURED, ARCHIVE_PROTECTED, ARCHIVE_RECOVERED = 0x08, 0x10, 0x20
ARCHIVE_MAIN_HEADER_DAMAGED, ARCHIVE_CHAPTER_REFUSED, ARCHIVE_HEADERS_UNREAD = 0x40, 0x80, 0x100
ARCHIVE_VOLUME_MISSING, ARCHIVE_REBUILT, ARCHIVE_BEYOND_RECORD = 0x200, 0x400, 0x800
# arjhost_extract flags.
EXTRACT_OVERWRITE, EXTRACT_SKIP_EXISTING, EXTRACT_PRESERVE_PERMISSIONS = 0x01, 0x02, 0x04
EXTRACT_FLAT, EXTRACT_KEEP_DAMAGED = 0x08, 0x10
OK, END, SKIPPED = 0, 1, 2
PASSWORD_BUFFER_MINIMUM = 2


def text(value: bytes | None) -> str:
    """A string the library returned (UTF-8)."""
    return value.decode("utf-8", "replace") if value else ""


def version() -> str:
    """The version of the library loaded."""
    return text(lib.arjhost_version())
