#!/usr/bin/python3
"""TLS WebSocket peer for the transport tests, on 127.0.0.1.

Prints "PORT <n>" once it listens, then takes one command per line on standard input
and answers each with "OK [value]" or "ERR <reason>" on standard output. It ends when
its standard input ends.

Modes:
  echo    sends every received message back
  silent  reads and keeps messages, never sends anything of its own
  bridge  relays each binary message's bytes to a TCP backend on 127.0.0.1 and sends
          whatever the backend writes as binary messages; the two sides end together

Commands act on the newest connection:
  send <hex>    send one binary message
  fragments <frame> <ms> <hex>
                send one binary message in frames of <frame> bytes, one every <ms>
  sized <size> <hex>
                send one binary message of <size> bytes: <hex>, then "x" up to the size
  begin <hex>   send <hex> as the first frame of a binary message whose other frames never
                come (until the connection ends)
  close [code]  closing handshake (default 1000)
  abort         drop the TCP connection without a closing handshake
  finish        end the server's side of TCP (FIN) without a closing handshake or a TLS
                close_notify, and keep the socket open
  hold <how>    from now on, on every connection, the client's close frame is kept from
                websockets and answered with its echo ("echo") or not at all ("ignore");
                then nothing more is read, so TLS and TCP stay open whatever the client
                sends; "off" lets websockets close as usual
  holding       "<held> <tcp>" of the newest connection: 1 once its close frame was held,
                and "open" until the client has closed its side of TCP, then "closed"
  count         number of WebSocket connections accepted so far
  useragent     the User-Agent of the newest opening handshake
  received      hex of every byte received on the newest connection
The two large sends answer "OK closed" when the connection ends before they are out.
"""

import argparse
import asyncio
import socket
import ssl
import sys
import threading

import websockets


class Peer:
    def __init__(self, args):
        self.args = args
        self.count = 0
        self.current = None
        self.user_agent = ""
        self.received = bytearray()
        self.hold = "off"
        self.holds = {}

    async def handle(self, ws, path=None):
        self.count += 1
        self.current = ws
        self.holds[ws] = CloseHold(self, ws)
        self.user_agent = ws.request_headers.get("User-Agent", "")
        self.received = bytearray()
        if self.args.mode == "bridge":
            await self.bridge(ws)
            return
        try:
            async for message in ws:
                data = message.encode() if isinstance(message, str) else message
                self.received += data
                if self.args.mode == "echo":
                    await ws.send(data)
        except websockets.ConnectionClosed:
            pass

    async def bridge(self, ws):
        reader, writer = await asyncio.open_connection("127.0.0.1", self.args.backend_port)

        async def upstream():
            async for message in ws:
                data = message.encode() if isinstance(message, str) else message
                self.received += data
                writer.write(data)
                await writer.drain()

        async def downstream():
            while True:
                data = await reader.read(65536)
                if not data:
                    return
                await ws.send(data)

        tasks = {asyncio.ensure_future(upstream()), asyncio.ensure_future(downstream())}
        try:
            await asyncio.wait(tasks, return_when=asyncio.FIRST_COMPLETED)
        finally:
            for task in tasks:
                task.cancel()
            writer.close()
            if not self.holds[ws].held:
                await ws.close()

    async def command(self, line):
        words = line.split()
        if not words:
            return "ERR empty command"
        name = words[0]
        if name == "count":
            return "OK %d" % self.count
        if name == "useragent":
            return "OK " + self.user_agent
        if name == "received":
            return "OK " + self.received.hex()
        if name == "hold":
            if len(words) < 2 or words[1] not in ("echo", "ignore", "off"):
                return "ERR hold takes echo, ignore or off"
            self.hold = words[1]
            return "OK"
        ws = self.current
        if ws is None:
            return "ERR no connection"
        if name == "send":
            await ws.send(bytes.fromhex(words[1] if len(words) > 1 else ""))
            return "OK"
        if name == "fragments":
            return await send_until_closed(ws, fragments(bytes.fromhex(words[3] if len(words) > 3 else ""),
                                                         int(words[1]), int(words[2]) / 1000.0))
        if name == "begin":
            first_out = asyncio.Event()
            asyncio.ensure_future(send_until_closed(ws, unfinished(bytes.fromhex(words[1] if len(words) > 1 else ""),
                                                                   first_out)))
            await first_out.wait()
            return "OK"
        if name == "sized":
            head = bytes.fromhex(words[2] if len(words) > 2 else "")
            return await send_until_closed(ws, head + b"x" * max(0, int(words[1]) - len(head)))
        if name == "close":
            await ws.close(int(words[1]) if len(words) > 1 else 1000)
            return "OK"
        if name == "abort":
            ws.transport.abort()
            return "OK"
        if name == "finish":
            # Below TLS: what is buffered goes out, then the FIN.
            ws.transport._ssl_protocol._transport.write_eof()
            return "OK"
        if name == "holding":
            return "OK %d %s" % (self.holds[ws].held, "open" if tcp_open(ws) else "closed")
        return "ERR unknown command " + name


class CloseHold:
    """Follows the frames that the client sends on one connection and, while the peer
    holds closes, keeps the client's close frame and everything after it from websockets."""

    def __init__(self, peer, ws):
        self.peer = peer
        self.ws = ws
        self.held = False
        self.header = bytearray()
        self.left = 0
        self.close = None
        self.how = None
        self.forward = ws.data_received
        ws.data_received = self.data_received

    def data_received(self, data):
        if self.held:
            return
        if self.close is not None:
            self.take_close(data)
            return
        start = 0
        i = 0
        while i < len(data):
            if self.left:
                step = min(self.left, len(data) - i)
                i += step
                self.left -= step
                continue
            if not self.header:
                start = i
            self.header.append(data[i])
            i += 1
            if len(self.header) < header_size(self.header):
                continue
            header = bytes(self.header)
            self.header = bytearray()
            if header[0] & 0x0F == 8 and self.peer.hold != "off":
                if start:
                    self.forward(data[:start])
                self.how = self.peer.hold
                self.close = (header, payload_size(header), bytearray())
                self.take_close(data[i:])
                return
            self.left = payload_size(header)
        self.forward(data)

    def take_close(self, data):
        header, size, payload = self.close
        payload += data[:size - len(payload)]
        if len(payload) < size:
            return
        if self.how == "echo":
            mask = header[-4:] if header[1] & 0x80 else bytes(4)
            code = bytes(b ^ mask[n % 4] for n, b in enumerate(payload))
            self.ws.transport.write(bytes([0x88, len(code)]) + code)
        # Unread, neither the client's close_notify nor its FIN closes the server's side.
        self.ws.transport.pause_reading()
        self.held = True


def header_size(header):
    if len(header) < 2:
        return 2
    length = header[1] & 0x7F
    return 2 + (2 if length == 126 else 8 if length == 127 else 0) + (4 if header[1] & 0x80 else 0)


def payload_size(header):
    length = header[1] & 0x7F
    if length == 126:
        return int.from_bytes(header[2:4], "big")
    if length == 127:
        return int.from_bytes(header[2:10], "big")
    return length


def tcp_open(ws):
    """True until the client has closed its side of the TCP connection."""
    sock = ws.transport.get_extra_info("socket")
    if sock is None:
        return False
    try:
        # tcpi_state, the first byte of struct tcp_info: 1 is ESTABLISHED.
        return sock.getsockopt(socket.IPPROTO_TCP, socket.TCP_INFO, 8)[0] == 1
    except OSError:
        return False


async def fragments(data, frame, interval):
    for start in range(0, len(data), frame):
        if start != 0:
            await asyncio.sleep(interval)
        yield data[start:start + frame]


async def unfinished(data, first_out):
    yield data
    # Resumed once the first frame is written: the rest never comes.
    first_out.set()
    await asyncio.get_running_loop().create_future()
    yield b""


async def send_until_closed(ws, message):
    try:
        await ws.send(message)
    except websockets.ConnectionClosed:
        return "OK closed"
    return "OK"


def read_commands(loop, peer, stop):
    for line in sys.stdin:
        future = asyncio.run_coroutine_threadsafe(peer.command(line.strip()), loop)
        try:
            answer = future.result(timeout=30)
        except Exception as error:  # the answer tells the test what went wrong
            answer = "ERR %r" % (error,)
        print(answer, flush=True)
    loop.call_soon_threadsafe(stop.set)


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--certificate", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--mode", choices=["echo", "silent", "bridge"], default="echo")
    parser.add_argument("--backend-port", type=int, default=0)
    args = parser.parse_args()

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.certificate, args.key)
    peer = Peer(args)
    stop = asyncio.Event()
    server = await websockets.serve(peer.handle, "127.0.0.1", 0, ssl=context, max_size=1 << 26,
                                    ping_interval=None, close_timeout=2)
    port = server.sockets[0].getsockname()[1]
    print("PORT %d" % port, flush=True)
    threading.Thread(target=read_commands, args=(asyncio.get_running_loop(), peer, stop), daemon=True).start()
    await stop.wait()
    for ws, hold in peer.holds.items():
        if hold.held:
            ws.transport.abort()
    server.close()
    await server.wait_closed()


if __name__ == "__main__":
    asyncio.run(main())
