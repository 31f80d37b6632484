"""200 clients connecting, sending, closing and resetting at random for 30 s.

Every block names its connection and its place in that connection's stream, so the file
at rest can be checked: it must be the strip of consecutive blocks of one connection,
starting at a block's start (each block is one small send, which the relay receives
whole). Resets, silent connections and half-closes must cost the relay nothing: it keeps
running and listening all along, shows no error, and serves a final block.
"""

import random
import socket
import threading
import time

import harness

PORT = 44100
PORT_EARLY_RESETS = 44110
CLIENTS = 200
SECONDS = 30


class Streams:
    """What each connection sent, and where each of its blocks starts."""

    def __init__(self):
        self.lock = threading.Lock()
        self.sent = {}
        self.next_id = 0

    def new_connection(self, block_count):
        with self.lock:
            self.next_id += 1
            conn = self.next_id
        blocks = []
        offsets = []
        stream = b""
        for seq in range(block_count):
            body = random.randbytes(random.randint(1, 600)).replace(b"<", b"(")
            block = b"<%d.%d>" % (conn, seq) + body + random.choice([b"", b"\r\n", b"\r", b"\n"])
            offsets.append(len(stream))
            stream += block
            blocks.append(block)
        with self.lock:
            self.sent[conn] = (stream, offsets)
        return blocks

    def explains(self, content):
        """Whether `content` starts at a block of one connection and runs on in its stream."""
        if not content.startswith(b"<"):
            return False
        end = content.find(b">")
        try:
            conn, seq = (int(n) for n in content[1:end].split(b"."))
        except ValueError:
            return False
        with self.lock:
            entry = self.sent.get(conn)
        if entry is None or seq >= len(entry[1]):
            return False
        stream, offsets = entry
        return stream.startswith(content, offsets[seq])


class Tally:
    def __init__(self):
        self.lock = threading.Lock()
        self.counts = {}
        self.failures = []

    def count(self, what):
        with self.lock:
            self.counts[what] = self.counts.get(what, 0) + 1

    def fail(self, what):
        with self.lock:
            self.failures.append(what)


def run_client(port, streams, tally, deadline):
    while time.monotonic() < deadline:
        action = random.choice(["send-close", "send-reset", "silent-close", "silent-reset",
                                "send-half-close", "send-wait-reset"])
        try:
            sock = harness.connect(port, timeout=10)
        except ConnectionRefusedError:
            tally.fail("a connection was refused: the relay does not listen")
            time.sleep(0.1)
            continue
        except OSError as e:
            # The relay's accept queue holds five; past that the kernel drops requests,
            # answers with cookies and sometimes resets them, whatever the relay does.
            tally.count("connect: %s" % type(e).__name__)
            continue
        try:
            if action.startswith("send"):
                for block in streams.new_connection(random.randint(1, 4)):
                    sock.sendall(block)
                    time.sleep(random.uniform(0, 0.01))
            if action == "send-half-close":
                sock.shutdown(socket.SHUT_WR)
                if not harness.wait_peer_closed(sock, 20):
                    state = harness.relay_side_state(port, sock.getsockname()[1])
                    if state == "CLOSE_WAIT":
                        tally.fail("the relay did not end a half-closed connection in 20 s")
                    else:
                        # The kernel never completed this one past the full accept queue.
                        tally.count("half-closed, relay's end %s" % state)
            elif action == "send-wait-reset":
                time.sleep(random.uniform(0, 0.2))
            if action.endswith("reset"):
                harness.reset(sock)
            else:
                sock.close()
            tally.count(action)
        except OSError as e:
            # The relay resets the connections it drops; a client may meet that mid-send.
            tally.count("%s: %s" % (action, type(e).__name__))
            sock.close()
        time.sleep(random.uniform(0, 0.05))


class Churn(harness.RelayTestCase):
    def test_two_hundred_clients_at_random_for_thirty_seconds(self):
        relay = self.start_relay(PORT)
        streams = Streams()
        tally = Tally()
        deadline = time.monotonic() + SECONDS
        threads = [threading.Thread(target=run_client, args=(relay.port, streams, tally, deadline),
                                    daemon=True) for _ in range(CLIENTS)]
        for t in threads:
            t.start()

        strays = []
        lapses = []
        files_seen = 0
        next_census = 0.0
        while time.monotonic() < deadline:
            if not relay.running() or not relay.listening():
                lapses.append("%.1f s: running %s, listening %s, errors shown %s" % (
                    SECONDS - (deadline - time.monotonic()), relay.running(), relay.listening(),
                    relay.running() and relay.message_boxes()))
                break
            if time.monotonic() >= next_census:
                next_census = time.monotonic() + 3
                boxes = relay.message_boxes()
                if boxes:
                    lapses.append("error shown: %s" % boxes)
                    break
            content = harness.stable_content(relay.output, timeout=0.5)
            if content:
                files_seen += 1
                if not streams.explains(content):
                    time.sleep(0.05)
                    if harness.read_file(relay.output) == content and not streams.explains(content):
                        strays.append(harness.describe(content))
            time.sleep(0.02)

        for t in threads:
            t.join(max(1.0, deadline - time.monotonic() + 40))
        self.assertFalse(any(t.is_alive() for t in threads), "clients still busy 40 s after the end")
        print("connections: %d with blocks; outcomes %s; file checked %d times"
              % (streams.next_id, sorted(tally.counts.items()), files_seen))
        self.assertEqual(lapses, [], "the relay stopped serving during the churn")
        self.assertEqual(tally.failures[:5], [])
        self.assertEqual(strays[:5], [], "the file held content that no connection sent")
        self.assertGreater(files_seen, 0)
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)


class EarlyResets(harness.RelayTestCase):
    def test_connections_reset_before_the_relay_accepts_them(self):
        # A burst of connections, each reset at once: some are gone from the accept
        # queue's far end before the relay gets to accept them.
        relay = self.start_relay(PORT_EARLY_RESETS)
        for _ in range(4):
            burst = [harness.connect(relay.port) for _ in range(5)]
            for sock in burst:
                harness.reset(sock)
            harness.wait_until(lambda: harness.listen_queue(relay.port) in (0, None), 10)
            self.assertTrue(relay.listening(), "the relay stopped listening after connections were reset "
                            "before it accepted them; it shows %s" % relay.message_boxes())
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)


if __name__ == "__main__":
    harness.main()
