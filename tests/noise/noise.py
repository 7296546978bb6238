#!/usr/bin/env python3
"""Background noise for test runs: UDP datagrams between two loopback ports
of its own, and one core kept busy, for a bounded time.

    tests/noise/noise.py [--seconds N] [--rate N] [--no-cpu]

The two ports are picked by the system, never one of the hub's or its test
peers' fixed ports. The datagrams look like the hub's own (a greeting, a
stick position, a status, a registration) or are random bytes, so a test that
took them for the hub's traffic would notice. Stops after --seconds (at most
two hours), on Ctrl-C or on SIGTERM, and prints what it sent.
"""
import argparse
import multiprocessing
import os
import random
import signal
import socket
import sys
import time

# The hub's fixed ports and those its tests' peers use: the noise keeps off them.
RESERVED = {45040, 45041, 45042, 45045, 45050, 45060, 45071, 45150, 50500, 50501}
MAX_SECONDS = 7200
LOOKALIKES = [bytes.fromhex(h) for h in ("0103026f00", "2a802bcc00", "1f80cc7f81808001", "1501050500", "0102")]


def bound_socket():
    while True:
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind(("127.0.0.1", 0))
        if s.getsockname()[1] not in RESERVED:
            return s
        s.close()


def burn(deadline):
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    x = 0
    while time.monotonic() < deadline:
        for _ in range(100000):
            x = (x * 1103515245 + 12345) & 0xFFFFFFFF


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=1800, help=f"how long (default 1800, at most {MAX_SECONDS})")
    parser.add_argument("--rate", type=int, default=200, help="datagrams per second (default 200)")
    parser.add_argument("--no-cpu", action="store_true", help="send datagrams only, keep no core busy")
    args = parser.parse_args()
    seconds = min(max(args.seconds, 0.0), MAX_SECONDS)
    deadline = time.monotonic() + seconds

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    burner = None
    if not args.no_cpu:
        burner = multiprocessing.Process(target=burn, args=(deadline,), daemon=True)
        burner.start()

    sender, receiver = bound_socket(), bound_socket()
    receiver.setblocking(False)
    target = receiver.getsockname()
    print(f"noise: {sender.getsockname()[1]} -> {target[1]} on 127.0.0.1 at {args.rate}/s"
          f"{'' if args.no_cpu else ', one core busy'}, for {seconds:.0f} s (pid {os.getpid()})", flush=True)
    rng = random.Random(1)
    sent = received = 0
    try:
        while time.monotonic() < deadline:
            payload = rng.choice(LOOKALIKES) if rng.random() < 0.5 else rng.randbytes(rng.randint(0, 600))
            sender.sendto(payload, target)
            sent += 1
            try:
                while receiver.recv(2048) is not None:
                    received += 1
            except BlockingIOError:
                pass
            time.sleep(1.0 / args.rate)
    except KeyboardInterrupt:
        pass
    finally:
        if burner is not None:
            burner.terminate()
            burner.join()
        print(f"noise: sent {sent} datagrams, received {received}", flush=True)


if __name__ == "__main__":
    main()
