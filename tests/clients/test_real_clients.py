"""The programs people point at the relay: telnet typed into by hand (through tmux), nc,
socat and Python's socket module. Each case ends with the relay still serving."""

import os
import shutil
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "reliability"))
import harness  # noqa: E402

PORT_TELNET = 44600
PORT_NC = 44610
PORT_SOCAT = 44620
PORT_PYTHON = 44630
DEFAULT_PORT = 23


class Terminal:
    """A tmux server of our own with one window running `command`; keys are typed one by
    one, as a person would."""

    def __init__(self, command):
        self.server = "quendra-clients-%d-%d" % (os.getpid(), time.monotonic_ns())
        self.tmux("new-session", "-d", "-s", "main", "-x", "120", "-y", "30", command)

    def tmux(self, *args):
        return subprocess.run(["tmux", "-L", self.server, *args], capture_output=True, timeout=10)

    def screen(self):
        return self.tmux("capture-pane", "-p", "-t", "main").stdout.decode(errors="replace")

    def wait_for(self, text, timeout=15):
        return harness.wait_until(lambda: text in self.screen(), timeout, interval=0.05)

    def type(self, text):
        for c in text:
            self.tmux("send-keys", "-t", "main", "-l", c)
            time.sleep(0.02)

    def press(self, key):
        self.tmux("send-keys", "-t", "main", key)

    def ended(self):
        return self.tmux("has-session", "-t", "main").returncode != 0

    def close(self):
        self.tmux("kill-server")


def tool(name):
    return shutil.which(name)


class Telnet(harness.RelayTestCase):
    def setUp(self):
        for name in ("tmux", "telnet"):
            if not tool(name):
                self.skipTest("%s is not installed (scripts/install-deps.sh installs it)" % name)

    def type_lines_into_telnet(self, relay, command, path):
        terminal = Terminal(command)
        self.addCleanup(terminal.close)
        self.assertTrue(terminal.wait_for("Escape character is"),
                        "telnet did not connect:\n" + terminal.screen())
        for line in ["hello from telnet", "a second line, typed by hand: 1 + 1 = 2", ""]:
            terminal.type(line)
            terminal.press("Enter")
            # Enter sends the line with CR LF, which the relay strips.
            expected = line.encode()
            self.assertTrue(harness.wait_until(lambda: harness.read_file(path) == expected, 15),
                            "after typing %r the file holds %s" % (line, harness.describe(harness.read_file(path))))
        terminal.press("C-]")
        self.assertTrue(terminal.wait_for("telnet>"), "no telnet prompt:\n" + terminal.screen())
        terminal.type("quit")
        terminal.press("Enter")
        self.assertTrue(harness.wait_until(terminal.ended, 10), "telnet did not quit")

    def test_each_line_typed_into_telnet_lands_in_the_file(self):
        relay = self.start_relay(PORT_TELNET)
        self.type_lines_into_telnet(relay, "telnet 127.0.0.1 %d" % relay.port, relay.output)
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)

    def test_telnet_on_the_default_port_with_no_settings_file(self):
        if os.geteuid() != 0:
            self.skipTest("port 23 needs root")
        output = os.path.join(os.environ["WINEPREFIX"], "drive_c", "output.txt")
        if os.path.exists(output):
            os.remove(output)
        relay = self.start_relay(DEFAULT_PORT, fixed_port=True, settings=None)
        self.assertFalse(os.path.exists(os.path.join(relay.dir, "quendra.ini")))
        self.type_lines_into_telnet(relay, "telnet 127.0.0.1", output)
        self.assertStillServing(relay, path=output)
        self.assertEndsCleanly(relay)


class CommandLineClients(harness.RelayTestCase):
    def run_client(self, command, data):
        done = subprocess.run(command, input=data, capture_output=True, timeout=30)
        self.assertEqual(done.returncode, 0, "%s failed: %s" % (command[0], done.stderr.decode(errors="replace")))
        # The relay sends nothing back.
        self.assertEqual(done.stdout, b"")

    def check_client_cases(self, relay, cases):
        for name, command, data, expected in cases:
            with self.subTest(name):
                self.run_client(command, data)
                self.assertTrue(harness.wait_until(lambda: harness.read_file(relay.output) == expected, 15),
                                "%s: the file holds %s" % (name, harness.describe(harness.read_file(relay.output))))

    def test_nc(self):
        if not tool("nc"):
            self.skipTest("nc is not installed (scripts/install-deps.sh installs netcat-openbsd)")
        relay = self.start_relay(PORT_NC)
        # -N ends the sending side at the end of input; nc then waits for the relay to close.
        nc = ["nc", "-N", "127.0.0.1", str(relay.port)]
        every_byte = bytes(range(256)) * 16
        self.check_client_cases(relay, [
            ("a line", nc, b"hello from nc\r\n", b"hello from nc"),
            ("every byte value", nc, every_byte, every_byte),
            ("three lines", nc, b"one\r\ntwo\r\nthree\r\n", b"one\r\ntwo\r\nthree"),
        ])
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)

    def test_socat(self):
        if not tool("socat"):
            self.skipTest("socat is not installed (scripts/install-deps.sh installs it)")
        relay = self.start_relay(PORT_SOCAT)
        target = "TCP:127.0.0.1:%d" % relay.port
        every_byte = bytes(range(256)) * 16
        self.check_client_cases(relay, [
            ("a line", ["socat", "-u", "STDIN", target], b"hello from socat\r\n", b"hello from socat"),
            # crlf turns the line feed into CR LF on the way, as a terminal would send it.
            ("a line feed made CR LF", ["socat", "-u", "STDIN", target + ",crlf"], b"unix line\n", b"unix line"),
            ("every byte value", ["socat", "-u", "STDIN", target], every_byte, every_byte),
        ])
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)

    def test_python_socket_module(self):
        relay = self.start_relay(PORT_PYTHON)
        with socket.create_connection(("127.0.0.1", relay.port), timeout=10) as sock:
            for i in range(5):
                line = b"python line %d" % i
                sock.sendall(line + b"\r\n")
                self.assertTrue(harness.wait_until(lambda: harness.read_file(relay.output) == line, 15),
                                "line %d on one connection did not land" % i)
        path = os.path.join(relay.dir, "sent.bin")
        with open(path, "wb") as f:
            f.write(bytes(range(256)) * 8 + b"\r\n")
        with socket.create_connection(("127.0.0.1", relay.port), timeout=10) as sock, open(path, "rb") as f:
            sock.sendfile(f)
        expected = bytes(range(256)) * 8
        self.assertTrue(harness.wait_until(lambda: harness.read_file(relay.output) == expected, 15),
                        "a file sent with sendfile did not land")
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)


if __name__ == "__main__":
    harness.main()
