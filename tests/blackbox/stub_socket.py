#!/usr/bin/python3
"""Sockets that misbehave: an accessibility bus the clock joins, sway's command socket.

  stub_socket.py silent PATH   takes every connection and never sends a byte
  stub_socket.py drip PATH     answers each connection as sway would start to (its header, a
                               100-byte answer), one byte every 0.1 s
  stub_socket.py full PATH     accepts nobody, its backlog full; prints "full" once it is
  stub_socket.py slow PATH     answers the login and Hello after 0.8 s, then takes every message
                            and answers none; prints each call's member as it comes (Embed)
                            and when (seconds since the epoch)
"""
import socket
import struct
import sys
import threading
import time


def hello_reply(serial, name):
    # A method return to `serial`: header fields REPLY_SERIAL (5, u), DESTINATION (6, s),
    # SIGNATURE (8, g), then the body, one string.
    def pad(b, n):
        return b + b"\0" * (-len(b) % n)

    def string(s):
        s = s.encode()
        return struct.pack("<I", len(s)) + s + b"\0"

    fields = pad(struct.pack("<BBBBI", 5, 1, ord("u"), 0, serial), 8)
    fields += pad(struct.pack("<BBBB", 6, 1, ord("s"), 0) + string(name), 8)
    fields += struct.pack("<BBBB", 8, 1, ord("g"), 0) + b"\x01s\0"
    body = string(name)
    head = struct.pack("<cBBBIII", b"l", 2, 1, 1, len(body), 1, len(fields))
    return pad(head + fields, 8) + body


def members(data):
    """The members named in whatever messages `data` holds (a rough scan, enough here)."""
    out = []
    for m in (b"Hello", b"Embed", b"GetAddress"):
        if m in data:
            out.append(m.decode())
    return out


def slow(conn):
    buf = b""
    while b"BEGIN\r\n" not in buf or b"Hello" not in buf:
        if b"AUTH" in buf and b"\r\n" in buf and not buf.startswith(b"-"):
            time.sleep(0.8)
            conn.sendall(b"OK 0123456789abcdef0123456789abcdef\r\n")
            buf = b"-" + buf  # answered
        chunk = conn.recv(4096)
        if not chunk:
            return
        buf += chunk
    hello = buf.index(b"l", buf.index(b"BEGIN\r\n") + 7)
    serial = struct.unpack_from("<I", buf, hello + 8)[0]
    conn.sendall(hello_reply(serial, ":1.1"))
    while True:
        chunk = conn.recv(4096)
        if not chunk:
            return
        for m in members(chunk):
            print(m, "%.3f" % time.time(), flush=True)


def drip(conn):
    answer = b"i3-ipc" + struct.pack("<II", 100, 0) + b"[" + b" " * 98 + b"]"
    try:
        for i in range(len(answer)):
            conn.sendall(answer[i:i + 1])
            time.sleep(0.1)
    except OSError:
        pass


def fill(path, s):
    held = []
    while True:
        c = socket.socket(socket.AF_UNIX)
        c.setblocking(False)
        held.append(c)
        try:
            c.connect(path)
        except BlockingIOError:
            break
    print("full", flush=True)
    time.sleep(3600)


def main():
    kind, path = sys.argv[1], sys.argv[2]
    s = socket.socket(socket.AF_UNIX)
    s.bind(path)
    s.listen(0 if kind == "full" else 16)
    if kind == "full":
        fill(path, s)
    held = []
    while True:
        c, _ = s.accept()
        held.append(c)
        if kind in ("slow", "drip"):
            threading.Thread(target=slow if kind == "slow" else drip, args=(c,), daemon=True).start()


main()
