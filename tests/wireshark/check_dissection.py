#!/usr/bin/env python3
"""Checks the dissector's reading of captures against the bytes that were sent.

    check_dissection.py DISSECTOR.lua CAPTURE.pcap...

For every UDP packet, the fields the dissector shows must be exactly the
fields this script expects from the packet's bytes (no field missing, none
extra), each with the value those bytes carry; no packet may be malformed or
draw a warning. The expectations below are written from the datagram layouts
independently of the dissector.
"""
import json
import struct
import subprocess
import sys

STICK, LISTEN, FEEDER, XDRV = 45040, 45041, 45042, 45045
WARNING = 0x00600000  # expert severity "warning"


def f32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def s8(byte):
    return byte - 256 if byte >= 128 else byte


def port_fields(data, at):
    digits = [data[at + i] if at + i < len(data) else 0 for i in range(3)]  # missing digits read as 0
    port = ((s8(digits[0]) * 100 + s8(digits[1])) * 100 + s8(digits[2])) % 65536
    fields = {f"stepdeck.port.digit{i + 1}": s8(d) for i, d in enumerate(digits)}
    fields["stepdeck.port"] = port
    return fields, port


MODE_FIELDS = {
    5: [("turn", "offset"), ("speed", "offset"), ("pulse3", "offset"), ("pulse4", "offset"), None, None, None],
    6: [("steering", "centred"), None, None, None, ("buttons", "raw"), ("brake", "unit"), ("throttle", "unit")],
    7: [("spring_dial", "centred"), ("hold_dial", "centred"), ("steering", "centred"), ("throttle_dial", "unit"),
        None, ("left_toe_pedal", "unit"), ("right_toe_pedal", "unit")],
    9: [("steering", "centred"), None, ("axis3", "raw"), ("axis4", "raw"), None, ("brake", "unit"),
        ("throttle", "unit")],
}


def value_of(encoding, byte):
    return {"centred": lambda b: f32((b - 128) / 127), "unit": lambda b: f32(b / 255),
            "offset": lambda b: f32(b / 128 - 1), "raw": lambda b: b}[encoding](byte)


def from_hub(data):
    """The kind and fields of a datagram the hub sent."""
    n = len(data)
    if data == bytes([1, 3, 2, 0x6F, 0]):
        return "greeting", {}
    if n == 28 and data[:4] == b"XDRV":
        version, x, y = struct.unpack_from("<Iff", data, 4)
        return "xdrv", {"stepdeck.xdrv.magic": "XDRV", "stepdeck.xdrv.version": version,
                        "stepdeck.xdrv.x": x, "stepdeck.xdrv.y": y,
                        "stepdeck.xdrv.reserved": data[16:24].hex(":"),
                        "stepdeck.xdrv.trailer": struct.unpack_from("<I", data, 24)[0]}
    if n == 5 and data[0] == 0x2A and data[2] == 0x2B and data[4] == 0:
        return "stick", {"stepdeck.stick.x": data[1], "stepdeck.stick.y": data[3]}
    two = {bytes([1, 0]): "feeder-ack", bytes([1, 2]): "connection-reply", bytes([100, 0]): "feeder-stop",
           bytes([21, 1]): "registration-keep-alive"}
    if data in two:
        return two[data], {}
    if n == 5 and data[:2] == bytes([21, 2]):
        return "query-reply", port_fields(data, 2)[0]
    if n == 7 and data[:2] == bytes([2, 1]):
        names = ["x", "y", "axis3", "axis4", "buttons"]
        return "4-way", {f"stepdeck.fourway.{name}": data[2 + i] for i, name in enumerate(names)}
    if n == 8 and data[0] == 0x16:
        fields = {f"stepdeck.js.byte{i}": data[i] for i in range(1, 8)}
        for mode, layout in MODE_FIELDS.items():
            for i, entry in enumerate(layout, start=1):
                if entry:
                    fields[f"stepdeck.js{mode}.{entry[0]}"] = value_of(entry[1], data[i])
        return "joystick-state", fields
    if n == 8 and data[0] == 0x1F:
        names = ["stick_x", "stick_y", "heading_rf", "tilt_rf", "heading_lf", "tilt_lf", "touch"]
        fields = {f"stepdeck.status.{name}": data[1 + i] for i, name in enumerate(names)}
        fields.update({f"stepdeck.status.touch.b{i}": (data[7] >> i) & 1 for i in range(4)})
        return "status", fields
    return "unknown", {}


def to_hub(data, source_port):
    """The kind and fields of a message to port 45041, as the hub reads it."""
    n = len(data)
    padded = data + bytes(9)
    if n < 1 or n > 512:
        return "ignored", {}
    if data[0] == 1:
        if padded[1] == 1:
            return "feeder-enable", {}
        if padded[1] == 2:
            return "hello", {"stepdeck.port": (source_port + 1) % 65536}
        if padded[1] == 3 and n >= 5:
            fields, port = port_fields(data, 2)
            return ("hello-with-port", fields) if port else ("ignored", fields)
        if padded[1] == 21:
            return "keep-alive", {}
        return "ignored", {}
    if data[0] == 32:
        fields = {"stepdeck.inputs.steering": f32((padded[1] - 128) * 0.0078125)}
        if n > 1:
            fields["stepdeck.inputs.steering_byte"] = data[1]
        if n > 2:
            fields["stepdeck.inputs.buttons"] = data[2]
            for i, name in enumerate(["a", "b", "x", "y", "t1", "t2"]):
                fields[f"stepdeck.inputs.buttons.{name}"] = (data[2] >> i) & 1
        if n >= 9:
            fields["stepdeck.inputs.axis3"] = data[5]
            fields["stepdeck.inputs.axis4"] = data[6]
            fields["stepdeck.unused"] = [data[3:5].hex(":"), data[7:].hex(":")]
        return "inputs", fields
    if data[0] == 21 and padded[1] in (1, 2):
        fields, port = port_fields(data, 2)
        if not port:
            return "ignored", fields
        return ("port-registration" if padded[1] == 1 else "port-query"), fields
    return "ignored", {}


def flatten(layer, into):
    """Every stepdeck field of a layer, subtrees (one per vJoy mode) included."""
    for key, value in layer.items():
        if isinstance(value, dict):
            flatten(value, into)
        elif isinstance(value, list) and value and isinstance(value[0], dict):
            for subtree in value:
                flatten(subtree, into)
        elif key.startswith("stepdeck."):
            into[key] = value


def flagged(layers):
    """Malformed-packet and expert items of warning severity or worse."""
    found = ["malformed"] if "_ws.malformed" in layers else []
    experts = layers.get("_ws.expert", [])
    for expert in experts if isinstance(experts, list) else [experts]:
        if int(expert.get("_ws.expert.severity", "0")) >= WARNING:
            found.append(expert.get("_ws.expert.message", "expert info"))
    return found


def same(expected, shown):
    if isinstance(expected, list):
        return isinstance(shown, list) and len(shown) == len(expected) and all(map(same, expected, shown))
    if isinstance(shown, list):
        return False
    if isinstance(expected, float):  # Wireshark shows floats to 6 significant digits
        return float(shown) == float(f"{expected:.6g}")
    if isinstance(expected, int):
        return int(shown, 0) == expected
    return shown == expected


def check(lua, capture):
    packets = json.loads(subprocess.run(
        ["tshark", "-r", capture, "-X", f"lua_script:{lua}", "-T", "json", "--no-duplicate-keys",
         "-J", "udp stepdeck _ws.malformed _ws.expert"], capture_output=True, text=True, check=True).stdout)
    problems = []
    for number, packet in enumerate(packets, start=1):
        layers = packet["_source"]["layers"]
        udp = layers["udp"]
        data = bytes.fromhex(udp.get("udp.payload", "").replace(":", ""))
        source, destination = int(udp["udp.srcport"]), int(udp["udp.dstport"])
        kind, fields = to_hub(data, source) if destination == LISTEN else from_hub(data)
        if not data:
            kind, fields = None, {}  # Wireshark hands an empty payload to no dissector
        elif kind in ("ignored", "unknown"):
            fields[f"stepdeck.{kind}"] = ""  # the expert item
        for problem in flagged(layers) + flagged(layers.get("stepdeck", {})):
            problems.append(f"packet {number} ({data.hex()} to {destination}): {problem}")
        shown = {}
        flatten(layers.get("stepdeck", {}), shown)
        shown_kind = shown.pop("stepdeck.kind", None)
        direction = shown.pop("stepdeck.direction", None)
        if shown_kind != kind:
            problems.append(f"packet {number} ({data.hex()} to {destination}): {shown_kind} instead of {kind}")
            continue
        if kind and direction != ("to the hub" if destination == LISTEN else "from the hub"):
            problems.append(f"packet {number}: direction {direction}")
        for name in sorted(set(fields) | set(shown)):
            if name not in shown or name not in fields or not same(fields[name], shown[name]):
                problems.append(f"packet {number} {kind} ({data.hex()}): {name} shows {shown.get(name)}, "
                                f"sent {fields.get(name)}")
    return len(packets), problems


def main():
    lua, captures = sys.argv[1], sys.argv[2:]
    failed = 0
    for capture in captures:
        count, problems = check(lua, capture)
        if count == 0:
            problems.append("no packets")
        for problem in problems[:20]:
            print(f"{capture}: {problem}")
        failed += bool(problems)
        print(f"{'FAIL' if problems else 'ok  '} {capture}: {count} packets")
    print(f"{len(captures) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
