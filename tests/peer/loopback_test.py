#!/usr/bin/env python3
"""hub-peer against traffic this script sends itself on 127.0.0.1.

`watch` must print every datagram of the hub decoded to the values that were
sent; `remote` must say hello with its reply port, keep the link alive and
print the status stream a stand-in hub sends back; `query` must print the
answer; every command must end with status 2 and one line on a closed port.
Every port is one the system hands out as free, so a hub or another run of
these tests on the same machine is never in the way; should another program
take a port between the pick and hub-peer's bind, the test runs again on new
ports, at most three times.
"""
import os
import socket
import struct
import subprocess
import sys
import tempfile
import time

PEER = sys.argv[1]
TRIES = 3
failures = []


def free_ports(count):
    """Ports free on 127.0.0.1 now: all bound at once, so all differ, then let go."""
    sockets = [socket.socket(socket.AF_INET, socket.SOCK_DGRAM) for _ in range(count)]
    for s in sockets:
        s.bind(("127.0.0.1", 0))
    ports = [s.getsockname()[1] for s in sockets]
    for s in sockets:
        s.close()
    return ports


def pick_ports():
    """The watched ports, the remote app's and the querier's reply ports, and one where nothing listens."""
    global STICK, XDRV, FEEDER, REPLY, QUERY, CLOSED
    STICK, XDRV, FEEDER, REPLY, QUERY, CLOSED = free_ports(6)


def digits(port):
    return [port // 10000, port // 100 % 100, port % 100]


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def start(*args):
    return subprocess.Popen([PEER, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def finish(process):
    out, err = process.communicate(timeout=20)
    return process.returncode, out.splitlines(), err


def sender():
    return socket.socket(socket.AF_INET, socket.SOCK_DGRAM)


def bound_by_another(port):
    probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        probe.bind(("127.0.0.1", port))
        return False
    except OSError:
        return True
    finally:
        probe.close()


def wait_until_listening(process, ports, seconds=10):
    """Whether the process bound every port (it ends on a failed bind) within the time."""
    end = time.time() + seconds
    while time.time() < end and process.poll() is None:
        if all(map(bound_by_another, ports)):
            return True
        time.sleep(0.02)
    return False


def test_watch():
    process = start("watch", "--ports", f"{STICK},{XDRV},{FEEDER}", "--mode", "6", "--duration", "3")
    if not wait_until_listening(process, (STICK, XDRV, FEEDER)):
        status, _, err = finish(process)
        check(False, f"watch is not listening: {status} {err}")
        return
    s = sender()
    datagrams = [
        (STICK, "0103026f00"), (STICK, "2a802bcc00"),
        (XDRV, (b"XDRV" + struct.pack("<Iff8xI", 1, 0.0, 0.6, 3)).hex()),
        (XDRV, (b"XDRV" + struct.pack("<Iff8xI", 1, 1.05, -0.25, 3)).hex()),
        (FEEDER, "0103026f00"), (FEEDER, "0100"), (FEEDER, "020180cc050607"),
        (FEEDER, "1601808080032fcc"), (FEEDER, "0102"), (FEEDER, "1f80cc7f81808001"), (FEEDER, "6400"),
        (FEEDER, "deadbeef"),
    ]
    for port, payload in datagrams:
        s.sendto(bytes.fromhex(payload), ("127.0.0.1", port))
        time.sleep(0.01)
    status, lines, err = finish(process)
    check(status == 0, f"watch ended with {status}: {err}")
    texts = [line.split(" ", 2)[1:] for line in lines]
    expected = [
        [str(STICK), "greeting"],
        [str(STICK), "stick x=128 y=204"],
        [str(XDRV), "xdrv x=0 y=0.6"],
        [str(XDRV), "xdrv x=1.05 y=-0.25"],
        [str(FEEDER), "greeting"],
        [str(FEEDER), "feeder-ack"],
        [str(FEEDER), "4-way x=128 y=204 axis3=5 axis4=6 buttons=0x07"],
        [str(FEEDER), "joystick-state 01 80 80 80 03 2f cc | steering=-1.000 buttons=3 brake=0.184 throttle=0.800"],
        [str(FEEDER), "connection-reply"],
        [str(FEEDER), "status x=128 y=204 headingRF=127 tiltRF=129 headingLF=128 tiltLF=128 touch=0x1"],
        [str(FEEDER), "feeder-stop"],
        [str(FEEDER), "unknown 4 bytes: de ad be ef"],
    ]
    check(texts == expected, f"watch printed {texts}")
    check(all(len(line.split(" ")[0]) == 12 and line[2] == ":" for line in lines), f"time stamps in {lines}")


def stand_in_hub():
    hub = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    hub.bind(("127.0.0.1", 0))
    hub.settimeout(0.2)
    return hub, hub.getsockname()[1]


def first_message(hub, process):
    """The first datagram hub-peer sends to the stand-in hub; None when it ended without one."""
    end = time.time() + 10
    while time.time() < end:
        try:
            return hub.recvfrom(2048)[0]
        except socket.timeout:
            if process.poll() is not None:
                break
    status, _, err = finish(process)
    check(False, f"no message from hub-peer: {status} {err}")
    hub.close()
    return None


def receive_all(hub, seconds):
    received = []
    end = time.time() + seconds
    while time.time() < end:
        try:
            data, source = hub.recvfrom(2048)
        except socket.timeout:
            continue
        received.append((data, source))
    return received


def test_remote():
    hub, hub_port = stand_in_hub()
    script = tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False)
    script.write("# steer left, then press A and X\n0.3 steering=-0.5\n0.6 buttons=A,X axis3=200\n")
    script.close()
    process = start("remote", "--port", str(REPLY), "--hub-port", str(hub_port), "--steering", "0.25",
                    "--script", script.name, "--duration", "3.5")
    hello = first_message(hub, process)
    if hello is None:
        os.unlink(script.name)
        return
    check(hello == bytes([1, 3, *digits(REPLY)]), f"hello was {hello.hex()}")
    hub.sendto(bytes([1, 2]), ("127.0.0.1", REPLY))
    hub.sendto(bytes([31, 128, 204, 128, 128, 128, 128, 0]), ("127.0.0.1", REPLY))
    received = [data for data, _ in receive_all(hub, 3.2)]
    status, lines, err = finish(process)
    hub.close()
    os.unlink(script.name)
    check(status == 0, f"remote ended with {status}: {err}")
    inputs = [data for data in received if data[0] == 32]
    check(inputs[:3] == [bytes([32, 160, 0, 0, 0, 128, 128, 0, 0]), bytes([32, 64, 0, 0, 0, 128, 128, 0, 0]),
                         bytes([32, 64, 5, 0, 0, 200, 128, 0, 0])], f"inputs were {[d.hex() for d in inputs]}")
    check(bytes([1, 21]) in received, "no keep-alive within 2 s after the last input")
    shown = [line.split(" ", 2)[2] for line in lines if " 127.0.0.1:" in line]
    check(shown == ["connection-reply",
                    "status x=128 y=204 headingRF=128 tiltRF=128 headingLF=128 tiltLF=128 touch=0x0"],
          f"remote printed {lines}")


def test_query():
    hub, hub_port = stand_in_hub()
    process = start("query", str(QUERY), "--hub-port", str(hub_port), "--timeout", "3")
    query = first_message(hub, process)
    if query is None:
        return
    check(query == bytes([21, 2, *digits(QUERY)]), f"query was {query.hex()}")
    hub.sendto(bytes([21, 2, 5, 5, 0]), ("127.0.0.1", QUERY))
    status, lines, err = finish(process)
    hub.close()
    check(status == 0 and lines[-1] == "registered port: 50500", f"query: {status} {lines} {err}")


def test_refusals():
    for args in (["register", "50500"], ["enable-feeder"], ["query", str(QUERY)],
                 ["remote", "--port", str(REPLY), "--duration", "2"]):
        status, _, err = finish(start(*args, "--hub-port", str(CLOSED)))
        check(status == 2 and err == f"hub-peer: nothing listens on 127.0.0.1:{CLOSED} (is the hub running?)\n",
              f"{args[0]} on a closed port: {status} {err!r}")
    status, _, err = finish(start("remote", "--steering", "1.5"))
    check(status == 2 and err.count("\n") == 1 and "steering" in err, f"bad steering: {status} {err!r}")


passed = 0
for test in (test_watch, test_remote, test_query, test_refusals):
    before = len(failures)
    for attempt in range(TRIES):
        del failures[before:]
        pick_ports()
        test()
        if not any("cannot bind" in failure for failure in failures[before:]):
            break
        print(f"{test.__name__}: a port was taken meanwhile, again on new ports")
    passed += len(failures) == before
print(f"{passed} passed, {4 - passed} failed")
sys.exit(1 if failures else 0)
