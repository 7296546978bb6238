#!/usr/bin/env python3
"""End-to-end figures of hub.exe under Wine with the simulated Stepdeck:
start-up times, input-to-wire latency, the tick period and the memory of a
long run with motion, mode changes and remote traffic. Run by
bench/e2e-figures.sh, which sets HUB_EXE, SIM_DLL, DIALOG_DRIVER, SIM_PROBE
and E2E_ARTIFACTS as tests/e2e/run.sh does.

    e2e_figures.py [--starts N] [--changes N] [--period-seconds S]
                   [--memory-minutes M] [--sample-seconds S] [--json FILE]

Every time stamp of a datagram is the kernel's arrival time on 127.0.0.1."""

import argparse
import json
import math
import os
import random
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
from harness import (GREETING, STICK_PORT, HubRun, Listeners, WineSession, hub_linux_pid,  # noqa: E402
                     process_figures)

TICK_MS = 33
REMOTE_PORT, REGISTERED_PORT, QUERY_PORT = 45050, 50500, 50501


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def summary(values):
    return {"median": statistics.median(values), "p99": percentile(values, 0.99), "min": min(values),
            "max": max(values), "count": len(values)}


def end(hub):
    hub.driver.must("key escape")
    hub.wait_exit()
    hub.end()


def measure_start_up(session, work, starts):
    """Process start (the spawn of `wine hub.exe`, wineserver warm) to the
    greeting on 45040, to the dialog visible and to the first tick."""
    greeting, shown, first_tick = [], [], []
    for index in range(starts):
        run_dir = work / f"start{index}"
        run_dir.mkdir(parents=True, exist_ok=True)
        hub = HubRun(session, run_dir)
        while True:
            ok, lines, _ = hub.driver.run("find 0")
            if ok and lines[0]["visible"]:
                shown.append((time.time() - hub.started) * 1000)
                break
            time.sleep(0.002)
        hub.wait_ticking()
        first = hub.listeners.all(STICK_PORT)
        assert first[0].data == GREETING
        greeting.append((first[0].stamp - hub.started) * 1000)
        first_tick.append((first[1].stamp - hub.started) * 1000)
        end(hub)
        time.sleep(0.5)
    return {"greeting_ms": summary(greeting), "dialog_shown_ms": summary(shown),
            "first_tick_ms": summary(first_tick)}


def stick_x_byte(x):
    """The stick byte of an lX that passes the stick pipeline unchanged
    (not a start jump, speed factor 100 %)."""
    return math.floor(x * 128 / 1000) + 128


def measure_latency_and_period(session, work, changes, period_seconds):
    """Input-to-wire: a new lX set over the simulator's control port, then the
    first stick datagram on 45040 that carries its byte. Changes come at
    random phases of the tick. Then the tick period at rest."""
    run_dir = work / "latency"
    run_dir.mkdir(parents=True, exist_ok=True)
    hub = HubRun(session, run_dir)
    hub.wait_ticking()
    values = (200, 300)
    hub.sim(f"set 0 x {values[0]}")
    assert hub.listeners.wait_for(lambda d: d[0] == 0x2A and d[1] == stick_x_byte(values[0]), 3, STICK_PORT)
    latencies = []
    for index in range(changes):
        time.sleep(random.uniform(0.05, 0.15))
        x = values[(index + 1) % 2]
        sent = time.time()
        hub.sim(f"set 0 x {x}")
        carried = hub.listeners.wait_for(lambda d: d[0] == 0x2A and d[1] == stick_x_byte(x), 2, STICK_PORT,
                                         since=sent)
        assert carried is not None, f"change {index} never reached the wire" + hub.diagnosis()
        latencies.append((carried.stamp - sent) * 1000)

    hub.sim("reset 0")
    time.sleep(1)
    since = time.time()
    time.sleep(period_seconds)
    stamps = [d.stamp for d in hub.listeners.all(STICK_PORT) if d.stamp >= since]
    periods = [(b - a) * 1000 for a, b in zip(stamps, stamps[1:])]
    end(hub)
    return {"latency_ms": summary(latencies), "period_ms": summary(periods)}


def memory_kb(pid):
    """Resident memory (VmRSS) and private memory (private clean + dirty
    pages of every mapping), in KiB."""
    figures = process_figures(pid)
    return {"rss_kb": figures["rss_kb"], "private_kb": figures["private_kb"]}


class Activity:
    """What the long run does, step by step every 50 ms: the Stepdeck walks
    and sways, a remote app sends inputs and keep-alives, a program
    registers and queries a port, and the dialog's buttons change modes."""

    def __init__(self, hub):
        self.hub = hub
        self.peers = Listeners((REMOTE_PORT, REGISTERED_PORT, QUERY_PORT))
        self.peers.send(REMOTE_PORT, [1, 3, 4, 50, 50])
        self.peers.send(REMOTE_PORT, [1, 1])  # feeder output on
        self.step_index = 0
        self.commands = 0

    def step(self):
        i = self.step_index
        self.step_index += 1
        phase = 2 * math.pi * i / 80
        feet = (i // 10) % 2
        if i % 2 == 0:
            self.hub.sim(f"set 0 x {int(400 * math.sin(phase))} y {-600 + int(150 * math.sin(2 * phase))} "
                         f"z {int(500 * math.sin(phase))} ry {int(-500 * math.sin(phase))} "
                         f"rz {120 * feet} rx {120 * (1 - feet)} b0 {1 - feet} b1 {feet}")
        self.peers.send(REMOTE_PORT, [32, 128 + int(100 * math.sin(phase)), i % 64, 0, 0, i % 256, 255 - i % 256,
                                      0, 0])
        if i % 60 == 0:
            self.peers.send(REMOTE_PORT, [21, 1, 5, 5, 0])
            self.peers.send(REMOTE_PORT, [21, 2, 5, 5, 1])
        # Every 20 s the next vJoy mode, every 30 s the next locomotion mode,
        # and the speed and stick buttons in between.
        for every, control in ((400, 1029), (600, 1034), (200, 1032), (500, 1051)):
            if i % every == every - 1:
                self.hub.driver.run(f"command {control}")
                self.commands += 1

    def close(self):
        self.peers.close()


def measure_memory(session, work, minutes, sample_seconds):
    run_dir = work / "memory"
    run_dir.mkdir(parents=True, exist_ok=True)
    hub = HubRun(session, run_dir)
    hub.wait_ticking()
    pid = hub_linux_pid(session)
    activity = Activity(hub)
    samples = [{"at_s": 0, **memory_kb(pid)}]
    started = time.time()
    next_sample = started + sample_seconds
    try:
        while time.time() - started < minutes * 60:
            activity.step()
            if time.time() >= next_sample:
                samples.append({"at_s": round(time.time() - started), **memory_kb(pid)})
                print(f"  memory at {samples[-1]['at_s']:4d} s: {samples[-1]}", flush=True)
                next_sample += sample_seconds
            time.sleep(0.05)
        samples.append({"at_s": round(time.time() - started), **memory_kb(pid)})
        assert hub.process.poll() is None, "the hub ended during the long run" + hub.diagnosis()
        ticks = len(hub.listeners.all(STICK_PORT))
        statuses = len([d for d in activity.peers.all(REMOTE_PORT) if len(d.data) == 8])
        feeder = len(hub.listeners.all(45042))
    finally:
        activity.close()
    end(hub)
    # Growth: how far the samples after the first minute rise above the
    # highest of the first minute (pages come and go by a few KiB either way).
    first = [s for s in samples if s["at_s"] <= 60]
    later = [s for s in samples if s["at_s"] > 60]

    def growth(key):
        return max(s[key] for s in later) - max(s[key] for s in first)
    return {"samples": samples, "ticks": ticks, "status_datagrams": statuses, "feeder_datagrams": feeder,
            "button_presses": activity.commands, "rss_growth_after_first_minute_kb": growth("rss_kb"),
            "private_growth_after_first_minute_kb": growth("private_kb")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--starts", type=int, default=5)
    parser.add_argument("--changes", type=int, default=300)
    parser.add_argument("--period-seconds", type=float, default=60)
    parser.add_argument("--memory-minutes", type=float, default=10)
    parser.add_argument("--sample-seconds", type=float, default=60)
    parser.add_argument("--json")
    args = parser.parse_args()

    session = WineSession(Path(os.environ["E2E_ARTIFACTS"]))
    work = session.artifacts / "runs"
    results = {}
    try:
        session.start()
        print("start-up ...", flush=True)
        results["start_up"] = measure_start_up(session, work, args.starts)
        print(json.dumps(results["start_up"]), flush=True)
        print("input-to-wire latency and tick period ...", flush=True)
        results.update(measure_latency_and_period(session, work, args.changes, args.period_seconds))
        print(json.dumps({k: results[k] for k in ("latency_ms", "period_ms")}), flush=True)
        print(f"memory over {args.memory_minutes} min ...", flush=True)
        results["memory"] = measure_memory(session, work, args.memory_minutes, args.sample_seconds)
    finally:
        session.stop()
    if args.json:
        Path(args.json).write_text(json.dumps(results, indent=1))
    print(json.dumps(results, indent=1))


if __name__ == "__main__":
    main()
