"""Two relays with a fault, for the runner's self-check: the load client must
report both as failing, or its figures could not be trusted.

Usage: faulty_relay.py drop|keep-line-end PORT OUTPUT_FILE
  drop           reads every block and never writes the file
  keep-line-end  writes every block without stripping its CR LF
"""

import asyncio
import sys


class FaultyProtocol(asyncio.Protocol):
    def __init__(self, fault: str, output_path: str):
        self.fault = fault
        self.output_path = output_path

    def data_received(self, data: bytes) -> None:
        if self.fault == "keep-line-end":
            with open(self.output_path, "wb") as output:
                output.write(data)


async def serve(fault: str, port: int, output_path: str) -> None:
    loop = asyncio.get_running_loop()
    server = await loop.create_server(lambda: FaultyProtocol(fault, output_path), "0.0.0.0", port)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(serve(sys.argv[1], int(sys.argv[2]), sys.argv[3]))
