"""A soak run: hub.exe under Wine with the simulated Stepdeck and a gamepad,
recording (-record), while the scripted player and peers
(tests/e2e/scripted_use.py) do everything a player and the programs around
the hub do, for MINUTES. Beside it runs the floor program (bench/floor): a
dialog with the same 33 ms timer that only reads a Stepdeck of its own and
sends the two locomotion datagrams, whose period shows what the machine and
Wine give any timer at that moment. Every 10 s a sample of the hub's process
goes to a CSV beside the recording and to standard output; at the end a
summary, the verdict and an SVG plot of the samples. Run by
tests/soak/run.sh, which sets the paths as tests/e2e/run.sh does.

    soak.py MINUTES [--seed N] [--out DIR]

The verdict holds when, after a warm-up of 2 minutes, no count stays above
the highest it reached during the warm-up (handles other than events, GDI
and USER objects, DirectInput objects and devices: a count may drop while a
device is lost, and an object alive for a moment is no leak, so the lowest
of the last three samples is judged), the events stay within EVENT_BOUND of
theirs, the memory stays within MEMORY_BOUND_KIB of the
warm-up's highest, the tick period's 99th percentile is at most 38 ms in
every window, no message box appears, the hub ends with exit code 0 on
Escape, and hub-replay of the whole recording sends every datagram that
went on the wire, byte for byte, per destination port. A window in which
the floor program too had a period over 38 ms is one in which the machine
held every program back: the hub's period there is reported, not judged."""

import argparse
import csv
import os
import random
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
from harness import (DECK_AND_PAD, FEEDER_PORT, GREETING, STICK_PORT, XDRV_PORT,  # noqa: E402
                     HubRun, WineSession, WireCapture, hub_linux_pid, percentile, process_figures,
                     replay_differences, replayed, windows_path)
from scripted_use import PEER_PORTS, Peers, Player, motion_script  # noqa: E402

SAMPLE_SECONDS = 10
STEP_SECONDS = 0.05
WARM_UP_SECONDS = 120
PERIOD_P99_GOAL_MS = 38
# 64 pages: the resident memory moves by a page or a few now and then as
# Wine's heap and the C runtime take one (bench/README.md); over an hour the
# bound still catches a steady leak of 2.5 bytes a tick.
MEMORY_BOUND_KIB = 256
# The Windows build's thread library makes an event for a std::mutex the
# first time a thread has to wait at it, and one for a thread it did not
# start (the dialog's) the first time that thread waits, and keeps them:
# whenever that comes, it is no leak. The hub's process shares four locks
# between threads (the recording writer's, the search's, and the
# simulator's devices and log), so the events may end up to five above the
# warm-up's highest; every other handle stays flat.
EVENT_BOUND = 5

# Each count: the field of `stats process` that the Windows call fills, the
# field of what Wine keeps instead, and what that counts.
COUNTS = {
    "handles": ("handles", "handle_table", "the entries of the Wine server's handle table that the process owns"),
    "gdi": ("gdi", "gdi_table", "the live entries of the process's GDI handle table (stock objects included)"),
    "user": ("user", "windows", "the process's windows (top-level, child, message-only); "
                                "its menus, icons and cursors are not counted"),
}
CALLS = {"handles": "GetProcessHandleCount", "gdi": "GetGuiResources(GR_GDIOBJECTS)",
         "user": "GetGuiResources(GR_USEROBJECTS)"}


class Sampler:
    """One sample of the hub's process every 10 s: memory, handles, GDI and
    USER objects, DirectInput objects and devices, the tick period over the
    window (stick datagrams on the wire, without the gaps the player made by
    losing the Stepdeck), the CPU, and whether a message box is up."""

    def __init__(self, hub, pid, capture, hub_port, floor_port, player, peers, csv_path):
        self.hub, self.pid, self.capture, self.hub_port, self.floor_port = hub, pid, capture, hub_port, floor_port
        self.player, self.peers = player, peers
        self.rows = []
        self.sources = None
        self.window_start = time.time()
        self.cpu_ms = process_figures(pid)["cpu_ms"]
        self.csv = open(csv_path, "w", newline="", encoding="utf-8")
        self.writer = None

    def _choose_sources(self, stats):
        """Each count from its Windows call, or where that reads 0 (Wine), from what Wine keeps."""
        self.sources = {name: call if int(stats[call]) > 0 else kept for name, (call, kept, _) in COUNTS.items()}
        self.sources["memory"] = "private" if int(stats["private"]) > 0 else "rss_anon"
        for name, (call, kept, meaning) in COUNTS.items():
            if self.sources[name] == kept:
                print(f"{name}: {CALLS[name]} reads 0 under Wine; counted: {meaning}")
        if self.sources["memory"] == "rss_anon":
            print("memory: the private bytes of GetProcessMemoryInfo read 0 under Wine; counted: the resident "
                  "anonymous memory of the hub's Linux process (RssAnon in /proc/PID/status)")

    def _period_ms(self, port, lost=lambda a, b: False):
        """Median, 99th percentile and longest of the periods of the stick
        datagrams from `port` that ended in this window, and their number,
        leaving out those `lost` names."""
        stamps = self.capture.stamps(port, STICK_PORT, since=self.window_start - 1, head=0x2A)
        periods = [(b - a) * 1000 for a, b in zip(stamps, stamps[1:]) if b > self.window_start and not lost(a, b)]
        if not periods:
            return "", "", "", 0
        return (round(statistics.median(periods), 2), round(percentile(periods, 0.99), 2), round(max(periods), 2),
                len(periods))

    def _player_lost_it(self, a, b):
        """True when the player made the Stepdeck unreadable between a and b
        (or within a tick of it): the hub sends nothing while it is lost."""
        return any(start < b and (end is None or a < end + 0.1) for start, end in self.player.lost)

    def sample(self, t):
        now = time.time()
        stats = self.hub.stats("process")
        if self.sources is None:
            self._choose_sources(stats)
        process = process_figures(self.pid)
        objects, devices = self.hub.objects_alive()
        median, p99, _, count = self._period_ms(self.hub_port, self._player_lost_it)
        floor_median, floor_p99, floor_longest, _ = self._period_ms(self.floor_port)
        row = {"t_s": round(t),
               "memory_kib": int(stats["private"]) // 1024 if self.sources["memory"] == "private"
               else process["rss_anon_kb"],
               "rss_kib": process["rss_kb"], "working_set_kib": int(stats["working_set"]) // 1024,
               **{name: int(stats[field]) for name, field in self.sources.items() if name != "memory"},
               "events": int(stats["events"]),
               "directinputs": objects, "devices": devices,
               "period_median_ms": median, "period_p99_ms": p99, "periods": count,
               "floor_period_median_ms": floor_median, "floor_period_p99_ms": floor_p99,
               "floor_period_longest_ms": floor_longest,
               "cpu_ms_per_min": round((process["cpu_ms"] - self.cpu_ms) * 60 / (now - self.window_start)),
               "stepdeck_replugs": self.player.done["Stepdeck re-plugs"],
               "gamepad_replugs": self.player.done["gamepad re-plugs"],
               "floods": self.peers.sent["floods"],
               "message_box": int(self.hub.driver.run("messagebox 0")[0]),
               "load_1min": os.getloadavg()[0]}
        self.cpu_ms, self.window_start = process["cpu_ms"], now
        if self.writer is None:
            self.writer = csv.DictWriter(self.csv, fieldnames=list(row))
            self.writer.writeheader()
        self.writer.writerow(row)
        self.csv.flush()
        self.rows.append(row)
        period = f"{median:5.1f} / {p99:5.1f} ms ({count}; floor {floor_median} / {floor_p99})" if count else "none"
        print(f"{row['t_s']:5d} s  memory {row['memory_kib']} KiB  handles {row['handles']} (events {row['events']})  GDI {row['gdi']}  "
              f"USER {row['user']}  DirectInput {objects}/{devices}  period {period}  "
              f"CPU {row['cpu_ms_per_min']} ms/min  re-plugs {row['stepdeck_replugs']}/{row['gamepad_replugs']}  "
              f"load {row['load_1min']:.1f}" + ("  MESSAGE BOX" if row["message_box"] else ""), flush=True)


def start_floor(session):
    """The floor program in the session's program folder, on the simulator's
    default Stepdeck at rest, without a control port."""
    shutil.copy2(os.environ["FLOOR_EXE"], session.program_dir / "stepdeck-floor.exe")
    env = dict(session.env, STEPDECK_SIM_PORT="0")
    return subprocess.Popen(["wine", "stepdeck-floor.exe"], cwd=session.program_dir, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wait_for_floor(capture, hub_port, timeout=30):
    """The source port of the floor program's stick datagrams."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        others = [port for port in capture.sources(STICK_PORT) if port != hub_port]
        if others:
            return others[0]
        time.sleep(0.2)
    raise RuntimeError("the floor program sends nothing")


def play(hub, player, peers, sampler, minutes):
    started = time.monotonic()
    next_sample = SAMPLE_SECONDS
    while True:
        now = time.monotonic() - started
        if now >= minutes * 60:
            break
        player.step(now)
        peers.step(now)
        if now >= next_sample:
            sampler.sample(now)
            next_sample += SAMPLE_SECONDS
        assert hub.process.poll() is None, "the hub ended during the run" + hub.diagnosis()
        time.sleep(max(0.0, STEP_SECONDS - (time.monotonic() - started - now)))
    peers.stop()
    player.settle()
    time.sleep(3)  # found again
    sampler.sample(time.monotonic() - started)


def verdict(rows, exit_code, differences, drops):
    """(passed, lines): each rule of the verdict with the figures it judged."""
    warm = [r for r in rows if r["t_s"] <= WARM_UP_SECONDS]
    after = [r for r in rows if r["t_s"] > WARM_UP_SECONDS]
    lines, passed = [], True

    def rule(ok, text):
        nonlocal passed
        passed &= bool(ok)
        lines.append(f"{'met' if ok else 'FAILED'}: {text}")

    at_2 = warm[-1]
    end = rows[-1]
    last = rows[-3:]
    def count(r, key):
        return r["handles"] - r["events"] if key == "handles but events" else r[key]

    for key, bound in (("handles but events", 0), ("events", EVENT_BOUND), ("gdi", 0), ("user", 0),
                       ("directinputs", 0), ("devices", 0)):
        highest = max(count(r, key) for r in warm)
        lasting = min(count(r, key) for r in last)
        rule(lasting <= highest + bound,
             f"{key} {'flat' if bound == 0 else f'within {bound} of the warm-up highest'} after the warm-up: "
             f"{count(at_2, key)} at {at_2['t_s']} s, {count(end, key)} at the end, highest {highest} in the "
             f"warm-up, {max(count(r, key) for r in after)} after, {lasting} the lowest of the last {len(last)} "
             f"samples")
    highest = max(r["memory_kib"] for r in warm)
    growth = max(r["memory_kib"] for r in after) - highest
    hours = (end["t_s"] - at_2["t_s"]) / 3600
    rule(growth <= MEMORY_BOUND_KIB,
         f"memory within {MEMORY_BOUND_KIB} KiB of the warm-up's highest ({highest} KiB): {at_2['memory_kib']} KiB "
         f"at {at_2['t_s']} s, {end['memory_kib']} KiB at the end, at most {growth:+d} KiB; "
         f"{(end['memory_kib'] - at_2['memory_kib']) / hours:+.0f} KiB an hour from 2 minutes to the end")
    windows = [r for r in rows if r["periods"]]
    worst = max(windows, key=lambda r: r["period_p99_ms"])

    def machine_held_back(r):
        return r["floor_period_longest_ms"] != "" and r["floor_period_longest_ms"] > PERIOD_P99_GOAL_MS

    def described(r):
        return (f"{r['t_s']} s: {r['period_p99_ms']} ms (floor p99 {r['floor_period_p99_ms']} ms, longest "
                f"{r['floor_period_longest_ms']} ms, load {r['load_1min']:.1f})")

    over = [r for r in windows if r["period_p99_ms"] > PERIOD_P99_GOAL_MS]
    missed = [described(r) for r in over if not machine_held_back(r)]
    held_back = [described(r) for r in over if machine_held_back(r)]
    rule(not missed, f"tick period p99 <= {PERIOD_P99_GOAL_MS} ms in every window: worst {worst['period_p99_ms']} ms "
                     f"at {worst['t_s']} s (the floor program's {worst['floor_period_p99_ms']} ms, load "
                     f"{worst['load_1min']:.1f}); the floor program's worst "
                     f"{max(r['floor_period_p99_ms'] for r in windows if r['floor_period_p99_ms'] != '')} ms"
                     + (f"; missed in {len(missed)} windows: " + ", ".join(missed[:6]) if missed else "")
                     + (f"; over in {len(held_back)} windows where the machine held the floor program back too: "
                        + ", ".join(held_back[:6]) if held_back else ""))
    boxes = [r["t_s"] for r in rows if r["message_box"]]
    rule(not boxes, "no message box" + (f": one was up at {boxes} s" if boxes else ""))
    rule(exit_code == 0, f"exit code on Escape, as Windows reports it: {exit_code}")
    rule(drops == 0 and not differences,
         "hub-replay of the recording sends every datagram that went on the wire, per destination: "
         + ("all equal" if drops == 0 and not differences
            else f"{drops} packets the capture missed; " + "; ".join(differences[:10])))
    return passed, lines


def draw(rows, path):
    """The samples as an SVG: one panel per quantity over the run's minutes,
    each scaled to its values and its dashed limit."""
    warm_memory = max(r["memory_kib"] for r in rows if r["t_s"] <= WARM_UP_SECONDS)
    panels = [("memory, KiB (dashed: the warm-up's highest + the bound)", {"memory_kib": "memory"},
               warm_memory + MEMORY_BOUND_KIB),
              ("handles, GDI and USER objects", {"handles": "handles", "gdi": "GDI", "user": "USER"}, None),
              ("DirectInput objects and devices", {"directinputs": "objects", "devices": "devices"}, None),
              (f"tick period, ms (dashed: {PERIOD_P99_GOAL_MS})",
               {"period_median_ms": "median", "period_p99_ms": "p99", "floor_period_p99_ms": "floor p99"},
               PERIOD_P99_GOAL_MS),
              ("CPU, ms a minute", {"cpu_ms_per_min": "CPU"}, None)]
    colours = ["#1f77b4", "#d62728", "#2ca02c"]
    width, height, left, top = 900, 150, 70, 30
    end = max(r["t_s"] for r in rows) or 1
    x = lambda t: left + (width - left) * t / end  # noqa: E731
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width + 40}" '
             f'height="{len(panels) * (height + top) + 40}" font-family="sans-serif" font-size="12">'
             '<rect width="100%" height="100%" fill="white"/>']
    for index, (title, keys, limit) in enumerate(panels):
        y0 = 20 + index * (height + top)
        values = [r[k] for r in rows for k in keys if r[k] != ""] + ([limit] if limit else [])
        pad = max((max(values) - min(values)) * 0.1, 1)
        low, high = min(values) - pad, max(values) + pad
        y = lambda v: y0 + top + height * (1 - (v - low) / (high - low))  # noqa: E731
        parts.append(f'<text x="{left}" y="{y0 + 18}" font-weight="bold">{title}</text>'
                     f'<rect x="{left}" y="{y0 + top}" width="{width - left}" height="{height}" fill="none" '
                     f'stroke="#999"/><text x="{left - 6}" y="{y(high) + 12:.1f}" text-anchor="end">{high:.0f}</text>'
                     f'<text x="{left - 6}" y="{y(low):.1f}" text-anchor="end">{low:.0f}</text>'
                     f'<line x1="{x(WARM_UP_SECONDS):.1f}" x2="{x(WARM_UP_SECONDS):.1f}" y1="{y0 + top}" '
                     f'y2="{y0 + top + height}" stroke="#ccc"/>')
        if limit:
            parts.append(f'<line x1="{left}" x2="{width}" y1="{y(limit):.1f}" y2="{y(limit):.1f}" stroke="#999" '
                         'stroke-dasharray="4 3"/>')
        for number, (key, colour) in enumerate(zip(keys, colours)):
            points = " ".join(f"{x(r['t_s']):.1f},{y(r[key]):.1f}" for r in rows if r[key] != "")
            parts.append(f'<polyline points="{points}" fill="none" stroke="{colour}" stroke-width="1.5"/>'
                         f'<text x="{width - 120 * (len(keys) - 1 - number)}" y="{y0 + 18}" text-anchor="end" '
                         f'fill="{colour}">{keys[key]} {rows[-1][key]}</text>')
    axis = len(panels) * (height + top) + 32
    parts.append(f'<text x="{left}" y="{axis}">0 min</text><text x="{width}" y="{axis}" text-anchor="end">'
                 f'{end / 60:.1f} min (grey: the end of the warm-up)</text></svg>')
    Path(path).write_text("".join(parts), encoding="utf-8")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("minutes", type=float)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--out", required=True, help="the Wine prefix, the recording, the samples and the plot")
    args = parser.parse_args()
    session = WineSession(Path(args.out))
    work = session.artifacts / "run"
    work.mkdir(parents=True, exist_ok=True)
    recording = work / "soak.jsonl"
    print(f"soak run of {args.minutes:g} minutes, seed {args.seed}; recording {recording}", flush=True)
    rng = random.Random(args.seed)
    (work / "motion.txt").write_text(motion_script(rng), encoding="utf-8")
    capture = WireCapture()
    session.start()
    hub = floor = None
    try:
        hub = HubRun(session, work, config="script = motion.txt\n" + DECK_AND_PAD,
                     args=("-record", windows_path(recording)),
                     listen_ports=(STICK_PORT, XDRV_PORT, FEEDER_PORT, *PEER_PORTS))
        hub.wait_ticking()
        floor = start_floor(session)
        hub_port = capture.source_port(STICK_PORT, GREETING)
        floor_port = wait_for_floor(capture, hub_port)
        player, peers = Player(hub, rng), Peers(hub.listeners, rng)
        sampler = Sampler(hub, hub_linux_pid(session), capture, hub_port, floor_port, player, peers,
                          work / "soak.csv")
        play(hub, player, peers, sampler, args.minutes)
        hub.driver.must("key escape")
        exit_code = hub.wait_exit(30)
        time.sleep(0.5)  # the last datagrams
        drops = capture.close()
        wire = capture.sent_from(hub_port)
        differences = replay_differences(wire, replayed(recording))
    finally:
        if floor:
            floor.kill()
            floor.wait(timeout=10)
        if hub:
            hub.end()
        session.kill_leftovers()
        session.stop()
    rows = sampler.rows
    draw(rows, work / "soak.svg")
    passed, lines = verdict(rows, exit_code, differences, drops)
    received = sum(1 for line in recording.open(encoding="utf-8") if line.startswith('{"recv"'))
    done = player.done
    print(f"\nsummary of {rows[-1]['t_s']} s (seed {args.seed}): Stepdeck re-plugs {done['Stepdeck re-plugs']} "
          f"(failed searches {done['failed searches']}), poll failures {done['poll failures']}, gamepad re-plugs "
          f"{done['gamepad re-plugs']}; dialog commands {sum(v for k, v in done.items() if k.startswith('command'))}; "
          f"modes switched to {dict(player.modes_seen)}")
    print(f"peers: {dict(peers.sent)}; datagrams received and recorded by the hub: {received}; "
          f"sent by the hub: {sum(len(v) for v in wire.values())} to {len(wire)} ports")
    print(f"recording {recording.stat().st_size} bytes; samples {work / 'soak.csv'}; plot {work / 'soak.svg'}; "
          f"CPU per minute: median {statistics.median(r['cpu_ms_per_min'] for r in rows):.0f} ms")
    print("\n".join(lines))
    print(f"\n{int(passed)} passed, {int(not passed)} failed")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
