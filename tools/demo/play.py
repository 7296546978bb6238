#!/usr/bin/env python3
"""Plays the demonstration's script (demo-script.txt) against a running hub:
sets the simulated Stepdeck over the simulator's control port, presses the
dialog's buttons through dialog-driver.exe, enables the feeder, narrates each
step, takes screenshots of the dialog and at last presses Escape, at the
script's times (seconds after the dialog appeared). Narration is stamped with
seconds since DEMO_T0 (seconds since the epoch), the live decode's clock.

    play.py SCRIPT --driver DIALOG_DRIVER.exe --shots FOLDER [--sim-port 45150]
    play.py SCRIPT --replay FILE.jsonl

With --replay it runs nothing: it writes the same session as a hub-replay
script (a tick every 33 ms), so that `hub-replay --plot` can draw it."""

import argparse
import json
import os
import socket
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "dialog-driver"))
from driver_client import Driver  # noqa: E402

BUTTONS = {"locomotion-mode": 1034, "vjoy-mode": 1029, "speed": 1038}
HUB_PORT = 45041
FEEDER_ENABLE = bytes([1, 1])
AXES = ("x", "y", "z", "rx", "ry", "rz")
TICK_MS = 33


def walk(at, step_seconds, steps):
    """Stepping in place from standing on all four touch buttons: each step
    lifts one foot (its pair of buttons) for three quarters of the step, then
    both feet stand; the feet alternate."""
    actions = []
    for step in range(steps):
        lifted = "b0 0 b1 0" if step % 2 == 0 else "b2 0 b3 0"
        actions.append((at, "deck", lifted))
        actions.append((at + 0.75 * step_seconds, "deck", "b0 1 b1 1 b2 1 b3 1"))
        at += step_seconds
    return actions


def read_script(path):
    """[(seconds, verb, rest)] in time order; `walk` expands to deck steps."""
    actions = []
    for number, line in enumerate(Path(path).read_text(encoding="utf-8").splitlines(), 1):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        at, verb, *rest = line.split(None, 2)
        rest = rest[0] if rest else ""
        if verb == "walk":
            step_seconds, steps = rest.split()
            actions += walk(float(at), float(step_seconds), int(steps))
        elif verb in ("say", "phase", "deck", "rest", "press", "feeder", "shot", "escape"):
            actions.append((float(at), verb, rest))
        else:
            sys.exit(f"{path}:{number}: unknown action {verb!r}")
    return sorted(actions, key=lambda action: action[0])


class Deck:
    """The simulated Stepdeck's state, as the simulator's `set` names it."""

    def __init__(self):
        self.values = {}

    def apply(self, verb, rest):
        if verb == "rest":
            self.values = {}
            return
        words = rest.split()
        for name, value in zip(words[::2], words[1::2]):
            self.values[name] = int(value)

    def record(self):
        """The state as a hub-replay joystick record."""
        record = {name: self.values[name] for name in AXES if self.values.get(name)}
        buttons = [int(name[1:]) for name, value in sorted(self.values.items()) if name[0] == "b" and value]
        if buttons:
            record["buttons"] = buttons
        return record


def write_replay(actions, path):
    """The session as a hub-replay script: a tick every 33 ms, each action at
    the first tick at or after its time."""
    deck = Deck()
    start_ms = 1000
    end_ms = start_ms + int(actions[-1][0] * 1000) + 1000
    pending = list(actions)
    with open(path, "w", encoding="utf-8") as out:
        for now in range(start_ms, end_ms, TICK_MS):
            while pending and start_ms + pending[0][0] * 1000 <= now:
                _, verb, rest = pending.pop(0)
                if verb in ("deck", "rest"):
                    deck.apply(verb, rest)
                elif verb == "press":
                    out.write(json.dumps({"command": BUTTONS[rest]}) + "\n")
                elif verb == "feeder":
                    out.write(json.dumps({"recv": {"from": "127.0.0.1:45040", "hex": FEEDER_ENABLE.hex()}}) + "\n")
            tick = {"t": now}
            if deck.record():
                tick["deck"] = deck.record()
            out.write(json.dumps({"tick": tick}) + "\n")


class Live:
    """Carries the actions out on the running hub."""

    def __init__(self, driver_exe, shots, sim_port):
        self.driver = Driver(driver_exe, dict(os.environ))
        self.shots = Path(shots)
        self.shots.mkdir(parents=True, exist_ok=True)
        self.sim_port = sim_port
        self.control = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.control.settimeout(2.0)
        self.shot_count = 0

    def sim(self, command):
        self.control.sendto(command.encode(), ("127.0.0.1", self.sim_port))
        reply = self.control.recv(4096).decode().strip()
        if not reply.startswith("ok"):
            raise RuntimeError(f"simulator: {command}: {reply}")

    def wait_for_dialog(self):
        ok, found, error = self.driver.run("find 30000")
        if not ok:
            raise RuntimeError(f"the hub's dialog did not appear: {error}")
        return found[0]

    def do(self, verb, rest, elapsed):
        if verb == "phase":
            print(f"{elapsed:7.2f}s  ==== {rest}", flush=True)
        elif verb == "say":
            print(f"{elapsed:7.2f}s  ---- {rest}", flush=True)
        elif verb == "deck":
            self.sim(f"set 0 {rest}")
        elif verb == "rest":
            self.sim("reset 0")
        elif verb == "press":
            self.driver.must(f"command {BUTTONS[rest]}")
        elif verb == "feeder":
            self.control.sendto(FEEDER_ENABLE, ("127.0.0.1", HUB_PORT))
        elif verb == "escape":
            self.driver.must("key escape")
        elif verb == "shot":
            self.shot_count += 1
            path = self.shots / f"{self.shot_count}-{rest}.png"
            x, y, w, h = self.driver.must("find")[0]["window"]
            subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", str(path)],
                           check=True, timeout=30)
            print(f"{elapsed:7.2f}s  ---- screenshot {path}", flush=True)

    def play(self, actions):
        self.wait_for_dialog()
        start = time.time()
        clock_origin = float(os.environ.get("DEMO_T0", start))
        for at, verb, rest in actions:
            delay = start + at - time.time()
            if delay > 0:
                time.sleep(delay)
            self.do(verb, rest, time.time() - clock_origin)

    def close(self):
        self.driver.close()
        self.control.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("script")
    parser.add_argument("--driver")
    parser.add_argument("--shots")
    parser.add_argument("--sim-port", type=int, default=45150)
    parser.add_argument("--replay")
    options = parser.parse_args()
    actions = read_script(options.script)
    if options.replay:
        write_replay(actions, options.replay)
        return
    live = Live(options.driver, options.shots, options.sim_port)
    try:
        live.play(actions)
    finally:
        live.close()


if __name__ == "__main__":
    main()
