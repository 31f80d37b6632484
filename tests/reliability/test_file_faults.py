"""Faults of the output file: blocks are dropped while a fault lasts, and the first block
after it lands. Each fault is real: a Wine process holding the file without sharing
writes, the folder removed and made again, a small filesystem of the test's own filled up.
"""

import os
import shutil
import subprocess
import tempfile

import harness

PORT_LOCKED = 44400
PORT_FOLDER = 44410
PORT_FULL = 44420


class OutputFileFaults(harness.RelayTestCase):
    def test_a_reader_that_denies_writers_drops_blocks_until_it_lets_go(self):
        relay = self.start_relay(PORT_LOCKED)
        self.assertLands(relay, b"before the lock\r\n")
        self.assertEqual(self.probe.ask("lock " + harness.windows_path(relay.output)), "ok")
        try:
            for i in range(3):
                self.assertTrue(harness.deliver(relay.port, b"while locked %d\r\n" % i))
                # The open fails, so nothing is truncated: the file keeps its content.
                self.assertEqual(harness.read_file(relay.output), b"before the lock")
            self.assertTrue(relay.running() and relay.listening())
            self.assertEqual(relay.message_boxes(), [], "a dropped block must not be reported")
        finally:
            self.assertEqual(self.probe.ask("unlock"), "ok")
        self.assertLands(relay, b"after the lock\r\n")
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)

    def test_the_output_folder_removed_and_made_again(self):
        relay = self.start_relay(PORT_FOLDER)
        self.assertLands(relay, b"before removal\r\n")
        shutil.rmtree(relay.out_dir)
        for i in range(3):
            self.assertTrue(harness.deliver(relay.port, b"no folder %d\r\n" % i))
            self.assertFalse(os.path.exists(relay.out_dir), "the relay made the missing folder")
        self.assertTrue(relay.running() and relay.listening())
        self.assertEqual(relay.message_boxes(), [])
        os.mkdir(relay.out_dir)
        self.assertLands(relay, b"folder is back\r\n")
        self.assertStillServing(relay)
        self.assertEndsCleanly(relay)

    def test_a_full_disk_drops_blocks_and_the_next_block_after_it_lands(self):
        if os.geteuid() != 0:
            self.skipTest("mounting a small filesystem needs root")
        disk = tempfile.mkdtemp(prefix="quendra-full-", dir="/tmp")
        self.addCleanup(shutil.rmtree, disk, True)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", disk],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a small filesystem: %s" % mounted.stderr.decode().strip())
        self.addCleanup(subprocess.run, ["umount", "-l", disk], stderr=subprocess.DEVNULL)
        output = os.path.join(disk, "output.txt")
        relay = self.start_relay(PORT_FULL, settings=lambda port, _: harness.settings_text(port, harness.windows_path(output)))

        self.assertLands(relay, b"before the disk fills\r\n", path=output)
        filler = os.path.join(disk, "filler")
        fd = os.open(filler, os.O_WRONLY | os.O_CREAT)
        try:
            while os.write(fd, b"\0" * 4096) > 0:
                pass
        except OSError:
            pass
        finally:
            os.close(fd)
        # Whatever room is left is far less than a 64 KiB block needs.
        block = bytes(range(256)) * 256
        self.assertTrue(harness.deliver(relay.port, block))
        content = harness.read_file(output)
        self.assertIsNotNone(content)
        self.assertTrue(len(content) < len(block) and block.startswith(content),
                        "with the disk full the file holds %s" % harness.describe(content))
        self.assertTrue(relay.running() and relay.listening())
        self.assertEqual(relay.message_boxes(), [])

        os.remove(filler)
        self.assertLands(relay, block + b"\r\n", path=output)
        self.assertStillServing(relay, path=output)
        self.assertEndsCleanly(relay)


if __name__ == "__main__":
    harness.main()
