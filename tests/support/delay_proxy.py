#!/usr/bin/env python3
"""A TCP proxy that holds every chunk it reads for --delay-ms before passing
it on, in both directions, so a loopback peer behaves like one far away.

Listens on 127.0.0.1 (a free port below 32768), forwards to --target-port,
prints "READY <port>" once it accepts connections, and keeps in --stats FILE
{"connections": N, "round_trips": N, "sessions": [N, ...]}, rewritten on every
change; "sessions" holds the round trips of each connection, in the order they
were opened. A round trip is counted each time the server answers after the
client spoke, which is what a client waits for. Runs until terminated.
"""

import argparse
import asyncio
import json
import os
import random


class Stats:
    def __init__(self, path):
        self.path = path
        self.values = {"connections": 0, "round_trips": 0, "sessions": []}
        self.write()

    def connected(self):
        """Counts a connection; returns its index in "sessions"."""
        self.values["connections"] += 1
        self.values["sessions"].append(0)
        self.write()
        return len(self.values["sessions"]) - 1

    def round_trip(self, session):
        self.values["round_trips"] += 1
        self.values["sessions"][session] += 1
        self.write()

    def write(self):
        with open(self.path + ".tmp", "w") as out:
            json.dump(self.values, out)
        os.rename(self.path + ".tmp", self.path)


class Link:
    """One proxied connection; remembers who spoke last to count round trips."""

    def __init__(self, stats, session):
        self.stats = stats
        self.session = session
        self.last_speaker = None

    def spoke(self, speaker):
        if speaker == "server" and self.last_speaker == "client":
            self.stats.round_trip(self.session)
        self.last_speaker = speaker


async def pump(reader, writer, delay, link, speaker):
    """Reads chunks as they come and writes each one `delay` seconds after it
    was read, so the delay is latency, not a cut in throughput."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, chunk = await queue.get()
            await asyncio.sleep(max(0.0, due - loop.time()))
            if not chunk:
                break
            link.spoke(speaker)
            writer.write(chunk)
            await writer.drain()
        writer.close()

    sender = asyncio.ensure_future(deliver())
    try:
        while True:
            chunk = await reader.read(65536)
            queue.put_nowait((loop.time() + delay, chunk))
            if not chunk:
                break
    except (ConnectionError, OSError):
        queue.put_nowait((loop.time() + delay, b""))
    try:
        await sender
    except (ConnectionError, OSError):
        pass


async def serve(args):
    stats = Stats(args.stats)
    delay = args.delay_ms / 1000.0

    async def handle(client_reader, client_writer):
        session = stats.connected()
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", args.target_port)
        except OSError:
            client_writer.close()
            return
        link = Link(stats, session)
        await asyncio.gather(pump(client_reader, server_writer, delay, link, "client"),
                             pump(server_reader, client_writer, delay, link, "server"))

    for _ in range(200):
        try:
            server = await asyncio.start_server(handle, "127.0.0.1", random.randint(10000, 32767))
            break
        except OSError:
            continue
    print("READY %d" % server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--target-port", type=int, required=True)
    parser.add_argument("--delay-ms", type=int, default=25)
    parser.add_argument("--stats", required=True)
    asyncio.run(serve(parser.parse_args()))


if __name__ == "__main__":
    main()
