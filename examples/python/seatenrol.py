"""seatenrol's C interface from Python, through ctypes (standard library only).

    import seatenrol
    done = seatenrol.enrol("440106123456", secret, "mgmt.example", 9000)
    if done.outcome is not seatenrol.Result.OK:
        print(done.error_no, seatenrol.outcome_text(done.outcome))

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
from dataclasses import dataclass
from typing import List, Optional, Tuple

__all__ = [
    "Result", "Source", "ListSource", "SeatenrolError", "Enrolment", "Identity", "Server",
    "Library", "enrol", "last_outcome", "last_system_error", "outcome_text", "identity",
    "list_servers", "forget", "forget_all", "store_path", "set_store_directory",
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
        stdcall = sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4
        self._dll = (ctypes.WinDLL if stdcall else ctypes.CDLL)(path)
        i32, p = ctypes.c_int32, ctypes.POINTER
        self._declare("seatenrol_enrol", ctypes.c_char_p, p(ctypes.c_uint8), ctypes.c_char_p, i32,
                      p(EnrolmentRecord))
        self._declare("seatenrol_last_outcome")
        self._declare("seatenrol_last_system_error")
        self._declare("seatenrol_outcome_text", i32, restype=ctypes.c_char_p)
        self._declare("seatenrol_get_identity", p(IdentityRecord))
        self._declare("seatenrol_list_servers", p(ServerRecord), i32, p(i32), p(i32))
        self._declare("seatenrol_forget_server", ctypes.c_char_p, i32)
        self._declare("seatenrol_forget_all")
        self._declare("seatenrol_store_path", ctypes.c_char_p, i32, p(i32))
        self._declare("seatenrol_set_store_directory", ctypes.c_char_p)
        self._declare("seatenrol_set_log_directory", ctypes.c_char_p)
        self._declare("seatenrol_version", restype=ctypes.c_char_p)

    def _declare(self, name, *argtypes, restype=ctypes.c_int):
        function = getattr(self._dll, name)
        function.argtypes = argtypes
        function.restype = restype
        setattr(self, "_" + name[len("seatenrol_"):], function)

    def _check(self, result: int) -> None:
        if result != Result.OK:
            raise SeatenrolError(result, self.outcome_text(result))

    def enrol(self, venue: str, secret: bytes, server: str, port: int) -> Enrolment:
        """Enrols this seat (up to 5 s); the outcome says how it went."""
        if len(secret) != 32:
            raise ValueError("the venue's secret is 32 bytes")
        record = EnrolmentRecord(size=ctypes.sizeof(EnrolmentRecord))
        key = (ctypes.c_uint8 * 32).from_buffer_copy(secret)
        self._enrol(_text(venue), key, _text(server), port, ctypes.byref(record))
        return Enrolment(_result(record.outcome), record.error_no,
                         record.server_ip.decode("ascii"), bytes(record.credential),
                         record.system_error)

    def last_outcome(self) -> Result:
        """This thread's last enrolment's outcome."""
        return _result(self._last_outcome())

    def last_system_error(self) -> int:
        """The system's code for the step that ended this thread's last enrolment, else 0."""
        return self._last_system_error()

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

    def set_store_directory(self, folder: Optional[str]) -> None:
        """Keeps the stored server list in folder (which must exist) from the next call on;
        None restores the default."""
        self._check(self._set_store_directory(_text(folder)))

    def set_log_directory(self, folder: Optional[str]) -> None:
        """Writes the log in folder (which must exist) from the next line on; None restores
        the default, beside the program."""
        self._check(self._set_log_directory(_text(folder)))

    def version(self) -> str:
        return self._version().decode("ascii")


_loaded: Optional[Library] = None


def _library() -> Library:
    global _loaded
    if _loaded is None:
        _loaded = Library()
    return _loaded


def enrol(venue: str, secret: bytes, server: str, port: int) -> Enrolment:
    return _library().enrol(venue, secret, server, port)


def last_outcome() -> Result:
    return _library().last_outcome()


def last_system_error() -> int:
    return _library().last_system_error()


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


def set_store_directory(folder: Optional[str]) -> None:
    _library().set_store_directory(folder)


def set_log_directory(folder: Optional[str]) -> None:
    _library().set_log_directory(folder)


def version() -> str:
    return _library().version()


if __name__ == "__main__":
    seat = identity()
    print("seatenrol", version())
    print("ip: %s\nmac: %s\nhost name: %s" % (seat.ip, seat.mac.hex(), seat.host_name))
    print("store:", store_path())
    for server in list_servers()[0]:
        print(" %s port %d enrolled %d" % (server.name, server.port, server.enrolled))
