#!/usr/bin/env python3
"""Writes the replay scripts that bench/callgrind.sh measures: one per
locomotion mode and one per vJoy mode (the start modes, Normal and
4-way-mov, share one), each 1000 ticks of the same motion as the benchmarks
(bench/quiet_hub.h: walking, skating in mode 5), with a gamepad whose stick
circles, the feeder enabled and a remote app connected and sending inputs
every fourth tick. The dialog's buttons switch to the mode first.

    python3 bench/scripts/make_scripts.py   # rewrites bench/scripts/*.jsonl
"""
import json
import math
import os

TICKS = 1000
START_MS = 1000
PERIOD_MS = 33
NEXT_LOCOMOTION_MODE = 1034  # 1 -> 4 -> 2 -> 3 -> 1
NEXT_VJOY_MODE = 1029        # 2 -> 5 -> 6 -> 7 -> 9 -> 2

# name: (presses of 1034, presses of 1029)
SCRIPTS = {
    "normal-4way": (0, 0),
    "locomotion-advanced": (1, 0),
    "locomotion-seated": (2, 0),
    "locomotion-seated2": (3, 0),
    "vjoy-skate": (0, 1),
    "vjoy-pedal": (0, 2),
    "vjoy-flightsim": (0, 3),
    "vjoy-biking": (0, 4),
}


def trunc(value):
    return int(value)  # towards zero, as the C++ cast


def deck_record(now):
    phase = now * 0.001 * 2.0 * math.pi
    left_up = (now // 500) % 2 == 0
    return {
        "x": trunc(300 * math.sin(phase * 0.3)),
        "y": trunc(-600 + 200 * math.sin(phase)),
        "z": trunc(400 * math.sin(phase * 0.5)),
        "rz": trunc(250 * math.sin(phase)),
        "ry": trunc(-400 * math.sin(phase * 0.5)),
        "rx": trunc(-250 * math.sin(phase)),
        "buttons": [2, 3] if left_up else [0, 1],
    }


def skate_on_deck(record, now):
    """Skating on the same motion: pair A flat, a push on button 3 in the first
    150 ms of every half second, both pairs lifted for 300 ms every fourth
    second (a heading gesture)."""
    lifted = (now // 1000) % 4 == 3 and now % 1000 < 300
    pressed = [] if lifted else [0, 1]
    if not lifted and now % 500 < 150:
        pressed.append(3)
    record["buttons"] = pressed
    return record


def pad_record(now):
    phase = now * 0.001 * 2.0 * math.pi
    record = {
        "x": trunc(1000 * math.cos(phase * 0.5)),
        "y": trunc(1000 * math.sin(phase * 0.5)),
        "z": trunc(800 * math.sin(phase * 0.2)),
    }
    if (now // 1000) % 2 == 0:
        record["buttons"] = [0]
    return record


def recv(hex_bytes):
    return {"recv": {"from": "127.0.0.1:50123", "hex": hex_bytes}}


def script(locomotion_presses, vjoy_presses):
    events = [{"config": {"gamepad": True, "gamepadName": "Bench pad"}}, {"activate": True}]
    events += [{"command": NEXT_LOCOMOTION_MODE}] * locomotion_presses
    events += [{"command": NEXT_VJOY_MODE}] * vjoy_presses
    events += [recv("0101"), recv("0103050000"), recv("2101050500")]
    skating = vjoy_presses == 1  # mode 5
    now = START_MS
    for _ in range(TICKS):
        now += PERIOD_MS
        pad = pad_record(now)
        if now % 4 == 0:
            steering = (128 + trunc(pad["x"] / 10)) & 0xFF
            events.append(recv("20%02x050000649c0000" % steering))
        deck = deck_record(now)
        if skating:
            skate_on_deck(deck, now)
        events.append({"tick": {"t": now, "deck": deck, "pad": pad}})
    return events


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, (locomotion_presses, vjoy_presses) in SCRIPTS.items():
        with open(os.path.join(here, name + ".jsonl"), "w") as out:
            for event in script(locomotion_presses, vjoy_presses):
                out.write(json.dumps(event, separators=(",", ":")) + "\n")


if __name__ == "__main__":
    main()
