"""A connection flood well past 1,000 held connections, and what gives way first.

Connections are opened in batches and held; the relay must accept every one (each costs
it a hidden window, which the probe counts), keep listening, show no error and deliver
through any of them; when they all close it must free everything it held for them.
QUENDRA_FLOOD_CEILING asks for a longer search past the target, which reports the first
limit met: the relay's windows, its memory, descriptors, or connections no longer taken.

What gives way first under Wine is the Wine server's descriptors: it holds one for each
socket of every Wine process, and at its limit (ulimit -n) accept fails. The second case
reaches that limit quickly in a Wine server of its own and checks that the shortage
stops nothing for good.
"""

import os
import random
import select
import socket
import time

import harness

PORT = 44300
PORT_EXHAUSTED = 44310
# The Wine server holds one descriptor for every socket of every Wine process, so its
# limit is the relay's real ceiling; a server of the test's own with this limit reaches
# it after about a thousand connections.
EXHAUSTED_SERVER_FILES = 1200
TARGET = 2500      # must be held and served
# Tried beyond the target, to find what fails first; a longer search may be asked for.
CEILING = int(os.environ.get("QUENDRA_FLOOD_CEILING", TARGET))
SECONDS = int(os.environ.get("QUENDRA_FLOOD_SECONDS", 120))
BATCH = 100        # connections between two looks at the relay
BACKLOG = 5        # the relay's listen backlog


def open_paced(port, count, timeout):
    """Opens `count` connections, no more at a time than the relay's accept queue holds
    (a connection request that finds it full is dropped by Linux and tried again only a
    second later), each time waiting until the relay has taken them off the queue.
    Returns the connections established, and why it stopped short, if it did."""
    established = []
    while len(established) < count:
        pending = []
        for _ in range(min(BACKLOG, count - len(established))):
            sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            sock.setblocking(False)
            sock.connect_ex(("127.0.0.1", port))
            pending.append(sock)
        # poll, not select: the descriptors go far past select's limit of 1024.
        poller = select.poll()
        by_fd = {sock.fileno(): sock for sock in pending}
        for fd in by_fd:
            poller.register(fd, select.POLLOUT)
        end = time.monotonic() + timeout
        while pending and time.monotonic() < end:
            for fd, _ in poller.poll(max(0, int((end - time.monotonic()) * 1000))):
                sock = by_fd[fd]
                poller.unregister(fd)
                pending.remove(sock)
                if sock.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR) == 0:
                    established.append(sock)
                else:
                    sock.close()
        for sock in pending:
            sock.close()
        if pending:
            return established, "%d connection requests not answered in %d s" % (len(pending), timeout)
        if not harness.wait_until(lambda: harness.listen_queue(port) == 0, timeout, interval=0.002):
            return established, "the relay took no connection off its queue for %d s" % timeout
    return established, None


def wineserver_pid():
    """The Wine server of this session's prefix: it works in a folder named after the
    prefix's device and inode."""
    prefix = os.stat(os.environ["WINEPREFIX"])
    wanted = "server-%x-%x" % (prefix.st_dev, prefix.st_ino)
    for pid in os.listdir("/proc"):
        if pid.isdigit():
            try:
                if os.path.basename(os.readlink("/proc/%s/cwd" % pid)) == wanted:
                    return int(pid)
            except OSError:
                continue
    return None


def open_files(pid):
    try:
        return len(os.listdir("/proc/%d/fd" % pid))
    except (OSError, TypeError):
        return None


class ConnectionFlood(harness.RelayTestCase):
    def test_thousands_of_held_connections_are_accepted_served_and_freed(self):
        fd_limit = harness.raise_fd_limit()
        if fd_limit < TARGET + 200:
            self.skipTest("this process may open only %d files; the flood needs %d" % (fd_limit, TARGET + 200))
        relay = self.start_relay(PORT)
        server = wineserver_pid()
        _, baseline_windows, _ = relay.census()
        idle_kib = relay.memory_kib()
        held = []
        first_failure = None
        deadline = time.monotonic() + SECONDS
        try:
            while len(held) < CEILING and first_failure is None:
                if time.monotonic() > deadline:
                    first_failure = "time: %d s spent" % SECONDS
                    break
                if len(held) + BATCH + 50 > fd_limit:
                    first_failure = "this test's descriptor limit (%d)" % fd_limit
                    break
                batch, stalled = open_paced(relay.port, BATCH, timeout=20)
                held += batch
                if not relay.running():
                    self.fail("quendra.exe ended with %d connections held (exit code %s)"
                              % (len(held), relay.process.returncode))
                if stalled:
                    first_failure = "connections: %s at %d held" % (stalled, len(held))
                if not relay.listening():
                    first_failure = "listening stopped at %d held" % len(held)
                # The relay makes a hidden window for every connection it has accepted.
                accepted = harness.wait_until(
                    lambda: relay.census()[1] - baseline_windows >= len(held), 30, interval=0.2)
                census = relay.census()
                if census[2]:
                    first_failure = first_failure or "error shown at %d held: %s" % (len(held), census[2])
                if not accepted and first_failure is None:
                    first_failure = "windows: the relay has %d connection windows for %d held" % (
                        census[1] - baseline_windows, len(held))
                if len(held) % 500 == 0 or first_failure:
                    print("held %d: relay windows %d, memory %s KiB, relay files %s, wineserver files %s"
                          % (len(held), census[0], relay.memory_kib(), relay.open_files(),
                             open_files(server)), flush=True)
            print("first limit met: %s" % (first_failure or "none up to %d connections" % CEILING))
            full_kib = relay.memory_kib()
            if idle_kib and full_kib and held:
                print("memory: idle %d KiB, with %d connections %d KiB, %.1f KiB each"
                      % (idle_kib, len(held), full_kib, (full_kib - idle_kib) / len(held)))

            self.assertTrue(relay.running(), "quendra.exe ended during the flood")
            self.assertTrue(relay.listening(), "quendra.exe stopped listening during the flood")
            self.assertGreaterEqual(len(held), TARGET, "fewer connections held than the target: "
                                    + str(first_failure))
            self.assertEqual(relay.message_boxes(), [])

            # Any held connection still delivers: the first, the last and some between.
            sample = [held[0], held[-1]] + random.sample(held, 20)
            for i, sock in enumerate(sample):
                block = harness.unique_block("held-%d" % i)
                sock.settimeout(10)
                sock.sendall(block)
                expected = harness.stripped(block)
                self.assertTrue(harness.wait_until(lambda: harness.read_file(relay.output) == expected, 15),
                                "a block on held connection %d did not land" % i)
        finally:
            for sock in held:
                sock.close()
        # Every connection's window goes once the peers have closed.
        freed = harness.wait_until(lambda: relay.census()[1] <= baseline_windows, 60, interval=0.5)
        self.assertTrue(freed, "the relay still holds %d connection windows after all peers closed"
                        % (relay.census()[1] - baseline_windows))
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)


class DescriptorExhaustion(harness.RelayTestCase):
    def test_running_out_of_descriptors_stops_nothing_for_good(self):
        harness.raise_fd_limit()
        session = harness.PrivateWineSession(EXHAUSTED_SERVER_FILES)
        self.addCleanup(session.stop)
        if not session.start():
            self.skipTest("Wine could not prepare a prefix of the test's own")
        probe = harness.Probe(session)
        self.addCleanup(probe.close)
        # Settled first: a stall of the relay is what this case looks for.
        relay = self.start_relay(PORT_EXHAUSTED, probe=probe, settle=True)
        held = []
        self.addCleanup(lambda: [sock.close() for sock in held])
        # Until the server runs out: the relay stops taking connections off its queue.
        stalled = None
        while stalled is None and len(held) < 3 * EXHAUSTED_SERVER_FILES:
            batch, stalled = open_paced(relay.port, BATCH, timeout=5)
            held += batch
            self.assertTrue(relay.running(), "quendra.exe ended at %d connections" % len(held))
        self.assertIsNotNone(stalled, "the Wine server never ran out of descriptors")
        print("the Wine server ran out at %d connections: %s; the relay shows %s"
              % (len(held), stalled, relay.message_boxes()))

        # While the server has no descriptor left even the output file cannot be opened,
        # so the checks come once peers have gone and descriptors are free again.
        survivors = held[:len(held) // 2]
        for sock in held[len(held) // 2:]:
            sock.close()
        del held[len(held) // 2:]
        self.assertTrue(harness.wait_until(lambda: harness.listen_queue(relay.port) == 0, 30),
                        "the relay took no new connection after descriptors were freed; listening: %s"
                        % relay.listening())
        # The connections held through the shortage are still served.
        for i, sock in enumerate([survivors[0], survivors[-1]]):
            block = harness.unique_block("held through the shortage %d" % i)
            sock.settimeout(10)
            try:
                sock.sendall(block)
            except OSError as e:
                self.fail("a connection held through the shortage was dropped: %s" % e)
            expected = harness.stripped(block)
            self.assertTrue(harness.wait_until(lambda: harness.read_file(relay.output) == expected, 15),
                            "a block on a connection held through the shortage did not land")
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)


if __name__ == "__main__":
    harness.main()
