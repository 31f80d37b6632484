"""Clients that are slow, silent or half-closed must not hold up anybody else."""

import socket
import time

import harness

PORT_SLOW = 44200
PORT_SILENT = 44210
PORT_HALF = 44220


class SlowAndSilentClients(harness.RelayTestCase):
    def test_a_client_sending_a_byte_every_10_ms_delivers_and_does_not_hold_up_others(self):
        relay = self.start_relay(PORT_SLOW)
        text = b"slow-client-" + b"".join(b"%03d" % i for i in range(60))
        seen = set()
        with harness.connect(relay.port) as slow:
            for i, byte in enumerate(text):
                slow.sendall(bytes([byte]))
                time.sleep(0.01)
                content = harness.read_file(relay.output)
                if content:
                    seen.add(content)
                if i == len(text) // 2:
                    # Another client gets through while the slow one is half way.
                    self.assertLands(relay, harness.unique_block("meanwhile"))
            slow.shutdown(socket.SHUT_WR)
            self.assertTrue(harness.wait_peer_closed(slow, 20), "the relay did not end the slow connection")
        # Each byte, or each run of bytes that arrived together, replaced the file.
        content = harness.stable_content(relay.output)
        self.assertTrue(content and text.endswith(content),
                        "the file holds %s, not the slow client's last piece" % harness.describe(content))
        strays = [c for c in seen if c not in text and not c.startswith(b"meanwhile")]
        self.assertEqual([harness.describe(c) for c in strays], [])
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)

    def test_connections_that_never_send_stay_open_and_cost_nothing(self):
        relay = self.start_relay(PORT_SILENT)
        silent = [harness.connect(relay.port) for _ in range(20)]
        try:
            for i in range(10):
                self.assertLands(relay, harness.unique_block("beside-silent-%d" % i))
            time.sleep(1)
            for sock in silent:
                # Still open: nothing to read, and no end from the relay.
                sock.setblocking(False)
                with self.assertRaises(BlockingIOError, msg="a silent connection was ended"):
                    sock.recv(1)
            self.assertStillServing(relay)
        finally:
            for sock in silent:
                sock.close()
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)


class HalfClosedConnections(harness.RelayTestCase):
    def test_half_closed_connections_deliver_and_end(self):
        relay = self.start_relay(PORT_HALF)

        # Sends, then ends its sending side only and waits: the block lands and the relay
        # ends the connection.
        block = harness.unique_block("write-side-closed")
        with harness.connect(relay.port) as sock:
            sock.sendall(block)
            sock.shutdown(socket.SHUT_WR)
            self.assertTrue(harness.wait_peer_closed(sock, 20))
        self.assertEqual(harness.stable_content(relay.output), harness.stripped(block))

        # Ends its receiving side and goes on sending: every block lands.
        with harness.connect(relay.port) as sock:
            sock.shutdown(socket.SHUT_RD)
            for i in range(5):
                block = harness.unique_block("read-side-closed-%d" % i)
                sock.sendall(block)
                expected = harness.stripped(block)
                self.assertTrue(harness.wait_until(lambda: harness.read_file(relay.output) == expected, 15),
                                "block %d on a connection closed for reading did not land" % i)

        # Many at once, each closing its sending side, while the others wait.
        socks = [harness.connect(relay.port) for _ in range(30)]
        try:
            for i, sock in enumerate(socks):
                sock.sendall(b"half %d\r\n" % i)
                sock.shutdown(socket.SHUT_WR)
            ended = [harness.wait_peer_closed(sock, 20) for sock in socks]
            self.assertTrue(all(ended), "%d half-closed connections were not ended" % ended.count(False))
        finally:
            for sock in socks:
                sock.close()
        self.assertTrue(harness.stable_content(relay.output).startswith(b"half "))
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)


if __name__ == "__main__":
    harness.main()
