"""Command messages of access-control and vending controllers.

ssmsg builds the XML command messages that configure the controllers of a site, described in a
JSON site file, and the messages that control their communication interfaces. Each message is one
compact XML text, ready to transmit; nothing is sent.

    import ssmsg
    from datetime import datetime

    site = ssmsg.Site.load("site.json")      # ssmsg.SiteError lists every error of the file
    for text in site.settings(tasks=[161, 162], interface=1, node=2,
                              time=datetime(2026, 12, 4, 9, 5, 7)):
        print(text)
    print(ssmsg.interface_poll(1, start=[2, 3]))

Settings tasks are numbered 151 to 177; ssmsg.TASKS says what each sends. Site.messages gives
each message with the interface, node and task it is for.

    new = ssmsg.Site.load("new.json")
    with open("sent.txt") as sent:           # the messages last sent, one per line
        old = ssmsg.Site.from_messages(sent, enums_from=new)   # or ssmsg.Site.load("old.json")
    for text in ssmsg.diff(old, new).messages:   # only what brings the controllers to NEW
        print(ssmsg.decode(text)["action"], text)   # decode: the message as a dict

Errors raise SsmsgError or one of its kinds: SiteError (a site file with errors, or one that
cannot be read), ArgumentError (a value the library does not take; also a ValueError),
TaskError (an operation returned false: it made nothing usable), DecodeError and MessagesError
(a text that is not a message, lines that cannot be imported; both also ValueErrors).

Messages are str. A message whose bytes are not all UTF-8 (names are sent in pieces of ten bytes,
which may split a character) keeps each such byte as a lone surrogate:
text.encode("utf-8", "surrogateescape") gives back the bytes to transmit.

Threads: a Site may be used by several threads at once, and the functions may be called from any
thread; the library works without holding the GIL. Close a site only when no thread uses it.
"""

import ctypes
import enum
import json
import operator
import os
from datetime import datetime
from types import MappingProxyType
from typing import Iterable, NamedTuple, Optional, Sequence, Union

from . import _library
from ._library import lib as _lib

__all__ = [
    "ArgumentError",
    "Controller",
    "DecodeError",
    "Diff",
    "Failure",
    "Message",
    "MessagesError",
    "Site",
    "SiteError",
    "SsmsgError",
    "Status",
    "TASKS",
    "TaskError",
    "ask_settings",
    "decode",
    "diff",
    "import_messages",
    "interface_poll",
    "interface_set_nodes",
    "interface_start",
    "interface_stop",
    "tasks",
]

# The version of the loaded libssmsg, e.g. "0.3.0".
__version__ = _lib.ssmsg_version().decode()

FIRST_TASK = 151
LAST_TASK = 177


class Status(enum.IntEnum):
    """The status of a call of the C library (ssmsg_status)."""

    OK = 0
    INVALID_ARGUMENT = 1
    SITE_INVALID = 2
    IO_ERROR = 3
    FAILED = 4
    NO_CONTROLLER = 5
    STOPPED = 6
    OUT_OF_MEMORY = 7
    INTERNAL_ERROR = 8


class SsmsgError(Exception):
    """A call of the library failed; `status` says how."""

    def __init__(self, message: str, status: Status) -> None:
        super().__init__(message)
        self.status = Status(status)


class SiteError(SsmsgError):
    """A site file has errors or cannot be read; `errors` holds every error line."""

    def __init__(self, errors: list[str], status: Status) -> None:
        super().__init__("\n".join(errors), status)
        self.errors = errors


class ArgumentError(SsmsgError, ValueError):
    """A value that the library does not take: a task outside 151 to 177, a node without an
    interface, a selection that matches no controller of the site, a number out of range."""

    def __init__(self, message: str, status: Status = Status.INVALID_ARGUMENT) -> None:
        super().__init__(message, status)


class Controller(NamedTuple):
    """Where a controller is reached: its interface number and its node on it."""

    interface: int
    node: int


class Failure(NamedTuple):
    """A task that returned false for the controller at (interface, node)."""

    interface: int
    node: int
    task: int


class Message(NamedTuple):
    """A settings message and the controller and task it was made for."""

    interface: int
    node: int
    task: int
    text: str


class TaskError(SsmsgError):
    """An operation returned false. `messages` holds what the call made all the same (the other
    tasks' messages) and `failures` the tasks that returned false."""

    def __init__(self, message: str, messages: list, failures: list[Failure]) -> None:
        super().__init__(message, Status.FAILED)
        self.messages = messages
        self.failures = failures


class DecodeError(SsmsgError, ValueError):
    """A text that is not a message of the library: `column` (1-based) is that of the first byte
    that is wrong, `reason` says why."""

    def __init__(self, column: int, reason: str) -> None:
        super().__init__(f"column {column}: {reason}", Status.FAILED)
        self.column = column
        self.reason = reason


class MessagesError(SsmsgError, ValueError):
    """Lines that cannot be imported; `errors` holds every error line, "SOURCE:LINE:COLUMN:
    reason" for a line that is not a message and "SOURCE:LINE: reason" for one that cannot be
    applied."""

    def __init__(self, errors: list[str]) -> None:
        super().__init__("\n".join(errors), Status.FAILED)
        self.errors = errors


class Diff(NamedTuple):
    """What ssmsg.diff makes: the messages to send, in order; what cannot be sent, one line each;
    the controllers that were sent anything; and the messages written against those that the
    settings of NEW would write with the same tasks."""

    messages: list[str]
    warnings: list[str]
    controllers_changed: int
    messages_written: int
    messages_full: int


def _check(status: int, what: str) -> None:
    """Raises the error of a status other than OK that no caller handled itself."""
    if status == Status.OK:
        return
    reason = _lib.ssmsg_status_text(status).decode()
    if status == Status.OUT_OF_MEMORY:
        raise MemoryError(f"{what}: {reason}")
    if status in (Status.INVALID_ARGUMENT, Status.NO_CONTROLLER):
        raise ArgumentError(f"{what}: {reason}", Status(status))
    if status in (Status.SITE_INVALID, Status.IO_ERROR):
        raise SiteError([f"{what}: {reason}"], Status(status))
    try:
        known = Status(status)
    except ValueError:
        known = Status.INTERNAL_ERROR
    raise SsmsgError(f"{what}: {reason}", known)


def _number(name: str, value: int, low: int, high: int) -> int:
    value = operator.index(value)
    if not low <= value <= high:
        raise ArgumentError(f"{name}: {value} is outside {low}..{high}")
    return value


def _int32(name: str, value: int) -> int:
    return _number(name, value, -(2**31), 2**31 - 1)


def _numbers(name: str, values: Iterable[int]):
    """A C array of unsigned 32-bit numbers and its length."""
    checked = [_number(name, value, 0, 2**32 - 1) for value in values]
    return (ctypes.c_uint32 * len(checked))(*checked), len(checked)


class Site:
    """A checked site file: its controllers in file order and its enumeration texts.

    Make one with Site.load(path) or Site.from_text(text). A site is read only and may be used
    by several threads at once. Its memory is freed with close(), at the end of a with block, or
    when it is garbage collected.
    """

    def __init__(self, handle: ctypes.c_void_p) -> None:
        """Use Site.load or Site.from_text."""
        self._handle = handle

    @classmethod
    def load(cls, path: Union[str, os.PathLike]) -> "Site":
        """Reads and checks the site file at `path`.

        Raises SiteError with every error line of the file (status SITE_INVALID), or with the
        reason it could not be read (status IO_ERROR).
        """
        handle = ctypes.c_void_p()
        errors = ctypes.POINTER(_library.Strings)()
        status = _lib.ssmsg_site_load(os.fsencode(path), ctypes.byref(handle), ctypes.byref(errors))
        return cls._loaded(status, handle, errors, "load")

    @classmethod
    def from_text(cls, text: Union[str, bytes], name: str = "<text>") -> "Site":
        """Checks the site file text `text`; error lines name it `name`.

        Raises SiteError with every error line (status SITE_INVALID).
        """
        data = text.encode() if isinstance(text, str) else bytes(text)
        handle = ctypes.c_void_p()
        errors = ctypes.POINTER(_library.Strings)()
        status = _lib.ssmsg_site_load_text(data, len(data), name.encode(), ctypes.byref(handle),
                                           ctypes.byref(errors))
        return cls._loaded(status, handle, errors, "from_text")

    @classmethod
    def from_messages(cls, lines: Union[str, bytes, Iterable[Union[str, bytes]]], *,
                      enums_from: Optional["Site"] = None, name: str = "<messages>") -> "Site":
        """The site that import_messages makes of `lines`: the configuration that settings
        messages, a log of those last sent for instance, gave the controllers.

        Raises MessagesError with every bad line.
        """
        handle = ctypes.c_void_p()
        with _Import(enums_from, "Site.from_messages") as importer:
            importer.add(lines, name)
            status = _lib.ssmsg_import_site(importer.handle, name.encode(), ctypes.byref(handle))
            importer.check(status)
        return cls(handle)

    @classmethod
    def _loaded(cls, status: int, handle: ctypes.c_void_p, errors, what: str) -> "Site":
        lines = _library.take_strings(errors)
        if status in (Status.SITE_INVALID, Status.IO_ERROR):
            raise SiteError(lines, Status(status))
        _check(status, f"Site.{what}")
        return cls(handle)

    def close(self) -> None:
        """Frees the site; it may not be used afterwards. Closing twice does nothing."""
        handle, self._handle = self._handle, None
        if handle:
            _lib.ssmsg_site_free(handle)

    def __del__(self) -> None:
        if getattr(self, "_handle", None):
            self.close()

    def __enter__(self) -> "Site":
        return self

    def __exit__(self, *exception) -> None:
        self.close()

    def _open(self) -> ctypes.c_void_p:
        if not self._handle:
            raise ValueError("the site is closed")
        return self._handle

    @property
    def name(self) -> str:
        """The name the site was loaded under; errors and warnings name the file so."""
        name = ctypes.c_char_p()
        _check(_lib.ssmsg_site_name(self._open(), ctypes.byref(name)), "Site.name")
        return os.fsdecode(name.value)

    @property
    def controllers(self) -> list[Controller]:
        """The address (interface, node) of each controller, in file order."""
        handle = self._open()
        count = ctypes.c_size_t()
        _check(_lib.ssmsg_site_controller_count(handle, ctypes.byref(count)), "Site.controllers")
        interface, node = ctypes.c_int32(), ctypes.c_int32()
        addresses = []
        for index in range(count.value):
            _check(_lib.ssmsg_site_controller(handle, index, ctypes.byref(interface),
                                              ctypes.byref(node)), "Site.controllers")
            addresses.append(Controller(interface.value, node.value))
        return addresses

    def warnings(self) -> list[str]:
        """What a valid site may still get wrong, one line each: enumeration values that have no
        text, and records beyond a controller's capability count that are never sent."""
        warnings = ctypes.POINTER(_library.Strings)()
        _check(_lib.ssmsg_site_warnings(self._open(), ctypes.byref(warnings)), "Site.warnings")
        return _library.take_strings(warnings)

    def __repr__(self) -> str:
        if not self._handle:
            return "<ssmsg.Site closed>"
        return f"<ssmsg.Site {self.name!r}, {len(self.controllers)} controllers>"

    def settings(self, *, interface: Optional[int] = None, node: Optional[int] = None,
                 tasks: Optional[Sequence[int]] = None, time: Optional[datetime] = None,
                 jobs: int = 1) -> list[str]:
        """The settings messages of the site's controllers, controller by controller in file
        order and task by task in the order of `tasks`.

        interface: only the controllers on this interface; node: only the one at this node
            (needs interface).
        tasks: task numbers 151 to 177, in the order they run (default: all, ascending).
        time: the date and time that the clock message (task 152) sends, its fields as they
            are (default: the machine's local time when the message is made).
        jobs: how many threads build controllers at once, the calling one among them (0 or 1:
            the calling thread alone); the messages come in the same order whatever the number.

        Raises ArgumentError for a task outside 151 to 177, a node without an interface, or a
        selection that matches no controller; TaskError when a task returned false.
        """
        return [message.text for message in self.messages(
            interface=interface, node=node, tasks=tasks, time=time, jobs=jobs)]

    def messages(self, *, interface: Optional[int] = None, node: Optional[int] = None,
                 tasks: Optional[Sequence[int]] = None, time: Optional[datetime] = None,
                 jobs: int = 1) -> list[Message]:
        """As settings(), each message with the interface, node and task it was made for."""
        options = self._options("Site.settings", interface, node, tasks, time, jobs)
        result = ctypes.POINTER(_library.Settings)()
        status = _lib.ssmsg_site_settings(self._open(), ctypes.byref(options.value),
                                          ctypes.byref(result))
        if status not in (Status.OK, Status.FAILED):
            _check(status, "Site.settings" + _where(interface, node))
        try:
            settings = result.contents
            texts = _library.texts(settings.messages)
            made = [Message(o.interface_id, o.node, o.task, text)
                    for o, text in zip(settings.origins[:len(texts)], texts)]
            failures = _failures(settings)
        finally:
            _lib.ssmsg_settings_free(result)
        _raise_failures(made, failures)
        return made

    def report(self, directory: Union[str, os.PathLike, None] = None, *,
               diff_from: Optional["Site"] = None, interface: Optional[int] = None,
               node: Optional[int] = None, jobs: int = 0) -> Union[str, list[str]]:
        """The HTML report of the site, as `ssmsg report` writes it: an overview of the
        controllers, and for each its time zones and time groups on a 24-hour axis, its holidays
        on a calendar, tables of its records and its warnings. The page runs no script and makes
        no request; every text is escaped.

        directory: None gives the one page as a str. Otherwise index.html and a page for each
            controller are written there (the folder is made when missing), one controller at a
            time, and the names of the pages written are returned, index.html last.
        diff_from: the site last sent: what changed since is marked, and each controller says
            how many messages diff(diff_from, site) sends it.
        interface, node, jobs: as for settings(); the pages are the same whatever jobs is.

        Raises ArgumentError as settings() does; OSError when a page cannot be written.
        """
        options = self._options("Site.report", interface, node, None, None, jobs)
        pieces: list[bytes] = []
        written: list[str] = []
        failed: list[BaseException] = []
        folder = None if directory is None else os.fspath(directory)
        if folder is not None:
            os.makedirs(folder, exist_ok=True)
        current = {"name": None, "file": None}

        def on_piece(_context, page, text, length):
            try:
                data = ctypes.string_at(text, length)
                if folder is None:
                    pieces.append(data)
                    return 0
                name = page.decode()
                if name != current["name"]:
                    if current["file"] is not None:
                        current["file"].close()
                    current["name"] = name
                    current["file"] = open(os.path.join(folder, name), "wb")
                    written.append(name)
                current["file"].write(data)
                return 0
            except BaseException as error:  # raised again once the library has returned
                failed.append(error)
                return 1

        callback = _library.ReportFn(on_piece)
        try:
            status = _lib.ssmsg_site_report(
                self._open(), None if diff_from is None else diff_from._open(),
                ctypes.byref(options.value), int(folder is not None),
                ctypes.cast(callback, ctypes.c_void_p), None)
        finally:
            if current["file"] is not None:
                current["file"].close()
        if failed:
            raise failed[0]
        _check(status, "Site.report" + _where(interface, node))
        return b"".join(pieces).decode() if folder is None else written

    @staticmethod
    def _options(what, interface, node, tasks, time, jobs) -> "_Options":
        options = _Options()
        o = options.value
        if node is not None and interface is None:
            raise ArgumentError(f"{what}: node needs interface")
        if interface is not None:
            o.by_interface, o.interface_id = 1, _int32("interface", interface)
        if node is not None:
            o.by_node, o.node = 1, _int32("node", node)
        if tasks is not None:
            numbers = [_number("task", task, FIRST_TASK, LAST_TASK) for task in tasks]
            if not numbers:
                raise ArgumentError(f"{what}: tasks is empty (None: every task)")
            options.tasks = (ctypes.c_int32 * len(numbers))(*numbers)
            o.tasks, o.task_count = options.tasks, len(numbers)
        if time is not None:
            if not isinstance(time, datetime):
                raise TypeError(f"time: a datetime, not {type(time).__name__}")
            options.time = _library.Time(time.year, time.month, time.day, time.hour,
                                         time.minute, time.second)
            o.time = ctypes.pointer(options.time)
        o.jobs = _number("jobs", jobs, 0, 2**32 - 1)
        return options


class _Options:
    """ssmsg_settings_options with the arrays it points to, kept alive together."""

    def __init__(self) -> None:
        self.value = _library.Options()
        self.tasks = None
        self.time = None


def _where(interface: Optional[int], node: Optional[int]) -> str:
    where = "" if interface is None else f" on interface {interface}"
    return where + ("" if node is None else f" at node {node}")


def _failures(settings: _library.Settings) -> list[Failure]:
    return [Failure(f.interface_id, f.node, f.task)
            for f in settings.failures[:settings.failure_count]]


def _raise_failures(made: list, failures: list[Failure]) -> None:
    if failures:
        raise TaskError("; ".join(
            f"task {f.task} ({TASKS.get(f.task, '?')}) returned false for interface "
            f"{f.interface}, node {f.node}" for f in failures), made, failures)


def diff(old: Site, new: Site, *, tasks: Optional[Sequence[int]] = None,
         interface: Optional[int] = None, node: Optional[int] = None,
         time: Optional[datetime] = None, jobs: int = 1) -> Diff:
    """The messages that bring the controllers configured from site `old` to site `new`,
    controller by controller in the order of `new`, as `ssmsg diff` writes them.

    Controllers are matched by interface and node. One that `old` lacks gets every message of its
    tasks; for one that both have, a task whose messages are equal sends nothing, a task that
    clears its list first or sends one message or one name sends all of its messages, and a task
    of one message per input, output or reader sends those of each record that changed or is new.

    tasks: the tasks in the order they are compared (default: 151 to 177 without the clock, 152,
        which is sent only when named, and then always).
    interface, node, time, jobs: as for Site.settings.

    Raises ArgumentError as Site.settings does (a selection matches no controller when neither
    site has one there); TaskError when a task of `new` returned false.
    """
    options = Site._options("diff", interface, node, tasks, time, jobs)
    result = ctypes.POINTER(_library.Diff)()
    status = _lib.ssmsg_site_diff(old._open(), new._open(), ctypes.byref(options.value),
                                  ctypes.byref(result))
    if status not in (Status.OK, Status.FAILED):
        _check(status, "diff" + _where(interface, node))
    try:
        d = result.contents
        made = Diff(_library.texts(d.settings.messages), _library.texts(d.warnings),
                    d.controllers_changed, d.messages_written, d.messages_full)
        failures = _failures(d.settings)
    finally:
        _lib.ssmsg_diff_free(result)
    _raise_failures(made.messages, failures)
    return made


def _message_bytes(line: Union[str, bytes]) -> bytes:
    """A message as the library reads it: a str through surrogateescape (as messages are
    given), without a line end."""
    data = line.encode("utf-8", "surrogateescape") if isinstance(line, str) else bytes(line)
    return data.removesuffix(b"\n").removesuffix(b"\r")


def decode(line: Union[str, bytes]) -> dict:
    """The message `line` (one message as the library writes it; a line end is dropped) as a
    dict, the JSON object that `ssmsg decode` writes: {"interface": 1, "messageType": "Inputs",
    "action": "InputType", "node": 2, "parameters": {"Input": 1, ...}}.

    Raises DecodeError when `line` is not a message of the library.
    """
    data = _message_bytes(line)
    out = _strings_out()
    error = ctypes.POINTER(_library.DecodeError)()
    status = _lib.ssmsg_decode(data, len(data), ctypes.byref(out), ctypes.byref(error))
    if status == Status.FAILED:
        try:
            column, reason = error.contents.column, error.contents.reason
        finally:
            _lib.ssmsg_decode_error_free(error)
        raise DecodeError(column, reason.decode("utf-8", "surrogateescape"))
    texts = _library.take_strings(out)
    _check(status, "decode")
    return json.loads(texts[0])


def import_messages(lines: Union[str, bytes, Iterable[Union[str, bytes]]], *,
                    enums_from: Optional[Site] = None, name: str = "<messages>") -> str:
    """The text of a site file that makes the settings messages `lines` again, as `ssmsg import`
    writes it: for the messages of any task list without the clock (152), the settings of the
    site give exactly those messages.

    lines: the messages in the order sent, one per item (a line end is dropped; blank lines are
        skipped), or one text of lines; a file opened for reading will do.
    enums_from: a site whose enumeration texts are read back too, and written into the file.
    name: what error lines call the stream.

    Interface messages, the request for settings and the clock carry no configuration and are
    skipped. Raises MessagesError with every bad line.
    """
    with _Import(enums_from, "import_messages") as importer:
        importer.add(lines, name)
        out = _strings_out()
        status = _lib.ssmsg_import_write(importer.handle, ctypes.byref(out))
        texts = _library.take_strings(out)
        importer.check(status)
        return texts[0]


class _Import:
    """An ssmsg_import, freed at the end of a with block."""

    def __init__(self, enums_from: Optional[Site], what: str) -> None:
        self.what = what
        self.handle = ctypes.c_void_p()
        _check(_lib.ssmsg_import_new(enums_from._open() if enums_from is not None else None,
                                     ctypes.byref(self.handle)), what)

    def __enter__(self) -> "_Import":
        return self

    def __exit__(self, *exception) -> None:
        _lib.ssmsg_import_free(self.handle)

    def add(self, lines, name: str) -> None:
        """Adds `lines` (one text of lines, or an iterable of lines) as the stream `name`."""
        if isinstance(lines, (str, bytes)):
            lines = lines.split("\n" if isinstance(lines, str) else b"\n")
        source = name.encode()
        for number, line in enumerate(lines, 1):
            data = _message_bytes(line)
            status = _lib.ssmsg_import_add_line(self.handle, data, len(data), source, number)
            if status != Status.FAILED:
                _check(status, self.what)

    def check(self, status: int) -> None:
        """MessagesError with every bad line when `status` is FAILED; else as _check."""
        if status == Status.FAILED:
            errors = _strings_out()
            _check(_lib.ssmsg_import_errors(self.handle, ctypes.byref(errors)), self.what)
            raise MessagesError(_library.take_strings(errors))
        _check(status, self.what)


def _message(status: int, messages, what: str, why: str) -> str:
    """The one message of an interface operation, or TaskError when it returned false."""
    texts = _library.take_strings(messages)
    if status == Status.FAILED:
        raise TaskError(f"{what} returned false: {why}", texts, [])
    _check(status, what)
    return texts[0]


def _strings_out():
    return ctypes.POINTER(_library.Strings)()


def _below_one(interface: int) -> str:
    return f"interface number {interface} is below 1"


def interface_start(interface: int, ip: str, port: int, *, main: bool = False) -> str:
    """The message that starts interface `interface` at IP address `ip` and port `port`;
    `main` makes it the main interface. TaskError for an interface number below 1."""
    out = _strings_out()
    status = _lib.ssmsg_interface_start(_int32("interface", interface), 1 if main else 0,
                                        ip.encode(), _int32("port", port), ctypes.byref(out))
    return _message(status, out, "interface_start", _below_one(interface))


def interface_stop(interface: int) -> str:
    """The message that stops interface `interface`. TaskError for a number below 1."""
    out = _strings_out()
    status = _lib.ssmsg_interface_stop(_int32("interface", interface), ctypes.byref(out))
    return _message(status, out, "interface_stop", _below_one(interface))


def interface_set_nodes(interface: int, add: Iterable[int] = (), timeouts: Iterable[int] = (),
                        remove: Iterable[int] = ()) -> str:
    """The message that tells interface `interface` which nodes to serve: nodes to `add`, with a
    timeout for each in `timeouts`, and nodes to `remove`. TaskError when both `add` and
    `remove` are empty, or for an interface number below 1."""
    adds, add_count = _numbers("add", add)
    times, time_count = _numbers("timeouts", timeouts)
    removes, remove_count = _numbers("remove", remove)
    out = _strings_out()
    status = _lib.ssmsg_interface_set_nodes(_int32("interface", interface), adds, add_count, times,
                                            time_count, removes, remove_count, ctypes.byref(out))
    why = "no node to add or remove" if not add_count and not remove_count \
        else _below_one(interface)
    return _message(status, out, "interface_set_nodes", why)


def interface_poll(interface: int, start: Iterable[int] = (), stop: Iterable[int] = ()) -> str:
    """The message that starts polling the nodes `start` and stops polling the nodes `stop` on
    interface `interface`. TaskError when both are empty, or for an interface number below 1."""
    starts, start_count = _numbers("start", start)
    stops, stop_count = _numbers("stop", stop)
    out = _strings_out()
    status = _lib.ssmsg_interface_poll(_int32("interface", interface), starts, start_count, stops,
                                       stop_count, ctypes.byref(out))
    why = "no node to start or stop" if not start_count and not stop_count \
        else _below_one(interface)
    return _message(status, out, "interface_poll", why)


def ask_settings(interface: int, node: int) -> str:
    """The message that asks controller `node` on interface `interface` to report its settings.
    TaskError for an interface number below 1 or a node below 0."""
    out = _strings_out()
    status = _lib.ssmsg_ask_settings(_int32("interface", interface), _int32("node", node),
                                     ctypes.byref(out))
    why = _below_one(interface) if interface < 1 else f"node {node} is below 0"
    return _message(status, out, "ask_settings", why)


def tasks() -> dict[int, str]:
    """What each settings task 151 to 177 sends, e.g. {161: "InputClearAll, then InputType per
    input", ...}."""
    out = _strings_out()
    _check(_lib.ssmsg_task_table(ctypes.byref(out)), "tasks")
    return {FIRST_TASK + i: sends for i, sends in enumerate(_library.take_strings(out))}


# What each settings task sends: tasks(), read only.
TASKS = MappingProxyType(tasks())
