#!/usr/bin/env python3
"""A loopback listener that stalls a database connection, for the deadline tests.

  stall_listener.py MODE [--port P] [--upstream HOST:PORT] [--after BYTES] [--lifetime S] [--browser]

Binds a random 127.0.0.x address (x from 20 to 250; --port 0 means any port), prints
"READY HOST PORT PID" and serves until killed, or until --lifetime seconds (default 40) have passed:
then it ends and every connection it held is closed, so that a client without a time-out of its
own fails late instead of hanging its test. MODE:
  silent   listens but never accepts: the kernel completes the handshake, nothing else happens
  accept   accepts and reads, never answers
  proxy    forwards to --upstream; once --after bytes came back from the server, it stops
           passing the server's bytes on (the connection stays open); no --after: plain proxy
  tds-result  a TDS server that accepts any login and answers every batch with "done", except
           one that names "stallo": for it the first rows of a result come, then nothing
  tds-login   a TDS server that prints "LOGIN USER PASSWORD DATABASE" (each as UTF-8 hex, "-" when
           empty) for every login it receives, then closes that connection
--browser: also a SQL Server Browser on UDP 1434 of the same address, which names the listener's
port for any instance.
"""
import argparse
import ctypes
import os
import random
import signal
import socket
import sys
import threading


def end_with_parent():
    """The listener never outlives the test that started it, even one that crashed."""
    try:
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass
    if os.getppid() == 1:
        sys.exit(0)


def bind(port):
    for _ in range(200):
        host = "127.0.0.%d" % random.randint(20, 250)
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            s.bind((host, port))
        except OSError:
            s.close()
            continue
        s.listen(16)
        return s
    sys.exit("stall_listener: no free loopback address")


def drain(conn):
    try:
        while conn.recv(65536):
            pass
    except OSError:
        pass


def pump(src, dst, budget):
    """Copies src to dst; with a budget, stops passing bytes on once it is spent."""
    passed = 0
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            if budget is None or passed < budget:
                dst.sendall(data)
                passed += len(data)
    except OSError:
        pass


def proxy(client, upstream, after):
    host, port = upstream.rsplit(":", 1)
    server = socket.create_connection((host, int(port)))
    threading.Thread(target=pump, args=(client, server, None), daemon=True).start()
    pump(server, client, after)


def tds_prelogin_reply():
    # PRELOGIN options: VERSION (6 bytes) and ENCRYPTION = not supported, then the terminator.
    options = bytes([0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00, 0x01, 0xFF])
    payload = options + bytes([0x0F, 0x00, 0x07, 0xD0, 0x00, 0x00]) + bytes([0x02])
    header = bytes([0x04, 0x01]) + (8 + len(payload)).to_bytes(2, "big") + bytes([0, 0, 1, 0])
    return header + payload


def ucs2(text):
    return text.encode("utf-16-le")


def packet(payload, last=True):
    return bytes([0x04, 0x01 if last else 0x00]) + (8 + len(payload)).to_bytes(2, "big") + bytes([0, 0, 1, 0]) + payload


def done():
    return bytes([0xFD]) + bytes(4) + bytes(8)  # status, current command, row count (TDS 7.2+)


def login_ack():
    name = ucs2("stallo")
    body = bytes([1]) + bytes([0x74, 0x00, 0x00, 0x04]) + bytes([len(name) // 2]) + name + bytes([1, 0, 0, 0])
    return bytes([0xAD]) + len(body).to_bytes(2, "little") + body


def first_rows():
    name = ucs2("n")
    columns = bytes([0x81]) + (1).to_bytes(2, "little") + bytes(4) + bytes(2) + bytes([0x38])
    columns += bytes([len(name) // 2]) + name
    rows = b"".join(bytes([0xD1]) + n.to_bytes(4, "little") for n in range(1, 101))
    return columns + rows


def read_message(conn):
    """One client message (its packets up to end-of-message): (type, payload)."""
    kind, payload = None, b""
    while True:
        header = b""
        while len(header) < 8:
            data = conn.recv(8 - len(header))
            if not data:
                return None, b""
            header += data
        length = int.from_bytes(header[2:4], "big") - 8
        body = b""
        while len(body) < length:
            data = conn.recv(length - len(body))
            if not data:
                return None, b""
            body += data
        kind, payload = header[0], payload + body
        if header[1] & 0x01:
            return kind, payload


def login_fields(payload):
    """User, password (its obfuscation undone) and database of a LOGIN7 message."""
    def field(at, secret=False):
        offset = int.from_bytes(payload[at:at + 2], "little")
        length = 2 * int.from_bytes(payload[at + 2:at + 4], "little")
        raw = bytearray(payload[offset:offset + length])
        if secret:
            raw = bytearray((((b ^ 0xA5) << 4) | ((b ^ 0xA5) >> 4)) & 0xFF for b in raw)
        return bytes(raw).decode("utf-16-le", "replace")
    return field(40), field(44, True), field(68)


def tds_login(conn):
    try:
        while True:
            kind, payload = read_message(conn)
            if kind is None:
                return
            if kind == 0x12:
                conn.sendall(tds_prelogin_reply())
            elif kind == 0x10:
                words = [v.encode().hex() or "-" for v in login_fields(payload)]
                print("LOGIN " + " ".join(words), flush=True)
                conn.close()
                return
    except OSError:
        return


def tds_result(conn):
    try:
        while True:
            kind, payload = read_message(conn)
            if kind is None:
                return
            if kind == 0x12:  # pre-login
                conn.sendall(tds_prelogin_reply())
            elif kind == 0x10:  # login
                conn.sendall(packet(login_ack() + done()))
            elif ucs2("stallo") in payload or ucs2("stallo") in payload[1:]:
                conn.sendall(packet(first_rows(), last=False))
                drain(conn)
                return
            else:
                conn.sendall(packet(done()))
    except OSError:
        return


def browser(host, port):
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind((host, 1434))
    answer = ("ServerName;STALLO;InstanceName;STALLO;IsClustered;No;tcp;%d;;" % port).encode()
    while True:
        data, peer = udp.recvfrom(1024)
        if data[:1] == b"\x04":
            udp.sendto(bytes([0x05]) + len(answer).to_bytes(2, "little") + answer, peer)


def main():
    end_with_parent()
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["silent", "accept", "proxy", "tds-result", "tds-login"])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--upstream")
    parser.add_argument("--after", type=int)
    parser.add_argument("--lifetime", type=int, default=40)
    parser.add_argument("--browser", action="store_true")
    args = parser.parse_args()
    signal.alarm(args.lifetime)  # SIGALRM's default action ends the process
    listener = bind(args.port)
    host, port = listener.getsockname()
    if args.browser:
        threading.Thread(target=browser, args=(host, port), daemon=True).start()
    print("READY %s %d %d" % (host, port, os.getpid()), flush=True)
    held = []
    while True:
        if args.mode == "silent":
            threading.Event().wait()
        conn, _ = listener.accept()
        held.append(conn)  # never closed while the listener lives
        if args.mode == "accept":
            target, extra = drain, ()
        elif args.mode == "tds-result":
            target, extra = tds_result, ()
        elif args.mode == "tds-login":
            target, extra = tds_login, ()
        else:
            target, extra = proxy, (args.upstream, args.after)
        threading.Thread(target=target, args=(conn,) + extra, daemon=True).start()


if __name__ == "__main__":
    main()
