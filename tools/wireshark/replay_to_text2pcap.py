#!/usr/bin/env python3
"""Turns a replay into text2pcap input, for a capture that Wireshark opens.

    hub-replay SCRIPT > OUTPUT
    replay_to_text2pcap.py SCRIPT OUTPUT > capture.txt
    text2pcap -q -l 101 -t '%Y-%m-%d %H:%M:%S.%f' capture.txt capture.pcap

Every datagram the hub sent (the output's "send" lines) becomes one IPv4/UDP
packet from 127.0.0.1 and the hub's sending port (--hub-port, 49152) to its
destination; every datagram the script delivered to port 45041 ("recv"
events) becomes one packet from its sender to 127.0.0.1:45041. Each packet
carries the tick clock of its moment as its time (from 2024-01-01), one
microsecond apart within a tick so the order stays. Link type 101 is raw IP:
the hex holds the whole IPv4 header, which this script builds.
"""
import argparse
import datetime
import json
import struct
import sys

LISTEN_PORT = 45041
EPOCH = datetime.datetime(2024, 1, 1)


def address(text):
    host, port = text.rsplit(":", 1)
    return bytes(int(part) for part in host.split(".")), int(port)


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack(f"!{len(data) // 2}H", data))
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def ip_udp(source, destination, payload, ident):
    (src_ip, src_port), (dst_ip, dst_port) = source, destination
    udp_length = 8 + len(payload)
    pseudo = src_ip + dst_ip + struct.pack("!BBH", 0, 17, udp_length)
    udp = struct.pack("!HHHH", src_port, dst_port, udp_length, 0) + payload
    udp_sum = checksum(pseudo + udp) or 0xFFFF
    udp = udp[:6] + struct.pack("!H", udp_sum) + udp[8:]
    header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + udp_length, ident & 0xFFFF, 0x4000, 64, 17, 0,
                         src_ip, dst_ip)
    header = header[:10] + struct.pack("!H", checksum(header)) + header[12:]
    return header + udp


class Capture:
    def __init__(self, out):
        self.out = out
        self.count = 0
        self.last_time = None

    def packet(self, t_ms, source, destination, payload):
        moment = EPOCH + datetime.timedelta(milliseconds=t_ms)
        if self.last_time is not None and moment <= self.last_time:
            moment = self.last_time + datetime.timedelta(microseconds=1)
        self.last_time = moment
        self.count += 1
        data = ip_udp(source, destination, payload, self.count)
        self.out.write(moment.strftime("%Y-%m-%d %H:%M:%S.%f") + "\n")
        for offset in range(0, len(data), 16):
            chunk = " ".join(f"{byte:02x}" for byte in data[offset:offset + 16])
            self.out.write(f"{offset:06x} {chunk}\n")
        self.out.write("\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("script", help="the replay script (JSON Lines)")
    parser.add_argument("output", help="hub-replay's output for that script")
    parser.add_argument("--hub-port", type=int, default=49152, help="the port the hub sends from")
    args = parser.parse_args()

    hub = (bytes([127, 0, 0, 1]), args.hub_port)
    with open(args.output) as output_file:
        output = [json.loads(line) for line in output_file if line.strip()]
    capture = Capture(sys.stdout)
    cursor = 0
    now = 0

    def flush_until_tick():
        # The sends up to the next tick line: start-up, or a tick and the
        # dialog commands after it.
        nonlocal cursor
        while cursor < len(output) and "tick" not in output[cursor]:
            send = output[cursor].get("send")
            if send:
                capture.packet(now, hub, address(send["to"]), bytes.fromhex(send["hex"]))
            cursor += 1

    flush_until_tick()
    with open(args.script) as script:
        for line in script:
            if not line.strip():
                continue
            event = json.loads(line)
            if "tick" in event:
                if cursor < len(output):
                    now = output[cursor]["tick"]
                    cursor += 1
                flush_until_tick()
            elif "recv" in event:
                recv = event["recv"]
                capture.packet(now, address(recv["from"]), (bytes([127, 0, 0, 1]), LISTEN_PORT),
                               bytes.fromhex(recv["hex"]))


if __name__ == "__main__":
    main()
