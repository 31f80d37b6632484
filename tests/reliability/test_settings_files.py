"""Malformed, huge, binary and truncated quendra.ini files: the program starts, takes the
default of every key it cannot read, and runs as usual.

The defaults are port 23, C:\\output.txt (the Wine prefix's drive_c) and the idle priority
class; a case whose file still gives its keys says what it expects instead.
"""

import os
import random

import harness

IDLE_PRIORITY_CLASS = 0x40
NORMAL_PRIORITY_CLASS = 0x20
DEFAULT_PORT = 23


def junk_lines(total):
    """Lines that are no section and no key, `total` bytes in all."""
    line = b"; nothing here but words and = signs in the wrong place = \r\n"
    return line * (total // len(line))


def binary_junk(size):
    # Without '[', no line can open a section.
    return random.randbytes(size).replace(b"[", b"{")


def own_keys(port, output, line_end=b"\r\n"):
    return line_end.join([b"[General]", b"ListenOnPort=%d" % port,
                          b"OutputFile=" + output.encode(), b"IdlePriority=0"]) + line_end


def default_output():
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", "output.txt")


class SettingsFiles(harness.RelayTestCase):
    def run_case(self, name, content, port=DEFAULT_PORT, priority=IDLE_PRIORITY_CLASS,
                 output=None, folder_instead=False):
        """Starts a copy whose quendra.ini is `content(port, output's Windows path)` and
        checks the port, the priority class and where a block lands. A case that gives its
        own keys names its first port, an `output` and the priority it expects; the copy
        runs on the first free port from there."""
        with self.subTest(name):
            relay = self.install_relay(port, fixed_port=port == DEFAULT_PORT,
                                       settings=None if folder_instead else content)
            try:
                if folder_instead:
                    os.mkdir(os.path.join(relay.dir, "quendra.ini"))
                path = output(relay) if output else default_output()
                if os.path.exists(path):
                    os.remove(path)
                self.assertTrue(relay.start(), "%s: not listening on port %d (running: %s, errors: %s)"
                                % (name, relay.port, relay.running(), relay.running() and relay.message_boxes()))
                self.assertEqual(relay.priority_class(), priority, name + ": priority class")
                self.assertStillServing(relay, path=path)
                self.assertEndsCleanly(relay)
            finally:
                relay.remove()

    def test_unreadable_files_give_the_defaults(self):
        cases = [
            ("empty", lambda port, out: b""),
            ("binary", lambda port, out: binary_junk(64 * 1024)),
            ("NUL bytes only", lambda port, out: b"\0" * 4096),
            ("keys in another section",
             lambda port, out: own_keys(44500, out).replace(b"[General]", b"[Generally]")),
            ("keys before any section",
             lambda port, out: own_keys(44500, out).replace(b"[General]\r\n", b"")),
            ("cut in the section name", lambda port, out: b"[Gener"),
            ("cut in the first key", lambda port, out: b"[General]\r\nListenOnPo"),
            ("values that are no numbers",
             lambda port, out: b"[General]\r\nListenOnPort=80 80\r\nIdlePriority=false\r\n"),
            ("huge values", lambda port, out: b"[General]\r\nListenOnPort=" + b"4" * 100000
             + b"\r\nIdlePriority=" + b"1" * 5000 + b"\r\n"),
            ("huge file of junk", lambda port, out: junk_lines(8 * 1024 * 1024)),
            ("one huge line", lambda port, out: b"x" * (4 * 1024 * 1024)),
        ]
        for name, content in cases:
            self.run_case(name, content)
        self.run_case("a folder named quendra.ini", None, folder_instead=True)

    def test_odd_but_readable_files_give_their_keys(self):
        def own_output(relay):
            return relay.output

        cases = [
            ("the section at the end of a huge file", 44510,
             lambda port, out: junk_lines(8 * 1024 * 1024) + own_keys(port, out), own_output),
            ("line feeds only", 44520, lambda port, out: own_keys(port, out, line_end=b"\n"), own_output),
            ("blanks, quotes and letter case", 44530,
             lambda port, out: b"[general]\r\n  listenonport  =  %d  \r\noutputfile = \"%s\"\r\nIDLEPRIORITY=0\r\n"
             % (port, out.encode()), own_output),
            # The last value runs to the end of a file cut short: it is taken as it stands.
            ("cut in the last value", 44540,
             lambda port, out: b"[General]\r\nListenOnPort=%d\r\nIdlePriority=0\r\nOutputFile=%s"
             % (port, out.encode()[:-2]), lambda relay: relay.output[:-2]),
        ]
        for name, port, content, output in cases:
            self.run_case(name, content, port=port, priority=NORMAL_PRIORITY_CLASS, output=output)


if __name__ == "__main__":
    harness.main()
