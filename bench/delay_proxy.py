#!/usr/bin/env python3
"""A TCP proxy on loopback that delays every chunk by a fixed time, in each direction.

  delay_proxy.py --upstream HOST:PORT [--listen-port P] [--delay-ms MS]

Listens on 127.0.0.1 (port 0: any free port), prints the port on a line of its own and serves
until SIGTERM or SIGINT. A chunk read at time t is written at t + MS on the other side: delays do
not add up behind each other, and the order of each direction is kept. An end of stream is passed
on with the same delay (half-close); a reset closes both sides at once.
"""
import argparse
import asyncio
import ctypes
import os
import signal
import socket
import sys


def end_with_parent():
    """The proxy never outlives the script that started it, even one that was killed."""
    try:
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass
    if os.getppid() == 1:
        sys.exit(0)


async def read_side(reader, queue, loop, delay):
    try:
        while True:
            data = await reader.read(65536)
            await queue.put((loop.time() + delay, data))
            if not data:
                return
    except (ConnectionError, OSError):
        await queue.put((loop.time(), None))


async def write_side(writer, queue, loop):
    """Writes each chunk when it is due; b"" passes the end of stream on, None a reset."""
    while True:
        due, data = await queue.get()
        wait = due - loop.time()
        if wait > 0:
            await asyncio.sleep(wait)
        if data is None:
            raise ConnectionResetError
        if not data:
            if writer.can_write_eof():
                writer.write_eof()
            return
        writer.write(data)
        await writer.drain()


async def direction(reader, writer, loop, delay):
    queue = asyncio.Queue(maxsize=1024)  # a slow receiver slows the sender down
    reading = asyncio.create_task(read_side(reader, queue, loop, delay))
    try:
        await write_side(writer, queue, loop)
    finally:
        reading.cancel()


def close(writer):
    transport = writer.transport
    if transport.is_closing():
        return
    if transport.get_write_buffer_size():
        transport.abort()
    else:
        transport.close()


async def serve(client_reader, client_writer, upstream, delay):
    loop = asyncio.get_running_loop()
    host, port = upstream
    try:
        server_reader, server_writer = await asyncio.open_connection(host, port)
    except OSError:
        client_writer.transport.abort()
        return
    for writer in (client_writer, server_writer):
        writer.transport.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    ways = [asyncio.create_task(direction(client_reader, server_writer, loop, delay)),
            asyncio.create_task(direction(server_reader, client_writer, loop, delay))]
    try:
        done, _ = await asyncio.wait(ways, return_when=asyncio.FIRST_EXCEPTION)
        if any(task.exception() for task in done):
            client_writer.transport.abort()
            server_writer.transport.abort()
    except asyncio.CancelledError:  # the proxy is stopping
        pass
    finally:
        for task in ways:
            task.cancel()
        close(client_writer)
        close(server_writer)


async def main():
    end_with_parent()
    parser = argparse.ArgumentParser()
    parser.add_argument("--upstream", required=True, help="HOST:PORT")
    parser.add_argument("--listen-port", type=int, default=0)
    parser.add_argument("--delay-ms", type=float, default=10.0)
    args = parser.parse_args()
    host, port = args.upstream.rsplit(":", 1)
    upstream = (host, int(port))
    delay = args.delay_ms / 1000.0

    server = await asyncio.start_server(
        lambda r, w: serve(r, w, upstream, delay), "127.0.0.1", args.listen_port, backlog=256)
    print(server.sockets[0].getsockname()[1], flush=True)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    async with server:
        await stop.wait()


if __name__ == "__main__":
    asyncio.run(main())
