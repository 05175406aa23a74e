"""seatenrol's C interface from Python, through ctypes (standard library only).

    import seatenrol
    done = seatenrol.enrol("440106123456", secret, "mgmt.example", 9000,
                           timeout=8, sends=4)
    if done.outcome is not seatenrol.Result.OK:
        print(done.error_no, seatenrol.outcome_text(done.outcome))

Ctrl-C (KeyboardInterrupt) during an enrolment cancels it: the library's call
runs on a worker thread while the calling thread waits in short slices, so the
interrupt is raised within a fraction of a second, after the call has ended
with nothing stored.

The module-level functions use the library found by SEATENROL_LIBRARY (a
full path), else the system's search for the platform's name (seatenrol.dll,
libseatenrol.so.0); Library(path) loads another. On 32-bit Windows the
functions are __stdcall, so the library is loaded as a WinDLL.
"""

import ctypes
import ctypes.util
import enum
import os
import sys
import threading
from dataclasses import dataclass
from typing import Callable, List, Optional, Tuple

__all__ = [
    "Result", "Source", "ListSource", "Stage", "SeatenrolError", "Enrolment", "Identity",
    "Server", "Library", "Cancel", "enrol", "last_outcome", "last_system_error", "outcome_text",
    "identity", "list_servers", "forget", "forget_all", "store_path", "set_store_directory",
    "set_log_directory", "version",
]


class Result(enum.IntEnum):
    OK = 0
    REFUSED = 1
    NO_ANSWER = 2
    PORT_UNREACHABLE = 3
    UNRESOLVED = 4
    UNUSABLE_REPLY = 5
    NOT_SENT = 6
    NO_IDENTITY = 7
    STORE_FAILED = 8
    STORE_LOCKED = 9
    BAD_ARGUMENT = 10
    NO_MEMORY = 11
    NETWORK_NOT_STARTED = 12
    NOT_FOUND = 13
    CANCELLED = 14
    TIMED_OUT = 15


class Source(enum.IntEnum):
    """Where a part of the identity came from."""
    ADAPTER = 0
    HOST_NAME = 1
    ADDRESS = 2


class ListSource(enum.IntEnum):
    """Where the stored server list was read from."""
    NONE_YET = 0
    PRIMARY = 1
    BACKUP = 2


class Stage(enum.IntEnum):
    """What an enrolment's progress callback is told, in order."""
    RESOLVED = 1  # detail: how many addresses the name gave
    SENT = 2      # detail: the request's number for this address, 1 up
    REPLY = 3     # detail: the server's error number
    STORING = 4   # detail: 0
    DONE = 5      # detail: the outcome


class EnrolmentRecord(ctypes.Structure):
    """seatenrol_enrolment"""
    _fields_ = [
        ("size", ctypes.c_uint32),
        ("outcome", ctypes.c_int32),
        ("error_no", ctypes.c_int32),
        ("server_ip", ctypes.c_char * 16),
        ("credential", ctypes.c_uint8 * 32),
        ("system_error", ctypes.c_int32),
    ]


# The C interface's callbacks share its convention: __stdcall on 32-bit Windows.
_STDCALL = sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4
_CALLBACK = ctypes.WINFUNCTYPE if _STDCALL else ctypes.CFUNCTYPE
ProgressFunction = _CALLBACK(None, ctypes.c_void_p, ctypes.c_int32, ctypes.c_int32,
                             ctypes.c_int32)


class OptionsRecord(ctypes.Structure):
    """seatenrol_options"""
    _fields_ = [
        ("size", ctypes.c_uint32),
        ("reply_wait_ms", ctypes.c_int32),
        ("sends", ctypes.c_int32),
        ("deadline_ms", ctypes.c_int32),
        ("cancel", ctypes.c_void_p),
        ("progress", ProgressFunction),
        ("progress_context", ctypes.c_void_p),
    ]


class IdentityRecord(ctypes.Structure):
    """seatenrol_identity"""
    _fields_ = [
        ("size", ctypes.c_uint32),
        ("ip_source", ctypes.c_int32),
        ("mac_source", ctypes.c_int32),
        ("ip", ctypes.c_char * 16),
        ("host_name", ctypes.c_char * 24),
        ("mac", ctypes.c_uint8 * 6),
        ("reserved", ctypes.c_uint8 * 2),
    ]


class ServerRecord(ctypes.Structure):
    """seatenrol_server"""
    _fields_ = [
        ("port", ctypes.c_int32),
        ("enrolled", ctypes.c_int32),
        ("credential", ctypes.c_uint8 * 32),
        ("name", ctypes.c_char * 256),
    ]


# The layouts are fixed on every architecture; a field typed wrongly here
# would shift every field after it.
assert ctypes.sizeof(EnrolmentRecord) == 64
assert ctypes.sizeof(OptionsRecord) == 16 + 3 * ctypes.sizeof(ctypes.c_void_p)
assert ctypes.sizeof(IdentityRecord) == 60
assert ctypes.sizeof(ServerRecord) == 296


class SeatenrolError(Exception):
    """A call other than an enrolment failed; result says why."""

    def __init__(self, result: int, text: str):
        super().__init__(text)
        self.result = _result(result)


@dataclass(frozen=True)
class Enrolment:
    outcome: Result
    error_no: int     # the server's error number when it answered, else 0
    server_ip: str    # the address whose reply was used, else ""
    credential: bytes  # 32 bytes; zeros unless the server accepted
    system_error: int = 0  # the system's code for the step that ended the call, else 0


@dataclass(frozen=True)
class Identity:
    ip: str
    mac: bytes
    host_name: str
    ip_source: Source
    mac_source: Source


@dataclass(frozen=True)
class Server:
    name: str
    port: int
    enrolled: bool
    credential: bytes


def _result(value: int):
    try:
        return Result(value)
    except ValueError:
        return value


def _text(value: Optional[str]) -> Optional[bytes]:
    return None if value is None else value.encode("utf-8")


def _milliseconds(seconds: Optional[float], name: str) -> int:
    """Seconds as the whole milliseconds an option takes; None is 0, the default."""
    if seconds is None:
        return 0
    if seconds <= 0:
        raise ValueError("%s must be more than 0 seconds" % name)
    return min(max(1, int(round(seconds * 1000))), 2**31 - 1)


# How often a waiting enrolment lets the calling thread take a signal.
_WAIT_SLICE = 0.05

# The outcome of this thread's last enrolment through the wrapper, whose
# call may have run on a worker thread.
_this_thread = threading.local()


def _default_name() -> str:
    if sys.platform == "win32":
        return "seatenrol.dll"
    if sys.platform == "darwin":
        return "libseatenrol.dylib"
    return "libseatenrol.so.0"


class Library:
    """One loaded copy of the library and its functions."""

    def __init__(self, path: Optional[str] = None):
        path = path or os.environ.get("SEATENROL_LIBRARY") or \
            ctypes.util.find_library("seatenrol") or _default_name()
        if sys.platform == "win32":
            # The library needs Winsock started; Python's socket module starts it.
            import socket  # noqa: F401
        self._dll = (ctypes.WinDLL if _STDCALL else ctypes.CDLL)(path)
        i32, p = ctypes.c_int32, ctypes.POINTER
        self._declare("seatenrol_enrol", ctypes.c_char_p, p(ctypes.c_uint8), ctypes.c_char_p, i32,
                      p(EnrolmentRecord))
        self._declare("seatenrol_enrol_with", ctypes.c_char_p, p(ctypes.c_uint8), ctypes.c_char_p,
                      i32, p(OptionsRecord), p(EnrolmentRecord))
        self._declare("seatenrol_cancel_create", restype=ctypes.c_void_p)
        self._declare("seatenrol_cancel_request", ctypes.c_void_p)
        self._declare("seatenrol_cancel_destroy", ctypes.c_void_p, restype=None)
        self._declare("seatenrol_last_outcome")
        self._declare("seatenrol_last_system_error")
        self._declare("seatenrol_set_store_directory", ctypes.c_char_p)
        self._declare("seatenrol_set_log_directory", ctypes.c_char_p)
        self._declare("seatenrol_outcome_text", i32, restype=ctypes.c_char_p)
        self._declare("seatenrol_get_identity", p(IdentityRecord))
        self._declare("seatenrol_list_servers", p(ServerRecord), i32, p(i32), p(i32))
        self._declare("seatenrol_forget_server", ctypes.c_char_p, i32)
        self._declare("seatenrol_forget_all")
        self._declare("seatenrol_store_path", ctypes.c_char_p, i32, p(i32))
        self._declare("seatenrol_version", restype=ctypes.c_char_p)

    def _declare(self, name, *argtypes, restype=ctypes.c_int):
        function = getattr(self._dll, name)
        function.argtypes = argtypes
        function.restype = restype
        setattr(self, "_" + name[len("seatenrol_"):], function)

    def _check(self, result: int) -> None:
        if result != Result.OK:
            raise SeatenrolError(result, self.outcome_text(result))

    def enrol(self, venue: str, secret: bytes, server: str, port: int, *,
              timeout: Optional[float] = None, reply_wait: Optional[float] = None,
              sends: Optional[int] = None, cancel: Optional["Cancel"] = None,
              progress: Optional[Callable[[Stage, int, int], None]] = None) -> Enrolment:
        """Enrols this seat; the outcome says how it went.

        timeout: seconds for the whole call, name lookup and the list's lock
        included (None: no limit; the reply waits still end). reply_wait:
        seconds to wait for each address's reply (None: 5). sends: requests
        per address within that wait, 1 to 8 (None: one). cancel: a Cancel
        whose request() ends the call with Result.CANCELLED. progress:
        called as progress(stage, detail, elapsed_ms) from the thread that
        runs the call; what it raises is dropped.

        A KeyboardInterrupt while the call runs cancels it, waits for it to
        end (within 100 ms) and is raised again; nothing is then stored."""
        if len(secret) != 32:
            raise ValueError("the venue's secret is 32 bytes")
        options = OptionsRecord(size=ctypes.sizeof(OptionsRecord),
                                reply_wait_ms=_milliseconds(reply_wait, "reply_wait"),
                                sends=0 if sends is None else sends,
                                deadline_ms=_milliseconds(timeout, "timeout"))
        own_cancel = Cancel(self) if cancel is None else None
        options.cancel = (cancel or own_cancel)._handle
        if progress is not None:
            def report(_context, stage, detail, elapsed_ms):
                try:
                    progress(_stage(stage), detail, elapsed_ms)
                except Exception:  # noqa: BLE001 - nothing may unwind into the library
                    pass
            options.progress = ProgressFunction(report)
        record = EnrolmentRecord(size=ctypes.sizeof(EnrolmentRecord))
        key = (ctypes.c_uint8 * 32).from_buffer_copy(secret)
        returned = []

        def call():
            returned.append(self._enrol_with(_text(venue), key, _text(server), port,
                                             ctypes.byref(options), ctypes.byref(record)))
        try:
            self._run_interruptibly(call, options.cancel)
        finally:
            ctypes.memset(key, 0, ctypes.sizeof(key))
            if own_cancel is not None:
                own_cancel.close()
        # A call refused for its arguments writes nothing to the record: the
        # returned value is the outcome.
        outcome = returned[0]
        _this_thread.outcome = outcome
        _this_thread.system_error = record.system_error
        return Enrolment(_result(outcome), record.error_no, record.server_ip.decode("ascii"),
                         bytes(record.credential), record.system_error)

    def _run_interruptibly(self, call, cancel_handle) -> None:
        """Runs call on a worker thread when this is the main thread, which
        alone takes Python's signals, so a KeyboardInterrupt can cancel it."""
        if threading.current_thread() is not threading.main_thread():
            call()
            return
        worker = threading.Thread(target=call, name="seatenrol enrolment", daemon=True)
        worker.start()
        try:
            while worker.is_alive():
                worker.join(_WAIT_SLICE)
        except BaseException:
            self._cancel_request(cancel_handle)
            worker.join()
            raise

    def new_cancel(self) -> "Cancel":
        return Cancel(self)

    def last_outcome(self) -> Result:
        """This thread's last enrolment's outcome."""
        outcome = getattr(_this_thread, "outcome", None)
        return _result(self._last_outcome() if outcome is None else outcome)

    def last_system_error(self) -> int:
        """The system's code for what ended this thread's last enrolment, else 0."""
        code = getattr(_this_thread, "system_error", None)
        return self._last_system_error() if code is None else code

    def set_store_directory(self, folder: Optional[str]) -> None:
        """Keeps the stored server list in folder (which must exist) from the
        next call on; None restores the default."""
        self._check(self._set_store_directory(_text(folder)))

    def set_log_directory(self, folder: Optional[str]) -> None:
        """Writes the log in folder (which must exist); None: beside the program."""
        self._check(self._set_log_directory(_text(folder)))

    def outcome_text(self, outcome: int) -> str:
        return self._outcome_text(outcome).decode("utf-8")

    def identity(self) -> Identity:
        record = IdentityRecord(size=ctypes.sizeof(IdentityRecord))
        self._check(self._get_identity(ctypes.byref(record)))
        return Identity(record.ip.decode("ascii"), bytes(record.mac),
                        record.host_name.decode("utf-8", "replace"),
                        Source(record.ip_source), Source(record.mac_source))

    def list_servers(self) -> Tuple[List[Server], ListSource]:
        """The stored server list, and where it was read from."""
        count, source = ctypes.c_int32(), ctypes.c_int32()
        self._check(self._list_servers(None, 0, ctypes.byref(count), None))
        # Room for one more than counted, in case an enrolment adds one between.
        records = (ServerRecord * (count.value + 1))()
        self._check(self._list_servers(records, len(records), ctypes.byref(count),
                                       ctypes.byref(source)))
        servers = [Server(r.name.decode("utf-8", "replace"), r.port, r.enrolled == 1,
                          bytes(r.credential)) for r in records[:min(count.value, len(records))]]
        return servers, ListSource(source.value)

    def forget(self, server: str, port: int) -> None:
        """Removes one server; SeatenrolError(NOT_FOUND) when it is not listed."""
        self._check(self._forget_server(_text(server), port))

    def forget_all(self) -> None:
        self._check(self._forget_all())

    def store_path(self) -> str:
        needed = ctypes.c_int32()
        self._store_path(None, 0, ctypes.byref(needed))
        buffer = ctypes.create_string_buffer(max(needed.value, 1))
        self._check(self._store_path(buffer, len(buffer), ctypes.byref(needed)))
        return buffer.value.decode("utf-8")

    def version(self) -> str:
        return self._version().decode("ascii")


def _stage(value: int):
    try:
        return Stage(value)
    except ValueError:
        return value


class Cancel:
    """Ends the enrolment that uses it: request() from any thread, at any
    time, and that call returns Result.CANCELLED within 100 ms (nothing is
    stored, unless the store of an accepted answer had begun). One
    enrolment at a time; once requested it stays requested. close() (or
    leaving a with block) frees it once no enrolment uses it."""

    def __init__(self, library: Optional[Library] = None):
        self._library = library or _library()
        self._handle = self._library._cancel_create()
        if not self._handle:
            raise MemoryError("seatenrol_cancel_create")

    def request(self) -> None:
        if self._handle:
            self._library._cancel_request(self._handle)

    def close(self) -> None:
        handle, self._handle = self._handle, None
        if handle:
            self._library._cancel_destroy(handle)

    def __enter__(self) -> "Cancel":
        return self

    def __exit__(self, *exception) -> None:
        self.close()


_loaded: Optional[Library] = None


def _library() -> Library:
    global _loaded
    if _loaded is None:
        _loaded = Library()
    return _loaded


def enrol(venue: str, secret: bytes, server: str, port: int, **options) -> Enrolment:
    """Library.enrol with the module's library: timeout, reply_wait, sends,
    cancel and progress as there."""
    return _library().enrol(venue, secret, server, port, **options)


def last_outcome() -> Result:
    return _library().last_outcome()


def last_system_error() -> int:
    return _library().last_system_error()


def set_store_directory(folder: Optional[str]) -> None:
    _library().set_store_directory(folder)


def set_log_directory(folder: Optional[str]) -> None:
    _library().set_log_directory(folder)


def outcome_text(outcome: int) -> str:
    return _library().outcome_text(outcome)


def identity() -> Identity:
    return _library().identity()


def list_servers() -> Tuple[List[Server], ListSource]:
    return _library().list_servers()


def forget(server: str, port: int) -> None:
    _library().forget(server, port)


def forget_all() -> None:
    _library().forget_all()


def store_path() -> str:
    return _library().store_path()


def version() -> str:
    return _library().version()


if __name__ == "__main__":
    seat = identity()
    print("seatenrol", version())
    print("ip: %s\nmac: %s\nhost name: %s" % (seat.ip, seat.mac.hex(), seat.host_name))
    print("store:", store_path())
    for server in list_servers()[0]:
        print(" %s port %d enrolled %d" % (server.name, server.port, server.enrolled))
