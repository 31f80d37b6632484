"""Random blocks of every byte value, 1 B to 4 MiB, through the real relay.

TCP keeps no boundaries, and one drain of the relay delivers what has arrived by then,
so a large block may reach the file as several pieces, each replacing the last. What
must always hold: whenever the file is at rest it holds one delivered piece, after the
strip, of what one connection sent; once a block has been handled, the file ends
exactly as that block ends; a block that fits one loopback segment lands whole.
"""

import random
import socket
import threading
import time

import harness
from harness import stripped

PORT_SEQUENTIAL = 44000
PORT_CONCURRENT = 44010

MiB = 1024 * 1024
# Loopback carries a single send of up to 64 KiB as one segment: such a block reaches the
# relay at once and lands whole. Larger ones may be cut by TCP and by the relay's drain.
WHOLE_LIMIT = 16 * 1024


def random_block(size):
    """`size` random bytes; a block of 256 bytes or more holds every byte value."""
    data = bytearray(random.randbytes(size))
    if size >= 256:
        values = list(range(256))
        random.shuffle(values)
        start = random.randrange(size - 255)
        data[start:start + 256] = bytes(values)
    return bytes(data)


def sizes():
    """Log-uniform sizes from 1 B to 4 MiB, with the writer's 128-byte edges and both ends."""
    chosen = [1, 2, 3, 127, 128, 129, 255, 256, 300, WHOLE_LIMIT, 4 * MiB]
    chosen += [int(2 ** random.uniform(0, 22)) for _ in range(24)]
    random.shuffle(chosen)
    return chosen


def is_strip_of_a_tail(content, block):
    """Whether `content` is what a last delivered piece of `block` leaves after the strip;
    the strip takes at most 3 bytes, so the piece is at most 3 bytes longer."""
    return any(stripped(block[len(block) - n:]) == content
               for n in range(max(1, len(content)), min(len(block), len(content) + 3) + 1))


ENDINGS = [b"", b"\r", b"\n", b"\r\n", b"\r\n\r", b"\r\r", b"\r\n\r\n", b"\n\r", b"\x00"]


class FileWatcher:
    """Reads the output file at rest over and over while blocks flow, and keeps every
    content that is not a piece of what some connection sent."""

    def __init__(self, path):
        self.path = path
        self.streams = []
        self.lock = threading.Lock()
        self.strays = []
        self.seen = 0
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def add_stream(self, stream):
        with self.lock:
            self.streams.append(stream)

    def is_piece(self, content):
        with self.lock:
            streams = list(self.streams)
        return any(content in stream for stream in streams)

    def run(self):
        while not self.stop.is_set():
            content = harness.stable_content(self.path, timeout=1.0)
            if content:
                self.seen += 1
                if not self.is_piece(content):
                    # The file may have changed between the two reads and the check: only
                    # content that stays in place for a moment counts as a stray.
                    time.sleep(0.05)
                    if harness.read_file(self.path) == content and not self.is_piece(content):
                        self.strays.append(content)
            time.sleep(0.005)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join(10)


class RandomBlocks(harness.RelayTestCase):
    def test_each_handled_block_leaves_the_file_ending_as_the_block_ends(self):
        relay = self.start_relay(PORT_SEQUENTIAL)
        large = large_whole = 0
        with FileWatcher(relay.output) as watcher:
            for size in sizes():
                block = random_block(size) + random.choice(ENDINGS)
                # Every sent block is a stream of its own; a piece of it may land.
                watcher.add_stream(block)
                started = time.monotonic()
                self.assertTrue(harness.deliver(relay.port, block, timeout=60),
                                "a block of %d bytes was not handled within 60 s" % len(block))
                content = harness.stable_content(relay.output)
                expected = stripped(block)
                where = "block of %d bytes (%.2f s)" % (len(block), time.monotonic() - started)
                self.assertIsNotNone(content, where + ": no output file")
                if len(block) <= WHOLE_LIMIT:
                    self.assertTrue(content == expected, "%s: the file holds %s instead of the block"
                                    % (where, harness.describe(content)))
                else:
                    large += 1
                    large_whole += content == expected
                    self.assertTrue(is_strip_of_a_tail(content, block),
                                    "%s: the file holds %s, which is not the strip of a piece "
                                    "that ends the block" % (where, harness.describe(content)))
        print("blocks over %d bytes that landed whole: %d of %d; the file was seen at rest %d times"
              % (WHOLE_LIMIT, large_whole, large, watcher.seen))
        self.assertEqual([harness.describe(s) for s in watcher.strays], [],
                         "the file held content that no connection sent")
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)

    def test_concurrent_connections_never_mix_in_the_file(self):
        relay = self.start_relay(PORT_CONCURRENT)
        clients = 4
        blocks_each = 12
        errors = []

        def client(index, stream):
            try:
                with harness.connect(relay.port) as sock:
                    for block in stream:
                        sock.sendall(block)
                        time.sleep(random.uniform(0, 0.02))
                    sock.shutdown(socket.SHUT_WR)
                    if not harness.wait_peer_closed(sock, 60):
                        errors.append("client %d: the relay did not end the connection" % index)
            except OSError as e:
                errors.append("client %d: %s" % (index, e))

        streams = [[random_block(int(2 ** random.uniform(0, 18))) for _ in range(blocks_each)]
                   for _ in range(clients)]
        with FileWatcher(relay.output) as watcher:
            for stream in streams:
                watcher.add_stream(b"".join(stream))
            threads = [threading.Thread(target=client, args=(i, s)) for i, s in enumerate(streams)]
            for t in threads:
                t.start()
            for t in threads:
                t.join(120)
            self.assertFalse(any(t.is_alive() for t in threads), "a client did not finish in 120 s")
        self.assertEqual(errors, [])
        self.assertGreater(watcher.seen, 0, "the watcher never saw the file")
        self.assertEqual([harness.describe(s) for s in watcher.strays], [],
                         "the file held content that no single connection sent")
        final = harness.stable_content(relay.output)
        self.assertTrue(final is not None and any(final in b"".join(s) for s in streams),
                        "the file at rest holds %s" % harness.describe(final))
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)


if __name__ == "__main__":
    harness.main()
