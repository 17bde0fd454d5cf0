"""The shared libssmsg and its C functions, as ctypes sees them (see <ssmsg/c_api.h>)."""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
from pathlib import Path
from typing import Callable, Iterator, NamedTuple, Optional


class Strings(ctypes.Structure):
    """ssmsg_strings: count texts of lengths[i] bytes each."""

    _fields_ = [
        ("count", ctypes.c_size_t),
        ("items", ctypes.POINTER(ctypes.c_void_p)),
        ("lengths", ctypes.POINTER(ctypes.c_size_t)),
    ]


class Origin(ctypes.Structure):
    _fields_ = [
        ("interface_id", ctypes.c_int32),
        ("node", ctypes.c_int32),
        ("task", ctypes.c_int32),
    ]


class Settings(ctypes.Structure):
    _fields_ = [
        ("messages", Strings),
        ("origins", ctypes.POINTER(Origin)),
        ("failure_count", ctypes.c_size_t),
        ("failures", ctypes.POINTER(Origin)),
    ]


class Diff(ctypes.Structure):
    _fields_ = [
        ("settings", Settings),
        ("warnings", Strings),
        ("controllers_changed", ctypes.c_size_t),
        ("messages_written", ctypes.c_size_t),
        ("messages_full", ctypes.c_size_t),
    ]


class DecodeError(ctypes.Structure):
    _fields_ = [("column", ctypes.c_size_t), ("reason", ctypes.c_char_p)]


class Time(ctypes.Structure):
    _fields_ = [
        (name, ctypes.c_int)
        for name in ("year", "month", "day", "hour", "minute", "second")
    ]


class Options(ctypes.Structure):
    _fields_ = [
        ("by_interface", ctypes.c_int),
        ("interface_id", ctypes.c_int32),
        ("by_node", ctypes.c_int),
        ("node", ctypes.c_int32),
        ("tasks", ctypes.POINTER(ctypes.c_int32)),
        ("task_count", ctypes.c_size_t),
        ("time", ctypes.POINTER(Time)),
        ("jobs", ctypes.c_uint),
    ]


class LibraryFiles(NamedTuple):
    """Where the library is looked for on a platform: the glob pattern of its file beside the
    package's modules (the build's, or an installed package's own copy), and the name that the
    system's loader is asked for (the library of an installed runtime package)."""

    beside: str
    system: str


def library_files(platform: str) -> LibraryFiles:
    """The library's file names on `platform`, a value of sys.platform."""
    if platform == "win32":
        return LibraryFiles(beside="ssmsg.dll", system="ssmsg.dll")
    # Beside the modules the library is _libssmsg.so.0, a name that Python does not take for a
    # module of the package.
    return LibraryFiles(beside="_libssmsg.so*", system="libssmsg.so.0")


def candidates(platform: str, here: Path, chosen: Optional[str],
               find_library: Callable[[str], Optional[str]]) -> Iterator[str]:
    """The libraries to try in order: `chosen` ($SSMSG_LIBRARY) alone when given; otherwise the
    library beside the modules in `here`, then the system's under its name and where
    `find_library` (ctypes.util.find_library) finds it."""
    if chosen:
        yield chosen
        return
    files = library_files(platform)
    yield from sorted(str(path) for path in here.glob(files.beside))
    yield files.system
    installed = find_library("ssmsg")
    if installed:
        yield installed


def _load() -> tuple[ctypes.CDLL, str]:
    tried = []
    here = Path(__file__).resolve().parent
    for candidate in candidates(sys.platform, here, os.environ.get("SSMSG_LIBRARY"),
                                ctypes.util.find_library):
        try:
            return ctypes.CDLL(candidate), candidate
        except OSError as error:
            tried.append(f"{candidate}: {error}")
    files = library_files(sys.platform)
    raise ImportError(
        f"ssmsg: cannot load the library ({files.beside} beside ssmsg/_library.py, the library "
        f"that $SSMSG_LIBRARY names, or the system's {files.system})"
        + "".join("\n  " + line for line in tried)
    )


lib, path = _load()

_status = ctypes.c_int
_strings_out = ctypes.POINTER(ctypes.POINTER(Strings))
_numbers = ctypes.POINTER(ctypes.c_uint32)

# name: (result type, argument types)
_FUNCTIONS = {
    "ssmsg_status_text": (ctypes.c_char_p, [_status]),
    "ssmsg_version": (ctypes.c_char_p, []),
    "ssmsg_strings_free": (None, [ctypes.POINTER(Strings)]),
    "ssmsg_site_load": (_status, [ctypes.c_char_p, ctypes.POINTER(ctypes.c_void_p), _strings_out]),
    "ssmsg_site_load_text": (
        _status,
        [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p, ctypes.POINTER(ctypes.c_void_p),
         _strings_out],
    ),
    "ssmsg_site_free": (None, [ctypes.c_void_p]),
    "ssmsg_site_name": (_status, [ctypes.c_void_p, ctypes.POINTER(ctypes.c_char_p)]),
    "ssmsg_site_controller_count": (_status, [ctypes.c_void_p, ctypes.POINTER(ctypes.c_size_t)]),
    "ssmsg_site_controller": (
        _status,
        [ctypes.c_void_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_int32),
         ctypes.POINTER(ctypes.c_int32)],
    ),
    "ssmsg_site_warnings": (_status, [ctypes.c_void_p, _strings_out]),
    "ssmsg_site_settings": (
        _status,
        [ctypes.c_void_p, ctypes.POINTER(Options), ctypes.POINTER(ctypes.POINTER(Settings))],
    ),
    "ssmsg_settings_free": (None, [ctypes.POINTER(Settings)]),
    "ssmsg_task_table": (_status, [_strings_out]),
    "ssmsg_site_diff": (
        _status,
        [ctypes.c_void_p, ctypes.c_void_p, ctypes.POINTER(Options),
         ctypes.POINTER(ctypes.POINTER(Diff))],
    ),
    "ssmsg_diff_free": (None, [ctypes.POINTER(Diff)]),
    "ssmsg_decode": (
        _status,
        [ctypes.c_char_p, ctypes.c_size_t, _strings_out,
         ctypes.POINTER(ctypes.POINTER(DecodeError))],
    ),
    "ssmsg_decode_error_free": (None, [ctypes.POINTER(DecodeError)]),
    "ssmsg_import_new": (_status, [ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p)]),
    "ssmsg_import_add_line": (
        _status, [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p,
                  ctypes.c_size_t]
    ),
    "ssmsg_import_write": (_status, [ctypes.c_void_p, _strings_out]),
    "ssmsg_import_site": (_status, [ctypes.c_void_p, ctypes.c_char_p,
                                    ctypes.POINTER(ctypes.c_void_p)]),
    "ssmsg_import_errors": (_status, [ctypes.c_void_p, _strings_out]),
    "ssmsg_import_free": (None, [ctypes.c_void_p]),
    "ssmsg_interface_start": (
        _status, [ctypes.c_int32, ctypes.c_int, ctypes.c_char_p, ctypes.c_int32, _strings_out]
    ),
    "ssmsg_interface_stop": (_status, [ctypes.c_int32, _strings_out]),
    "ssmsg_interface_set_nodes": (
        _status,
        [ctypes.c_int32, _numbers, ctypes.c_size_t, _numbers, ctypes.c_size_t, _numbers,
         ctypes.c_size_t, _strings_out],
    ),
    "ssmsg_interface_poll": (
        _status,
        [ctypes.c_int32, _numbers, ctypes.c_size_t, _numbers, ctypes.c_size_t, _strings_out],
    ),
    "ssmsg_ask_settings": (_status, [ctypes.c_int32, ctypes.c_int32, _strings_out]),
    "ssmsg_site_report": (
        _status,
        [ctypes.c_void_p, ctypes.c_void_p, ctypes.POINTER(Options), ctypes.c_int,
         ctypes.c_void_p, ctypes.c_void_p],
    ),
}

# ssmsg_report_fn: (context, page, text, length) -> 0 to go on.
ReportFn = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p,
                            ctypes.c_size_t)

for _name, (_result, _arguments) in _FUNCTIONS.items():
    _function = getattr(lib, _name)
    _function.restype = _result
    _function.argtypes = _arguments


def text(address: int, length: int) -> str:
    """The bytes at `address` as str; bytes that are not UTF-8 become lone surrogates."""
    return ctypes.string_at(address, length).decode("utf-8", "surrogateescape")


def texts(strings: Strings) -> list[str]:
    return [text(strings.items[i], strings.lengths[i]) for i in range(strings.count)]


def take_strings(pointer: ctypes._Pointer) -> list[str]:
    """The texts of a list that the library handed out, which is freed."""
    if not pointer:
        return []
    try:
        return texts(pointer.contents)
    finally:
        lib.ssmsg_strings_free(pointer)
