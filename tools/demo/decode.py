#!/usr/bin/env python3
"""Prints, live and readable, what the hub sends on the local machine: the stick
datagrams (127.0.0.1:45040), the XDRV datagrams (:45045) and the feeder's
datagrams (:45042). A kind is printed when it changes, at most twice a second
(the latest value), so that a person can follow a walk at 30 datagrams a
second. Times are seconds since DEMO_T0 (seconds since the epoch; default: the
decoder's start), the clock of the narration too. The decoder ends after the
hub's stop datagram (64 00), or on SIGTERM or Ctrl+C.

    decode.py
"""

import os
import select
import signal
import socket
import struct
import sys
import time

STICK, XDRV, FEEDER = 45040, 45045, 45042
PRINT_INTERVAL = 0.5  # seconds between two lines of one kind


def describe_feeder(data):
    if data == bytes([1, 3, 2, 0x6F, 0]):
        return "greeting"
    if data == bytes([1, 0]):
        return "acknowledgement (the feeder output is on)"
    if data == bytes([0x64, 0]):
        return "stop"
    if len(data) == 7 and data[:2] == bytes([2, 1]):
        return (f"4-way-mov   X {data[2]:3}  Y {data[3]:3}  axis3 {data[4]:3}  axis4 {data[5]:3}  "
                f"buttons {data[6]:02X}")
    if len(data) == 8 and data[0] == 0x16:
        return "joystick    " + "  ".join(f"{b:3}" for b in data[1:])
    if len(data) == 2 and data == bytes([1, 2]):
        return "remote-app connection reply"
    if len(data) == 8 and data[0] == 0x1F:
        return "remote-app status " + data.hex(" ")
    return "other " + data.hex(" ")


def describe(port, data):
    if port == STICK:
        if data == bytes([1, 3, 2, 0x6F, 0]):
            return "stick   greeting"
        if len(data) == 5 and data[0] == 0x2A and data[2] == 0x2B:
            return f"stick   X {data[1]:3}  Y {data[3]:3}    ({data.hex(' ')})"
    if port == XDRV and len(data) == 28 and data[:4] == b"XDRV":
        x, y = struct.unpack_from("<ff", data, 8)
        return f"XDRV    x {x:+.4f}  y {y:+.4f}"
    if port == FEEDER:
        return "feeder  " + describe_feeder(data)
    return f"{port}  {data.hex(' ')}"


def main():
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    sockets = {}
    for port in (STICK, XDRV, FEEDER):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("127.0.0.1", port))
        sockets[s.fileno()] = (port, s)
    print("listening on 127.0.0.1:45040 (stick), :45045 (XDRV), :45042 (feeder)", flush=True)

    start = float(os.environ.get("DEMO_T0", time.time()))
    printed = {}  # port: the text printed last
    latest = {}   # port: the newest text, not printed yet
    printed_at = {}
    while True:
        readable, _, _ = select.select(list(sockets), [], [], 0.1)
        for fd in readable:
            port, s = sockets[fd]
            data = s.recv(2048)
            latest[port] = describe(port, data)
            if port == FEEDER and data == bytes([0x64, 0]):
                print(f"{time.time() - start:7.2f}s  {latest[port]}", flush=True)
                return
        now = time.time()
        for port, text in list(latest.items()):
            if text != printed.get(port) and now - printed_at.get(port, 0) >= PRINT_INTERVAL:
                print(f"{now - start:7.2f}s  {text}", flush=True)
                printed[port], printed_at[port] = text, now
                del latest[port]


if __name__ == "__main__":
    main()
