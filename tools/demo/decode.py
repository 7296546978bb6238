#!/usr/bin/env python3
"""Prints, live and readable, what the hub sends on the local machine: the stick
datagrams (127.0.0.1:45040), the XDRV datagrams (:45045) and the feeder's
datagrams (:45042), each kind only when it changes; and the narration of the
simulator's script from its log.

    decode.py [--sim-log FILE] [--enable-feeder]

--enable-feeder sends the feeder-enable message (01 01) to the hub's port
45041 once the hub ticks, so the per-mode feeder datagrams start. The decoder
ends after the hub's stop datagram (64 00), or on SIGTERM / Ctrl+C."""

import argparse
import select
import signal
import socket
import struct
import sys
import time

STICK, XDRV, FEEDER, HUB = 45040, 45045, 45042, 45041


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
    parser = argparse.ArgumentParser()
    parser.add_argument("--sim-log")
    parser.add_argument("--enable-feeder", action="store_true")
    options = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

    sockets = {}
    for port in (STICK, XDRV, FEEDER):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("127.0.0.1", port))
        sockets[s.fileno()] = (port, s)
    print("listening on 127.0.0.1:45040 (stick), :45045 (XDRV), :45042 (feeder)", flush=True)

    log = None
    start = time.time()
    last = {}
    enabled = False
    while True:
        readable, _, _ = select.select(list(sockets), [], [], 0.1)
        if log is None and options.sim_log:
            try:
                log = open(options.sim_log, encoding="utf-8", errors="replace")
            except OSError:
                pass
        if log is not None:
            for line in log.readlines():
                if "script: say " in line:
                    print(f"{time.time() - start:7.2f}s  ---- {line.split('script: say ', 1)[1].strip()}",
                          flush=True)
        for fd in readable:
            port, s = sockets[fd]
            data = s.recv(2048)
            text = describe(port, data)
            if port == STICK and options.enable_feeder and not enabled and data[:1] == b"\x2a":
                s.sendto(bytes([1, 1]), ("127.0.0.1", HUB))
                enabled = True
            if last.get(port) == text:
                continue
            last[port] = text
            print(f"{time.time() - start:7.2f}s  {text}", flush=True)
            if port == FEEDER and data == bytes([0x64, 0]):
                return


if __name__ == "__main__":
    main()
