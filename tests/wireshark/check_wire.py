"""Checks that the Wireshark dissector knows the hub's datagrams as the hub's
own wire header and vJoy mode table state them: the four ports, and for every
mode with a joystick state datagram its id, its label and each byte's name
and encoding. The hub's side comes from hub-wire-facts.

    check_wire.py DISSECTOR.lua HUB_WIRE_FACTS
Prints "1 passed, 0 failed" or what differs (exit 1)."""

import json
import re
import subprocess
import sys


def dissector_facts(lua_text):
    ports = re.search(r"local STICK_PORT, LISTEN_PORT, FEEDER_PORT, XDRV_PORT = (\d+), (\d+), (\d+), (\d+)", lua_text)
    modes = []
    for mode in re.finditer(r'\{mode = (\d+), label = "([^"]*)", fields = \{(.*?\})\s*\}\s*\}', lua_text, re.S):
        fields = re.findall(r'\{"(\w+)", "(\w+)"\}', mode.group(3))
        modes.append({"id": int(mode.group(1)), "label": mode.group(2), "fields": [list(f) for f in fields]})
    stick, listen, feeder, xdrv = (int(p) for p in ports.groups()) if ports else (None,) * 4
    return {"ports": {"stick": stick, "listen": listen, "feeder": feeder, "xdrv": xdrv}, "modes": modes}


def comparable_name(name):
    """The dissector writes field names in snake case, the hub in camel case."""
    return name.replace("_", "").lower()


def differences(hub, lua):
    found = []
    if hub["ports"] != lua["ports"]:
        found.append(f"ports: hub {hub['ports']}, dissector {lua['ports']}")
    lua_modes = {m["id"]: m for m in lua["modes"]}
    for mode in hub["modes"]:
        theirs = lua_modes.pop(mode["id"], None)
        if theirs is None:
            found.append(f"mode {mode['id']} ({mode['label']}) is missing from the dissector")
            continue
        if theirs["label"] != mode["label"]:
            found.append(f"mode {mode['id']}: label {theirs['label']!r}, the hub says {mode['label']!r}")
        ours = [(comparable_name(n), e) for n, e in mode["fields"]]
        seen = [(comparable_name(n), e) for n, e in theirs["fields"]]
        if ours != seen:
            found.append(f"mode {mode['id']}: bytes 1 ... 7 {theirs['fields']}, the hub says {mode['fields']}")
    for extra in lua_modes:
        found.append(f"the dissector knows a mode {extra} the hub does not have")
    return found


def main():
    lua_path, facts_program = sys.argv[1], sys.argv[2]
    hub = json.loads(subprocess.run([facts_program], check=True, capture_output=True, text=True).stdout)
    with open(lua_path, encoding="utf-8") as lua_file:
        lua = dissector_facts(lua_file.read())
    found = differences(hub, lua)
    for difference in found:
        print("FAIL:", difference)
    print("0 passed, 1 failed" if found else "1 passed, 0 failed")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
