#!/usr/bin/python3
"""A bad network between the launcher and the reference servers: a TCP proxy that passes each route's
connections to its server, with a fixed delay per direction, a bandwidth cap, a connection reset or a
stall at a chosen byte of a chosen connection, and refused connections, all set through a control port.

Usage: fault_proxy.py --route NAME:LISTEN:UPSTREAM [--route ...] --ports-file PATH [--wait-for-ports S]
Each route listens on 127.0.0.1:LISTEN (0: a free port) and passes to 127.0.0.1:UPSTREAM. Once all
listen, PATH receives one line: the control port, then each route's port in the order given.

Control lines (each answered by one line starting with "OK", or "ERR <why>"):
  RESET                        a healthy network again: no delay, no cap, no faults; counts cleared
  DELAY <ms>                   every byte waits this long in each direction (a round trip of 2 x ms)
  RATE <bytes per second>      a cap on each direction of each connection (0: none)
  CUT <route> <byte> [<n>]     the n-th connection of the route from now on (default 1) is reset (an
                               RST to both sides) once <byte> bytes of the server's answers passed
  CUTUP <route> <byte> [<n>]   the same, counting the bytes the launcher sent
  STALL <route> <byte> [<n>]   the same, but the connection stays open and nothing more passes either
                               way until the launcher hangs up
  REFUSE <route>               the route stops listening (connections are refused) until RESET
  STATS                        "OK <route>:<connections>:<faults done>:<longest connection ms>:<bytes
                               from the server> ..." since RESET
"""
import argparse
import asyncio
import os
import socket
import struct
import sys
import time


class Route:
    def __init__(self, name, listen, upstream):
        self.name = name
        self.listen = listen
        self.upstream = upstream
        self.server = None
        self.connections = 0
        self.faults_done = 0
        self.longest_ms = 0
        self.bytes_down = 0  # bytes of the server's answers passed on
        self.fault = None  # (kind, byte, connection number) waiting for its connection


class Network:
    """What every connection reads when it starts: the delay and the cap."""

    def __init__(self):
        self.delay_ms = 0
        self.rate = 0


def no_delay(writer):
    """Small lines (requests, answer lines) go out at once rather than waiting for an ACK."""
    sock = writer.get_extra_info("socket")
    try:
        if sock is not None:
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    except OSError:
        pass


def hard_close(writer):
    """Closes with an RST rather than a FIN (linger on, time 0)."""
    sock = writer.get_extra_info("socket")
    try:
        if sock is not None:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    except OSError:
        pass
    writer.transport.abort()


class Connection:
    def __init__(self, route, network, fault):
        self.route = route
        self.delay = network.delay_ms / 1000.0
        self.rate = network.rate
        self.fault = fault  # (kind, byte) or None
        self.ended = asyncio.Event()
        self.stalled = False
        self.senders = []

    async def pump(self, reader, writer, counts_for_fault, downstream):
        """Passes one direction; gives when the reader ends or the connection is ended."""
        queue = asyncio.Queue()
        sender = asyncio.ensure_future(self.send(queue, writer, downstream))
        self.senders.append(sender)
        passed = 0
        try:
            while not self.ended.is_set():
                data = await reader.read(1 << 20)
                if not data or self.stalled:
                    break
                trigger = None
                if counts_for_fault and self.fault and passed + len(data) >= self.fault[1]:
                    data = data[: max(0, self.fault[1] - passed)]
                    trigger = self.fault[0]
                passed += len(data)
                await queue.put((time.monotonic() + self.delay, data, trigger))
                if trigger:
                    break
        except (ConnectionError, OSError):
            pass
        await queue.put(None)
        await sender

    async def send(self, queue, writer, downstream):
        while True:
            item = await queue.get()
            if item is None:
                if not self.ended.is_set() and not self.stalled:
                    try:
                        writer.write_eof()
                    except (OSError, RuntimeError):
                        pass
                return
            due, data, trigger = item
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            if self.ended.is_set():
                continue
            try:
                if data:
                    writer.write(data)
                    await writer.drain()
                    if downstream:
                        self.route.bytes_down += len(data)
                    if self.rate:
                        await asyncio.sleep(len(data) / self.rate)
            except (ConnectionError, OSError):
                self.ended.set()
                continue
            if trigger == "stall":
                self.stalled = True
            elif trigger:
                self.ended.set()


async def serve(route, network, client_reader, client_writer):
    route.connections += 1
    started = time.monotonic()
    fault = None
    if route.fault:
        kind, byte, number = route.fault
        if number <= 1:
            fault = (kind, byte)
            route.fault = None
            route.faults_done += 1
        else:
            route.fault = (kind, byte, number - 1)
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", route.upstream)
    except OSError:
        hard_close(client_writer)
        return
    no_delay(client_writer)
    no_delay(server_writer)
    conn = Connection(route, network, fault)
    down_fault = fault and fault[0] in ("cut", "stall")
    up_fault = fault and fault[0] == "cutup"
    if up_fault:
        conn.fault = ("cut", fault[1])
    down = asyncio.ensure_future(conn.pump(server_reader, client_writer, down_fault, True))
    up = asyncio.ensure_future(conn.pump(client_reader, server_writer, up_fault, False))
    ended = asyncio.ensure_future(conn.ended.wait())
    await asyncio.wait([down, ended], return_when=asyncio.FIRST_COMPLETED)
    if conn.ended.is_set():
        # A reset: both sides get an RST where the chosen byte passed.
        hard_close(client_writer)
        hard_close(server_writer)
    elif conn.stalled:
        # A stall: the server is let go; the launcher keeps an open connection on which nothing
        # arrives, until it hangs up by itself.
        up.cancel()
        await asyncio.gather(up, return_exceptions=True)
        hard_close(server_writer)
        try:
            while await client_reader.read(65536):
                pass
        except (ConnectionError, OSError):
            pass
        client_writer.transport.abort()
    else:
        # The server ended its side: the launcher's side ends when the launcher hangs up.
        await asyncio.wait([up, ended], return_when=asyncio.FIRST_COMPLETED)
        client_writer.close()
        server_writer.close()
    tasks = [down, up, ended] + conn.senders
    for task in tasks:
        task.cancel()
    await asyncio.gather(*tasks, return_exceptions=True)
    route.longest_ms = max(route.longest_ms, int((time.monotonic() - started) * 1000))


async def start_listening(route, network, wait_s=0):
    """Listens on the route's port; while another program holds it, tries again every second for up
    to wait_s seconds (the launcher's ports are fixed and shared by every run on the machine)."""
    end = time.monotonic() + wait_s
    while True:
        try:
            route.server = await asyncio.start_server(lambda r, w: serve(route, network, r, w), "127.0.0.1",
                                                      route.listen, reuse_address=True)
            break
        except OSError:
            if time.monotonic() > end:
                raise
            await asyncio.sleep(1)
    route.listen = route.server.sockets[0].getsockname()[1]


async def control(routes, network, line):
    words = line.split()
    if not words:
        return "ERR empty line"
    command = words[0].upper()
    if command == "RESET":
        network.delay_ms = network.rate = 0
        for route in routes.values():
            route.fault = None
            route.connections = route.faults_done = route.longest_ms = route.bytes_down = 0
            if route.server is None:
                await start_listening(route, network)
        return "OK"
    if command in ("DELAY", "RATE") and len(words) == 2 and words[1].isdigit():
        setattr(network, "delay_ms" if command == "DELAY" else "rate", int(words[1]))
        return "OK"
    if command in ("CUT", "CUTUP", "STALL") and len(words) in (3, 4) and words[1] in routes and \
            all(w.isdigit() for w in words[2:]):
        number = int(words[3]) if len(words) == 4 else 1
        routes[words[1]].fault = (command.lower(), int(words[2]), max(1, number))
        return "OK"
    if command == "REFUSE" and len(words) == 2 and words[1] in routes:
        route = routes[words[1]]
        if route.server is not None:
            route.server.close()
            await route.server.wait_closed()
            route.server = None
        return "OK"
    if command == "STATS":
        return "OK " + " ".join("%s:%d:%d:%d:%d" % (r.name, r.connections, r.faults_done, r.longest_ms, r.bytes_down)
                                for r in routes.values())
    return "ERR unknown control line"


async def serve_control(routes, network, reader, writer):
    try:
        while True:
            line = await reader.readline()
            if not line:
                break
            writer.write((await control(routes, network, line.decode("utf-8", "replace").strip()) + "\n").encode())
            await writer.drain()
    except (ConnectionError, OSError):
        pass
    writer.close()


async def run(args):
    network = Network()
    routes = {}
    for text in args.route:
        name, listen, upstream = text.split(":")
        routes[name] = Route(name, int(listen), int(upstream))
    for route in routes.values():
        await start_listening(route, network, args.wait_for_ports)
    control_server = await asyncio.start_server(lambda r, w: serve_control(routes, network, r, w), "127.0.0.1", 0)
    ports = [control_server.sockets[0].getsockname()[1]] + [r.listen for r in routes.values()]
    temporary = args.ports_file + ".tmp"
    with open(temporary, "w") as f:
        f.write(" ".join(str(p) for p in ports) + "\n")
    os.replace(temporary, args.ports_file)
    await asyncio.Event().wait()


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--route", action="append", required=True, help="NAME:LISTEN:UPSTREAM")
    parser.add_argument("--ports-file", required=True)
    parser.add_argument("--wait-for-ports", type=int, default=0, help="seconds to wait for a port in use")
    asyncio.run(run(parser.parse_args(argv)))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
