"""A strict WebSocket server for the transport's conformance tests (python3-websockets).

Prints "PORT <n>" once listening, "EXT <route> <offered extensions or none>" for each connection and
"CLOSE <route> <code> <reason>" when one ends. Exits by itself after a bounded time.
"""
import asyncio
import sys
import urllib.parse

import websockets

LIFETIME_SECONDS = 120
TOO_BIG = 16 * 1024 * 1024 + 1


def say(line):
    print(line, flush=True)


async def handler(ws, path=None):
    target = urllib.parse.urlsplit(ws.path)
    route = target.path
    query = dict(urllib.parse.parse_qsl(target.query))
    say(f"EXT {route} {ws.request_headers.get('Sec-WebSocket-Extensions', 'none')}")
    try:
        if route == "/echo":
            async for message in ws:
                await ws.send(message)
        elif route == "/fragmented":
            await ws.send(["Hel", "lo, ", "world"])
            await ws.send([b"\x00\x01", b"\x02"])
            await ws.send("x" * 70000)
            await ws.wait_closed()
        elif route == "/ping":
            pong = await ws.ping(b"are you there")
            await asyncio.wait_for(pong, 5)
            await ws.send("pong received")
            await ws.wait_closed()
        elif route == "/close":
            await ws.close(int(query["code"]), query.get("reason", ""))
        elif route == "/too-big":
            await ws.send("x" * TOO_BIG)
            await ws.wait_closed()
        elif route == "/invalid-utf8":
            ws.transport.write(b"\x81\x02\xff\xfe")
            await ws.wait_closed()
        else:
            await ws.close(4404, "no route")
    except websockets.ConnectionClosed:
        pass
    finally:
        await ws.wait_closed()
        say(f"CLOSE {route} {ws.close_code} {ws.close_reason}")


async def main():
    async with websockets.serve(handler, "127.0.0.1", 0, ping_interval=None, max_size=None,
                                compression="deflate") as server:
        say(f"PORT {server.sockets[0].getsockname()[1]}")
        await asyncio.sleep(LIFETIME_SECONDS)


if __name__ == "__main__":
    asyncio.run(main())
    sys.exit(0)
