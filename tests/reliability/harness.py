"""Drives the real quendra.exe under Wine for the reliability and client tests.

The tests run natively on Linux inside the Wine session that scripts/test.sh starts
(DISPLAY, WINEPREFIX). Each test installs its own copy of the program in a folder under
/tmp with its own quendra.ini, talks to it over 127.0.0.1 and reads its output file
directly; what only a Wine process can see or do goes through relay_probe.exe.
"""

import os
import random
import resource
import select
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
# ctest reports a test that exits with this code as skipped.
SKIP_EXIT_CODE = 77

# Paths of quendra.exe and relay_probe.exe, from the command line (see main()).
QUENDRA_EXE = None
PROBE_EXE = None


def windows_path(linux_path):
    """The path under which a Wine process sees a Linux path (drive Z: is /)."""
    return "Z:" + os.path.abspath(linux_path).replace("/", "\\")


def stripped(block):
    """The strip rule: one trailing CR, then one trailing CR LF, are removed."""
    if block.endswith(b"\r"):
        block = block[:-1]
    if block.endswith(b"\r\n"):
        block = block[:-2]
    return block


def wait_until(condition, timeout, interval=0.02):
    """Polls `condition` until it holds or `timeout` seconds pass; returns its last value."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= end:
            return value
        time.sleep(interval)


def read_file(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def stable_content(path, timeout=5.0):
    """The file's content once two reads 10 ms apart agree (a reader may catch a write
    half done); None while the file is missing."""
    end = time.monotonic() + timeout
    previous = read_file(path)
    while True:
        time.sleep(0.01)
        current = read_file(path)
        if current == previous or time.monotonic() >= end:
            return current
        previous = current


def describe(data, limit=60):
    if data is None:
        return "<missing>"
    shown = data[:limit]
    more = "" if len(data) <= limit else "... (%d bytes)" % len(data)
    return repr(shown) + more


def listen_queue(port):
    """The connections waiting to be accepted on the IPv4 port, or None when nothing
    listens there. Read from the kernel's table, so that asking makes no connection the
    relay would have to handle."""
    wanted = ":%04X" % port
    try:
        with open("/proc/net/tcp") as table:
            next(table)
            for line in table:
                fields = line.split()
                if fields[1].endswith(wanted) and fields[3] == "0A":
                    # For a listening socket the receive queue is its accept queue.
                    return int(fields[4].split(":")[1], 16)
    except OSError:
        pass
    return None


def is_listening(port):
    return listen_queue(port) is not None


def ports_in_use():
    """Every local TCP port that some socket holds, in any state."""
    used = set()
    for table_path in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table_path) as table:
                next(table)
                for line in table:
                    used.add(int(line.split()[1].rsplit(":", 1)[1], 16))
        except OSError:
            pass
    return used


TCP_STATES = {1: "ESTABLISHED", 2: "SYN_SENT", 3: "SYN_RECV", 4: "FIN_WAIT1", 5: "FIN_WAIT2",
              6: "TIME_WAIT", 7: "CLOSE", 8: "CLOSE_WAIT", 9: "LAST_ACK", 10: "LISTEN", 11: "CLOSING"}


def relay_side_state(port, client_port):
    """The state of the relay's end of the connection from the local `client_port`, as
    the kernel keeps it, or None when the kernel has no such end (it never completed
    the connection, or the end is gone)."""
    local, remote = ":%04X" % port, ":%04X" % client_port
    try:
        with open("/proc/net/tcp") as table:
            next(table)
            for line in table:
                fields = line.split()
                if fields[1].endswith(local) and fields[2].endswith(remote):
                    return TCP_STATES.get(int(fields[3], 16), fields[3])
    except OSError:
        pass
    return None


def pick_port(base, span=10):
    """The first port from `base` on that no socket holds. A port the relay closed first
    stays held for a minute (TIME_WAIT), and under Wine a new listener cannot bind it."""
    used = ports_in_use()
    for port in range(base, base + span):
        if port not in used:
            return port
    return None


def raise_fd_limit(wanted=65536):
    """Lets the test hold thousands of sockets: the soft limit goes up to `wanted`, or to
    the hard limit when the hard limit cannot be raised (it can as root)."""
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    try:
        resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, wanted), max(hard, wanted)))
    except (ValueError, OSError):
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    return resource.getrlimit(resource.RLIMIT_NOFILE)[0]


# ---------------------------------------------------------------------------- clients


def connect(port, timeout=10.0):
    return socket.create_connection(("127.0.0.1", port), timeout=timeout)


def reset(sock):
    """Closes abortively: the peer sees a reset, not an end of data."""
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


def wait_peer_closed(sock, timeout):
    """Reads until the relay ends the connection; True when it did within `timeout`.
    The relay never sends, so any byte received is a fault too (returned as False)."""
    sock.settimeout(timeout)
    try:
        return sock.recv(1) == b""
    except ConnectionResetError:
        return True
    except socket.timeout:
        return False


def deliver(port, data, timeout=20.0):
    """Sends `data` on a new connection, ends it, and returns once the relay has handled
    everything: the relay handles a connection's data before its end, and closes its side
    only at the end. Returns False when the relay did not close within `timeout`."""
    with connect(port, timeout) as sock:
        sock.sendall(data)
        sock.shutdown(socket.SHUT_WR)
        return wait_peer_closed(sock, timeout)


def unique_block(tag="final"):
    """A block no other step sends, ending in CR LF as a typed line does."""
    return ("%s %d %s\r\n" % (tag, time.monotonic_ns(), random.getrandbits(64))).encode()


# ---------------------------------------------------------------------------- Wine side


class WineSession:
    """Where Wine processes run: the session that scripts/test.sh started, unless a test
    makes one of its own (see PrivateWineSession)."""

    env = None        # the test's own environment
    open_files = None

    def popen(self, args, **kwargs):
        limit = self.open_files

        def lower_limit():
            # A Wine server takes the limits of the Wine process that starts it.
            resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit))

        return subprocess.Popen(args, env=self.env, preexec_fn=lower_limit if limit else None, **kwargs)

    def run(self, args, timeout):
        process = self.popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        try:
            return process.wait(timeout) == 0
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(10)
            return False


class PrivateWineSession(WineSession):
    """A Wine prefix and server of the test's own, on the session's display, for faults that
    must not touch the shared server: a server that may open only `open_files` files."""

    def __init__(self, open_files):
        self.prefix = tempfile.mkdtemp(prefix="quendra-prefix-", dir="/tmp")
        self.env = dict(os.environ, WINEPREFIX=self.prefix)
        self.open_files = open_files

    def start(self):
        """Prepares the prefix (some seconds) and starts its server for good; False when Wine
        cannot make the prefix."""
        if not self.run([WINE, "wineboot", "-i"], timeout=180):
            return False
        # Kept for good; it answers 2 when the server that wineboot started is still up.
        self.run([WINESERVER, "-p"], timeout=30)
        return self.run([WINE, "rundll32.exe", "user32.dll,GetDesktopWindow"], timeout=60)

    def stop(self):
        # Ends this prefix's own server and everything that runs in it, nothing else.
        subprocess.run([WINESERVER, "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)
        shutil.rmtree(self.prefix, ignore_errors=True)


SESSION = WineSession()


class Probe:
    """relay_probe.exe, running for one test module: one command a line, one answer."""

    def __init__(self, session=SESSION):
        self.session = session
        self.process = session.popen([WINE, PROBE_EXE], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        self.pending = b""

    def ask(self, command, timeout=30.0):
        self.process.stdin.write((command + "\n").encode())
        self.process.stdin.flush()
        end = time.monotonic() + timeout
        while b"\n" not in self.pending:
            left = end - time.monotonic()
            if left <= 0:
                raise AssertionError("relay_probe gave no answer to %r within %.0f s" % (command, timeout))
            ready, _, _ = select.select([self.process.stdout], [], [], left)
            if ready:
                chunk = os.read(self.process.stdout.fileno(), 65536)
                if not chunk:
                    raise AssertionError("relay_probe ended while asked %r" % command)
                self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode(errors="replace").rstrip("\r")

    def close(self):
        try:
            self.process.stdin.write(b"quit\n")
            self.process.stdin.close()
            self.process.wait(10)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()
            self.process.wait(10)


def settings_text(port, output, idle_priority=0):
    return ("[General]\r\nListenOnPort=%d\r\nOutputFile=%s\r\nIdlePriority=%d\r\n"
            % (port, output, idle_priority)).encode()


def mutex_sum(directory):
    """The byte sum that names a copy's single-instance guard: copies whose folders sum
    alike refuse to run side by side."""
    return sum((windows_path(directory) + "\\").encode())


class Relay:
    """One installed copy of quendra.exe: its folder, settings, process and output file.

    `settings` gives the exact content of quendra.ini, as bytes or as a function of the
    port and of the output file's Windows path; by default it sets `port`, an output file
    in the folder's out/ and normal priority. None installs no quendra.ini at all."""

    DEFAULT = object()
    instances = []

    def __init__(self, probe, port, name="relay", settings=DEFAULT):
        self.probe = probe
        self.port = port
        self.dir = self.make_folder(name)
        self.exe = os.path.join(self.dir, "quendra.exe")
        shutil.copyfile(QUENDRA_EXE, self.exe)
        self.out_dir = os.path.join(self.dir, "out")
        os.mkdir(self.out_dir)
        self.output = os.path.join(self.out_dir, "output.txt")
        if settings is Relay.DEFAULT:
            settings = settings_text
        if callable(settings):
            settings = settings(port, windows_path(self.output))
        if settings is not None:
            with open(os.path.join(self.dir, "quendra.ini"), "wb") as f:
                f.write(settings)
        self.process = None
        self.close_requested = False
        Relay.instances.append(self)

    @staticmethod
    def make_folder(name):
        """A folder under /tmp whose guard name no copy still running uses."""
        taken = {mutex_sum(r.dir) for r in Relay.instances if r.running()}
        for _ in range(100):
            folder = tempfile.mkdtemp(prefix="quendra-%s-" % name, dir="/tmp")
            if mutex_sum(folder) not in taken:
                return folder
            os.rmdir(folder)
        raise AssertionError("no folder name found whose guard name is free")

    @property
    def windows_exe(self):
        return windows_path(self.exe)

    def start(self, timeout=30.0, settle=False):
        """Starts the program and waits until it listens, and with `settle` until it has
        settled too; False when it did not come to listen."""
        CLOSINGS.wait_for_port(self.port)
        self.process = self.probe.session.popen([WINE, self.exe], cwd=self.dir, stdin=subprocess.DEVNULL,
                                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not (wait_until(lambda: self.listening() or not self.running(), timeout) and self.listening()):
            return False
        if settle:
            self.settle(timeout)
        return True

    def settle(self, timeout):
        """Waits until the start-up strip has gone and the program handles messages again.
        Wine on a display without a window manager holds the program's thread for seconds
        while it hides a window; a case that times the relay must not meet that pause."""
        def strip_gone():
            census = self.full_census()
            return census is None or census[2] == 0 or bool(census[3])

        wait_until(strip_gone, timeout, interval=0.1)
        self.probe.ask("ping " + self.windows_exe, timeout=timeout)

    def running(self):
        return self.process is not None and self.process.poll() is None

    def listening(self):
        return is_listening(self.port)

    def census(self):
        """(all top-level windows, hidden notification windows, texts of open message boxes)."""
        census = self.full_census()
        return census and (census[0], census[1], census[3])

    def full_census(self):
        """The census with the count of shown windows other than message boxes third."""
        answer = self.probe.ask("windows " + self.windows_exe)
        if not answer.startswith("ok "):
            return None
        parts = answer[3:].split(" ", 4)
        boxes = parts[4].split(" | ") if len(parts) > 4 else []
        return int(parts[0]), int(parts[1]), int(parts[2]), boxes

    def message_boxes(self):
        census = self.census()
        return census[2] if census else []

    def priority_class(self):
        answer = self.probe.ask("priority " + self.windows_exe)
        return int(answer[3:], 16) if answer.startswith("ok ") else None

    def memory_kib(self):
        """Resident memory of the program's Linux process, in KiB."""
        try:
            with open("/proc/%d/status" % self.process.pid) as status:
                for line in status:
                    if line.startswith("VmRSS:"):
                        return int(line.split()[1])
        except OSError:
            pass
        return None

    def open_files(self):
        try:
            return len(os.listdir("/proc/%d/fd" % self.process.pid))
        except OSError:
            return None

    def request_close(self):
        """Asks the program to end as its menu's Exit does, through its application
        window; False when it has none."""
        if not self.running():
            return False
        self.close_requested = True
        return self.probe.ask("close " + self.windows_exe) == "ok"

    def close(self, timeout=20.0):
        """Asks the program to end and waits; returns its exit code, or None when it did not
        end (it is then killed)."""
        if self.running():
            self.request_close()
        try:
            return self.process.wait(timeout) if self.process else None
        except subprocess.TimeoutExpired:
            self.kill()
            return None

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait(10)

    def remove(self):
        """The end of a test: a copy still running is asked to close (if nobody did) and
        left to end in the background; its folder goes once it has ended."""
        if self.running():
            if not self.close_requested:
                self.request_close()
            CLOSINGS.add(self, check=False)
        else:
            shutil.rmtree(self.dir, ignore_errors=True)


class Closings:
    """Copies asked to close. Wine on a display without a window manager waits seconds for
    each window it hides, so copies end in the background while the next case runs, and
    their exit codes are checked at the end of the run."""

    def __init__(self):
        self.pending = {}   # relay -> whether its exit code is checked

    def add(self, relay, check):
        self.pending[relay] = self.pending.get(relay, False) or check

    def wait_for_port(self, port, timeout=30.0):
        """Waits until no copy that is closing listens on `port` any more; one that still
        does after `timeout` is killed."""
        closing = [r for r in self.pending if r.port == port and r.running()]
        if closing and not wait_until(lambda: not is_listening(port), timeout, interval=0.05):
            for relay in closing:
                relay.kill()

    def finish(self, timeout=60.0):
        """Waits for every closing copy, kills what is left, and returns a line for each
        copy whose exit was checked and was not a clean one."""
        problems = []
        end = time.monotonic() + timeout
        for relay, check in self.pending.items():
            try:
                code = relay.process.wait(max(0.1, end - time.monotonic()))
            except subprocess.TimeoutExpired:
                relay.kill()
                code = None
            if check and code != 0:
                problems.append("%s: %s" % (relay.dir, "did not end when asked to close" if code is None
                                            else "ended with exit code %d" % code))
            shutil.rmtree(relay.dir, ignore_errors=True)
        self.pending.clear()
        return problems


CLOSINGS = Closings()


class RelayTestCase(unittest.TestCase):
    """A test with a probe for the module and helpers that end every case the same way."""

    probe = None

    @classmethod
    def setUpClass(cls):
        if RelayTestCase.probe is None:
            RelayTestCase.probe = Probe()

    def install_relay(self, port, fixed_port=False, probe=None, **kwargs):
        """Installs a copy on the first free port from `port` on, or on `port` itself when
        `fixed_port` holds (the default port, for instance); removed at the test's end."""
        if fixed_port:
            CLOSINGS.wait_for_port(port)
        chosen = port if fixed_port else pick_port(port)
        if chosen is None or (fixed_port and port in ports_in_use()):
            self.skipTest("port %d%s is in use on this machine"
                          % (port, "" if fixed_port else " and the nine after it"))
        relay = Relay(probe or RelayTestCase.probe, chosen, name=self.id().split(".")[-1][:40], **kwargs)
        self.addCleanup(relay.remove)
        return relay

    def start_relay(self, port, fixed_port=False, probe=None, settle=False, **kwargs):
        for _ in range(3):
            relay = self.install_relay(port, fixed_port, probe, **kwargs)
            if relay.start(settle=settle):
                return relay
            errors = relay.message_boxes() if relay.running() else []
            if fixed_port or errors != ["Address already in use."]:
                break
            # The test's ports lie among the ephemeral ones: a connection of some other
            # program may take one as its local end between the pick and the bind.
            relay.probe.ask("dismiss " + relay.windows_exe)
            relay.remove()
            port = relay.port + 1
        self.fail("quendra.exe did not start listening on port %d (running: %s, errors: %s)"
                  % (relay.port, relay.running(), errors))

    def assertLands(self, relay, block, timeout=15.0, path=None):
        """Sends `block` and checks that the output file then holds exactly its strip."""
        path = path or relay.output
        self.assertTrue(deliver(relay.port, block), "the relay did not end the connection")
        expected = stripped(block)
        if not wait_until(lambda: read_file(path) == expected, timeout):
            self.fail("the block did not land in %s: it holds %s, expected %s"
                      % (path, describe(read_file(path)), describe(expected)))

    def assertStillServing(self, relay, path=None):
        """The end of every case: still running, still listening, no error shown, and a
        final block lands exactly."""
        self.assertTrue(relay.running(), "quendra.exe ended (exit code %s)" % relay.process.returncode)
        self.assertTrue(relay.listening(), "quendra.exe no longer listens on port %d" % relay.port)
        self.assertEqual(relay.message_boxes(), [], "quendra.exe shows an error")
        self.assertLands(relay, unique_block(), path=path)

    def assertEndsCleanly(self, relay):
        """Asks the copy to close; in the shared session it ends in the background and its
        exit code is checked at the end of the run."""
        if relay.probe.session is SESSION:
            self.assertTrue(relay.request_close(), "quendra.exe has no application window to close")
            CLOSINGS.add(relay, check=True)
        else:
            self.assertEqual(relay.close(), 0, "quendra.exe did not end with exit code 0 when asked to close")


def main():
    """Entry of each test script: arguments are quendra.exe and relay_probe.exe (Linux
    paths), then unittest's own. Exits 77 when the machine cannot run the tests or when
    every test skipped."""
    global QUENDRA_EXE, PROBE_EXE
    if len(sys.argv) < 3:
        print("usage: %s <quendra.exe> <relay_probe.exe> [unittest arguments]" % sys.argv[0])
        sys.exit(2)
    QUENDRA_EXE, PROBE_EXE = sys.argv[1], sys.argv[2]
    del sys.argv[1:3]
    if not os.environ.get("WINEPREFIX") or not os.environ.get("DISPLAY"):
        print("SKIP: no Wine session (WINEPREFIX and DISPLAY); run through scripts/test.sh")
        sys.exit(SKIP_EXIT_CODE)
    if not os.access(WINE, os.X_OK):
        print("SKIP: %s is missing" % WINE)
        sys.exit(SKIP_EXIT_CODE)
    seed = int(os.environ.get("QUENDRA_TEST_SEED", time.time_ns() % 1000000007))
    print("random seed %d (set QUENDRA_TEST_SEED to repeat)" % seed, flush=True)
    random.seed(seed)
    program = unittest.main(exit=False, verbosity=2)
    problems = CLOSINGS.finish()
    if RelayTestCase.probe is not None:
        RelayTestCase.probe.close()
    for problem in problems:
        print("FAIL: a copy asked to close " + problem)
    result = program.result
    if problems or not result.wasSuccessful():
        sys.exit(1)
    if result.testsRun > 0 and len(result.skipped) == result.testsRun:
        sys.exit(SKIP_EXIT_CODE)
    sys.exit(0)
