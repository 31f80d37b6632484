"""The relay as a user would write it with Python's asyncio: every chunk that
arrives on any connection, less one trailing CR and then one trailing CR LF,
replaces the whole output file. Standard library only.

Usage: asyncio_relay.py PORT OUTPUT_FILE
"""

import asyncio
import sys


def stripped(block: bytes) -> bytes:
    if block.endswith(b"\r"):
        block = block[:-1]
    if block.endswith(b"\r\n"):
        block = block[:-2]
    return block


class RelayProtocol(asyncio.Protocol):
    def __init__(self, output_path: str):
        self.output_path = output_path

    def data_received(self, data: bytes) -> None:
        # A block that cannot be written is dropped; the next one tries again.
        try:
            with open(self.output_path, "wb") as output:
                output.write(stripped(data))
        except OSError:
            pass


async def serve(port: int, output_path: str) -> None:
    loop = asyncio.get_running_loop()
    server = await loop.create_server(lambda: RelayProtocol(output_path), "0.0.0.0", port)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(serve(int(sys.argv[1]), sys.argv[2]))
