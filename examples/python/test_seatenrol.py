"""The ctypes wrapper against the Linux library, with tools/enrol-server on
127.0.0.1 as the server and seat-enrol's output as the second opinion.

SEATENROL_LIBRARY, ENROL_SERVER and SEAT_ENROL name the three (run-tests.sh
sets them)."""

import errno
import json
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import seatenrol  # noqa: E402
from seatenrol import Result  # noqa: E402

VENUE = "440106123456"
SECRET = bytes(range(32))
WRONG_SECRET = bytes(range(1, 33))
ENROL_SERVER = os.environ.get("ENROL_SERVER", "")
SEAT_ENROL = os.environ.get("SEAT_ENROL", "")


def setUpModule():
    if not (os.environ.get("SEATENROL_LIBRARY") and ENROL_SERVER and SEAT_ENROL):
        raise unittest.SkipTest("SEATENROL_LIBRARY, ENROL_SERVER and SEAT_ENROL must name "
                                "the library and the tools")
    try:
        seatenrol.identity()
    except seatenrol.SeatenrolError as error:
        raise unittest.SkipTest("this host has no identity to enrol with: %s" % error)


class Server:
    """enrol-server with the fault flags given, on a loopback port of its own."""

    def __init__(self, folder, *flags):
        venues = os.path.join(folder, "venues.txt")
        with open(venues, "w") as file:
            file.write("%s %s\n" % (VENUE, SECRET.hex()))
        self.process = subprocess.Popen(
            [ENROL_SERVER, "--venues", venues, "--port", "0", *flags],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        ready, _, _ = select.select([self.process.stdout], [], [], 5)
        line = self.process.stdout.readline() if ready else b"{}"
        self.port = json.loads(line or b"{}").get("port", 0)

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.process.terminate()
        self.process.wait(5)
        self.process.stdout.close()


def closed_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def seat_enrol(*args):
    done = subprocess.run([SEAT_ENROL, *args], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=30)
    return done.stdout.decode("utf-8").splitlines()


class WithStore(unittest.TestCase):
    """Each test gets a stored server list of its own."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="seatenrol-python-")
        os.environ["SEATENROL_CONFIG_DIR"] = self.folder

    def tearDown(self):
        del os.environ["SEATENROL_CONFIG_DIR"]
        shutil.rmtree(self.folder)

    def enrol(self, port, secret=SECRET, venue=VENUE, server="127.0.0.1", **options):
        return seatenrol.enrol(venue, secret, server, port, **options)


class Outcomes(WithStore):
    def test_each_outcome_where_it_belongs(self):
        cases = [
            ("accepted", [], VENUE, SECRET, Result.OK, 0),
            ("wrong secret", [], VENUE, WRONG_SECRET, Result.REFUSED, -4),
            ("unknown venue", [], "4401069", SECRET, Result.REFUSED, -5),
            ("no answer", ["--drop"], VENUE, SECRET, Result.NO_ANSWER, 0),
            ("truncated reply", ["--truncate", "20"], VENUE, SECRET, Result.UNUSABLE_REPLY, 0),
        ]
        for name, flags, venue, secret, outcome, error_no in cases:
            with self.subTest(name), Server(self.folder, *flags) as server:
                self.assertNotEqual(server.port, 0)
                done = self.enrol(server.port, secret, venue)
                self.assertEqual((done.outcome, done.error_no), (outcome, error_no))
                self.assertIs(seatenrol.last_outcome(), outcome)
                answered = outcome in (Result.OK, Result.REFUSED)
                self.assertEqual(done.server_ip, "127.0.0.1" if answered else "")
                self.assertEqual(done.credential != bytes(32), outcome is Result.OK)
        self.assertIs(self.enrol(closed_port()).outcome, Result.PORT_UNREACHABLE)

    def test_an_accepted_enrolment_that_cannot_be_stored_keeps_its_grant(self):
        with Server(self.folder) as server:
            os.environ["SEATENROL_CONFIG_DIR"] = os.path.join(self.folder, "missing")
            done = self.enrol(server.port)
        self.assertIs(done.outcome, Result.STORE_FAILED)
        self.assertEqual(done.server_ip, "127.0.0.1")
        self.assertNotEqual(done.credential, bytes(32))

    def test_the_systems_reason_and_the_chosen_folders(self):
        done = self.enrol(closed_port())
        self.assertEqual((done.system_error, seatenrol.last_system_error()),
                         (errno.ECONNREFUSED, errno.ECONNREFUSED))
        with self.assertRaises(seatenrol.SeatenrolError) as raised:
            seatenrol.set_store_directory(os.path.join(self.folder, "missing"))
        self.assertIs(raised.exception.result, Result.BAD_ARGUMENT)
        chosen = os.path.join(self.folder, "chosen")
        os.mkdir(chosen)
        seatenrol.set_store_directory(chosen)
        seatenrol.set_log_directory(chosen)
        try:
            self.assertEqual(seatenrol.store_path(), os.path.join(chosen, "regaddrs.dat"))
            with Server(self.folder) as server:
                self.assertIs(self.enrol(server.port).outcome, Result.OK)
            self.assertEqual(len(seatenrol.list_servers()[0]), 1)
        finally:
            seatenrol.set_store_directory(None)
            seatenrol.set_log_directory(None)
        self.assertEqual(seatenrol.list_servers()[0], [])

    def test_bad_arguments(self):
        closed = closed_port()
        for venue, server, port in [("", "127.0.0.1", closed), ("4" * 21, "127.0.0.1", closed),
                                    (VENUE, "", closed), (VENUE, "a" * 256, closed),
                                    (VENUE, "127.0.0.1", 0), (VENUE, "127.0.0.1", 65536)]:
            with self.subTest(venue=venue, server=server[:10], port=port):
                self.assertIs(self.enrol(port, venue=venue, server=server).outcome,
                              Result.BAD_ARGUMENT)
                self.assertIs(seatenrol.last_outcome(), Result.BAD_ARGUMENT)
        with self.assertRaises(ValueError):
            self.enrol(closed, secret=SECRET[:31])  # never handed to the library
        with self.assertRaises(seatenrol.SeatenrolError) as raised:
            seatenrol.forget("", 9000)
        self.assertIs(raised.exception.result, Result.BAD_ARGUMENT)


# A child that enrols with a silent server, says "sent" once its request is
# out, and reports how its KeyboardInterrupt came.
INTERRUPTED_CHILD = r"""
import sys, threading
sys.path.insert(0, sys.argv[1])
import seatenrol
def progress(stage, detail, elapsed_ms):
    if stage is seatenrol.Stage.SENT:
        print("sent", flush=True)
try:
    seatenrol.enrol(sys.argv[2], bytes(range(32)), "127.0.0.1", int(sys.argv[3]),
                    reply_wait=30, progress=progress)
    print("not interrupted", flush=True)
except KeyboardInterrupt:
    running = [t for t in threading.enumerate() if t.is_alive()]
    print("interrupted, threads left: %d" % len(running), flush=True)
"""


class Limits(WithStore):
    def test_wait_sends_timeout_and_cancel(self):
        with Server(self.folder, "--drop") as silent:
            requested = seatenrol.Cancel()
            requested.request()
            cases = [
                ("a short reply wait", dict(reply_wait=0.3), Result.NO_ANSWER, 0.25, 3),
                ("four sends within it", dict(reply_wait=0.6, sends=4), Result.NO_ANSWER, 0.5, 3),
                ("a deadline cuts the wait", dict(timeout=0.3), Result.NO_ANSWER, 0.25, 3),
                ("a cancel requested before", dict(cancel=requested), Result.CANCELLED, 0, 1),
                ("sends out of range", dict(sends=9), Result.BAD_ARGUMENT, 0, 1),
            ]
            for name, options, outcome, at_least, at_most in cases:
                with self.subTest(name):
                    started = time.monotonic()
                    done = self.enrol(silent.port, **options)
                    took = time.monotonic() - started
                    self.assertIs(done.outcome, outcome)
                    self.assertIs(seatenrol.last_outcome(), outcome)
                    self.assertTrue(at_least <= took < at_most, took)
            requested.close()
        self.assertIs(seatenrol.list_servers()[1], seatenrol.ListSource.NONE_YET)

    def test_progress_tells_each_stage_in_order(self):
        stages = []
        with Server(self.folder) as server:
            done = self.enrol(server.port, progress=lambda *told: stages.append(told[:2]))
        self.assertIs(done.outcome, Result.OK)
        self.assertEqual(stages, [(seatenrol.Stage.RESOLVED, 1), (seatenrol.Stage.SENT, 1),
                                  (seatenrol.Stage.REPLY, 0), (seatenrol.Stage.STORING, 0),
                                  (seatenrol.Stage.DONE, Result.OK)])

    def test_keyboard_interrupt_cancels_the_enrolment(self):
        with Server(self.folder, "--drop") as silent:
            child = subprocess.Popen(
                [sys.executable, "-B", "-c", INTERRUPTED_CHILD, os.path.dirname(seatenrol.__file__),
                 VENUE, str(silent.port)], stdout=subprocess.PIPE,
                # A SIGINT ignored by whoever started the tests would stay
                # ignored, and Python would install no handler for it.
                preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
            try:
                ready, _, _ = select.select([child.stdout], [], [], 10)
                self.assertEqual(child.stdout.readline() if ready else b"", b"sent\n")
                interrupted = time.monotonic()
                child.send_signal(signal.SIGINT)
                output, _ = child.communicate(timeout=10)
                took = time.monotonic() - interrupted
            finally:
                if child.poll() is None:
                    child.kill()
                    child.wait()
        # The design's bound is 300 ms; a loaded test machine gets more.
        self.assertLess(took, 2, output)
        self.assertEqual(output, b"interrupted, threads left: 1\n")
        self.assertEqual(child.returncode, 0)
        self.assertIs(seatenrol.list_servers()[1], seatenrol.ListSource.NONE_YET)


class AgreesWithSeatEnrol(WithStore):
    def test_identity(self):
        seat = seatenrol.identity()
        self.assertEqual(seat_enrol("identity"), ["ip: " + seat.ip, "mac: " + seat.mac.hex(),
                                                  "host name: " + seat.host_name])

    def test_list_and_forget(self):
        with Server(self.folder) as first, Server(self.folder) as second:
            done = [self.enrol(server.port) for server in (first, second)]
        self.assertEqual([d.outcome for d in done], [Result.OK, Result.OK])
        servers, source = seatenrol.list_servers()
        self.assertIs(source, seatenrol.ListSource.PRIMARY)
        self.assertEqual(servers, [seatenrol.Server("127.0.0.1", s.port, True, d.credential)
                                   for s, d in zip((first, second), done)])
        lines = seat_enrol("list")
        self.assertEqual(lines[:2], ["store: " + seatenrol.store_path(), "servers: 2"])
        for index, (server, line) in enumerate(zip(servers, lines[2:])):
            self.assertEqual(line.split(), [str(index), server.name, "port", str(server.port),
                                            "enrolled", "1", "credential",
                                            server.credential.hex()])

        seatenrol.forget("127.0.0.1", first.port)
        with self.assertRaises(seatenrol.SeatenrolError) as raised:
            seatenrol.forget("127.0.0.1", first.port)
        self.assertIs(raised.exception.result, Result.NOT_FOUND)
        self.assertEqual(seat_enrol("list")[1], "servers: 1")
        seatenrol.forget_all()
        self.assertEqual(seatenrol.list_servers()[0], [])
        self.assertEqual(seat_enrol("list")[1], "servers: 0")


if __name__ == "__main__":
    unittest.main()
