"""The scripted player and peers of hub.exe under Wine: what a player does on
the simulated Stepdeck and at the dialog, and what the programs around the
hub send to its port 45041.

The player's motion is a simulator script (`motion_script`), which the
simulator plays at the hub's own polls; `Player` and `Peers` do the rest on a
schedule, driven by one loop that calls `step(now)` about every 50 ms (now:
seconds since the run began). All three follow a seeded `random.Random`, so a
run can be repeated. The player acts through the simulator's control port
and the dialog driver, the peers through the sockets of a `Listeners` (their
replies arrive there)."""

import heapq
import itertools
import math
import socket
import threading
import time
from collections import Counter

REMOTE_PORT = 45050        # the remote app of hello 1,3,4,50,50 listens here
REGISTERED_PORT = 50500    # registration 21,1,5,5,0
QUERY_REPLY_PORT = 50501   # query 21,2,5,5,1
PEER_PORTS = (REMOTE_PORT, REGISTERED_PORT, QUERY_REPLY_PORT)

HELLO_45050 = bytes([1, 3, 4, 50, 50])
FEEDER_ENABLE = bytes([1, 1])
KEEP_ALIVE = bytes([1, 21])
REGISTER_50500 = bytes([21, 1, 5, 5, 0])
QUERY_TO_50501 = bytes([21, 2, 5, 5, 1])


def inputs(steering, buttons, axis3=0, axis4=0):
    """A remote app's inputs message."""
    return bytes([32, steering, buttons, 0, 0, axis3, axis4, 0, 0])


class RemoteApp:
    """Says hello, enables the feeder, registers a port and queries it, then
    sends its inputs every 50 ms until stopped."""

    def __init__(self, listeners):
        self.listeners = listeners
        self.running = True
        for port, message in ((REMOTE_PORT, HELLO_45050), (REMOTE_PORT, FEEDER_ENABLE),
                              (REGISTERED_PORT, REGISTER_50500), (QUERY_REPLY_PORT, QUERY_TO_50501)):
            listeners.send(port, message)
        self.sent = 4
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        steering = 0
        while self.running:
            steering = (steering + 9) % 256
            self.listeners.send(REMOTE_PORT, inputs(steering, steering % 64, 100, 156))
            self.sent += 1
            time.sleep(0.05)

    def stop(self):
        self.running = False
        self.thread.join()


class Schedule:
    """Actions due at given times, run in time order by `run_due`."""

    def __init__(self):
        self.pending = []
        self.order = itertools.count()

    def at(self, when, action):
        heapq.heappush(self.pending, (when, next(self.order), action))

    def run_due(self, now):
        while self.pending and self.pending[0][0] <= now:
            when, _, action = heapq.heappop(self.pending)
            action(when)


class Peers:
    """The programs around the hub: a remote app (`RemoteApp`) that stays
    25 to 60 s, falls silent for 11 to 16 s, past the hub's 10 s time-out,
    and comes back; a program that registers port 50500 every 3 to 6 s for
    20 to 40 s and then lets it lapse for 11 to 16 s; one that asks for the
    registered port every 2 to 6 s; and from `first_flood` s on, every 100
    to 140 s, a burst of 1,000 datagrams from one socket: random bytes, half
    of them behind the head of a message the hub knows, one in ten longer
    than the hub's 512 bytes (up to 65,507)."""

    def __init__(self, listeners, rng, first_flood=40):
        self.listeners, self.rng = listeners, rng
        self.schedule = Schedule()
        self.app = None
        self.sent = Counter()
        self.schedule.at(0, self._app_comes)
        self.schedule.at(1, self._register)
        self.schedule.at(2, self._query)
        self.schedule.at(first_flood, self._flood)
        self.registering_until = 0

    def step(self, now):
        self.schedule.run_due(now)

    def stop(self):
        if self.app:
            self._app_falls_silent(None)

    def _app_comes(self, now):
        self.app = RemoteApp(self.listeners)
        self.sent["app connections"] += 1
        self.schedule.at(now + self.rng.uniform(25, 60), self._app_falls_silent)

    def _app_falls_silent(self, now):
        self.app.stop()
        self.sent["remote app"] += self.app.sent
        self.app = None
        if now is not None:
            self.schedule.at(now + self.rng.uniform(11, 16), self._app_comes)

    def _register(self, now):
        if now >= self.registering_until:
            self.registering_until = now + self.rng.uniform(20, 40)
        self.listeners.send(REGISTERED_PORT, REGISTER_50500)
        self.sent["registrations"] += 1
        pause = self.rng.uniform(3, 6)
        if now + pause >= self.registering_until:
            pause += self.rng.uniform(11, 16)  # the registration lapses
        self.schedule.at(now + pause, self._register)

    def _query(self, now):
        self.listeners.send(QUERY_REPLY_PORT, QUERY_TO_50501)
        self.sent["queries"] += 1
        self.schedule.at(now + self.rng.uniform(2, 6), self._query)

    def _flood(self, now):
        heads = [b"\x01\x01", b"\x01\x02", b"\x01\x03", b"\x01\x15", b"\x15\x01", b"\x15\x02", b"\x20"]
        flood = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        flood.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 1 << 20)
        for _ in range(1000):
            size = self.rng.randint(513, 65507) if self.rng.random() < 0.1 else self.rng.randint(0, 512)
            head = self.rng.choice(heads) if self.rng.random() < 0.5 else b""
            flood.sendto((head + self.rng.randbytes(size))[:max(size, len(head))], ("127.0.0.1", 45041))
        flood.close()
        self.sent["floods"] += 1
        self.sent["flood datagrams"] += 1000
        self.schedule.at(now + self.rng.uniform(100, 140), self._flood)


MOVES = ("stepping", "standing", "skating", "pedalling", "biking", "flying")


def motion_script(rng, seconds=120):
    """The player's motion as a simulator script (tools/simulator/README.md)
    that loops every `seconds`: a line for each device every 50 ms, in
    segments of 4 to 10 s, each one of MOVES at a cadence of 0.7 to 3 steps
    a second. Stepping lifts the feet in turn, the standing one tilted on
    its toe, and stands flat every 12 s (the Advanced tracker stops and
    starts); skating pushes with the right foot; pedalling presses each pedal
    and releases it in turn; biking tilts the feet in opposition; flying
    rests each foot on its first button. The stick sways and the feet twist
    throughout; the gamepad's stick turns like a knob."""
    lines, segment_end = [], 0.0
    for index in range(int(seconds / 0.05)):
        now = index * 0.05
        if now >= segment_end:
            move, cadence, segment_end = rng.choice(MOVES), rng.uniform(0.7, 3.0), now + rng.uniform(4, 10)
        lines.append(f"{int(now * 1000)} set 0 {_deck_pose(move, cadence, now)}")
        lines.append(f"{int(now * 1000)} set 1 {_pad_pose(now)}")
    lines.append(f"{int(seconds * 1000)} loop")
    return "\n".join(lines) + "\n"


def _deck_pose(move, cadence, now):
    stride = now * cadence  # steps so far
    swing = math.sin(math.pi * stride)
    flat = move == "standing" or now % 12 < 2
    left_lifted = int(stride) % 2 == 0 and not flat
    pose = {"x": int(300 * math.sin(0.6 * now)), "y": -600 + int(200 * math.sin(2 * math.pi * now)),
            "z": int(400 * math.sin(now)), "ry": int(-400 * math.sin(now)),
            "rz": 0 if flat else (150 if left_lifted else 30), "rx": 0 if flat else (30 if left_lifted else -150),
            "b0": int(not left_lifted), "b1": int(not left_lifted), "b2": int(flat), "b3": int(left_lifted or flat)}
    if move == "skating":
        lifted = now % 4 < 0.3
        pose.update(b0=int(not lifted), b1=int(not lifted), b2=0, b3=int(not lifted and stride % 1 < 0.3))
    elif move == "pedalling":
        pose.update(rz=int(320 * max(0.0, swing)), rx=int(320 * max(0.0, -swing)))
    elif move == "biking":
        pose.update(rz=int(180 * swing), rx=int(-180 * swing))
    elif move == "flying":
        pose.update(b0=1, b1=0, b2=1, b3=0)
    return " ".join(f"{name} {value}" for name, value in pose.items())


def _pad_pose(now):
    reach = 1000 if now % 2 < 1.5 else 0
    angle = (now // 2) * math.pi / 2 + (now % 2) * math.pi / 4
    return (f"x {int(reach * math.cos(angle))} y {int(reach * math.sin(angle))} "
            f"z {int(800 * math.sin(0.4 * now))} b0 {int(now % 2 < 1)}")


LOCOMOTION_MODE, VJOY_MODE = 1046, 1027          # the labels
NEXT_LOCOMOTION_MODE, NEXT_VJOY_MODE = 1034, 1029
SPEED_BUTTONS = (1032, 1038, 1051)                # initial speed, speed, sensitivity or Biking's scale


class Player:
    """The player at the dialog and the cables of the Stepdeck (device 0)
    and a gamepad (device 1); its motion is `motion_script`'s.

    Every 8 to 16 s it moves on to the next locomotion mode and the next
    vJoy mode in turn (every mode within the first two minutes), and presses the speed-factor buttons that are enabled
    there, each up to twice.

    From 25 s on, every 30 s, the Stepdeck is unplugged and plugged back 0.3
    to 2.5 s later, as the same instance and as a new one in turn; every
    fourth time, from the third on, the enumeration fails during a search
    (the Stepdeck is plugged back while it fails). Every kind of event thus
    happens within the first two minutes, before the soak's warm-up ends:
    what a process creates once, when it first needs it, is not a leak. Midway between, its polls fail for 50 to
    300 ms. The gamepad is unplugged from 45 s on, every 80 to 120 s, for 1.5
    to 3 s.

    `lost` holds [start, end] (time.time()) of every time the player made
    the Stepdeck unreadable, end None while it lasts; `done` counts what
    the player did, `modes_seen` the modes it switched to."""

    def __init__(self, hub, rng):
        self.hub, self.rng = hub, rng
        self.schedule = Schedule()
        self.lost = []
        self.done = Counter()
        self.modes_seen = Counter()
        self.modes = self._read_modes()
        self.schedule.at(5, self._next_mode)
        self.schedule.at(25, self._replug)
        self.schedule.at(40, self._fail_polls)
        self.schedule.at(45, self._replug_gamepad)

    def step(self, now):
        self.schedule.run_due(now)

    def settle(self):
        """Lifts every failure and plugs back what is unplugged, at once."""
        self.hub.sim("fail global enumdevices off\nfail 0 poll off")
        for device in (0, 1):
            if self.hub.stats(device)["plugged"] == "0":
                self.hub.plug(device)
        if self.lost and self.lost[-1][1] is None:
            self._found(None)

    def _read_modes(self):
        controls = self.hub.driver.controls(LOCOMOTION_MODE, VJOY_MODE, *SPEED_BUTTONS)
        return {"locomotion": controls[LOCOMOTION_MODE]["text"], "vjoy": controls[VJOY_MODE]["text"],
                "enabled": [i for i in SPEED_BUTTONS if controls[i]["enabled"]]}

    def _press(self, control):
        self.hub.driver.must(f"command {control}")
        self.done[f"command {control}"] += 1

    def _next_mode(self, now):
        switches = self.done["command 1034"] + self.done["command 1029"]
        self._press(NEXT_LOCOMOTION_MODE if switches % 2 == 0 else NEXT_VJOY_MODE)
        self.modes = self._read_modes()
        self.modes_seen[self.modes["locomotion"]] += 1
        self.modes_seen[self.modes["vjoy"]] += 1
        for control in self.modes["enabled"]:
            for _ in range(self.rng.randint(0, 2)):
                self._press(control)
        self.schedule.at(now + self.rng.uniform(8, 16), self._next_mode)

    def _lose(self):
        self.lost.append([time.time(), None])

    def _found(self, _now):
        self.lost[-1][1] = time.time()

    def _replug(self, now):
        count = self.done["Stepdeck re-plugs"]
        self.done["Stepdeck re-plugs"] += 1
        new_instance = count % 2 == 1
        self._lose()
        self.hub.unplug()
        if count % 4 == 2:
            # Lost for over a second: searched for, and the enumeration fails.
            self.done["failed searches"] += 1
            self.schedule.at(now + 1.1, lambda _: self.hub.sim("fail global enumdevices always"))
            self.schedule.at(now + 1.5, lambda _: self.hub.plug(new_instance=new_instance))
            self.schedule.at(now + self.rng.uniform(2.6, 3.5), self._enumeration_works)
        else:
            self.schedule.at(now + self.rng.uniform(0.3, 2.5), lambda when: self._plug_back(when, new_instance))
        self.schedule.at(now + 30, self._replug)

    def _plug_back(self, now, new_instance):
        self.hub.plug(new_instance=new_instance)
        self._found(now)

    def _enumeration_works(self, now):
        self.hub.sim("fail global enumdevices off")
        self._found(now)

    def _fail_polls(self, now):
        self.done["poll failures"] += 1
        self._lose()
        self.hub.sim("fail 0 poll always")
        self.schedule.at(now + self.rng.uniform(0.05, 0.3), self._polls_work)
        self.schedule.at(now + 30, self._fail_polls)

    def _polls_work(self, now):
        self.hub.sim("fail 0 poll off")
        self._found(now)

    def _replug_gamepad(self, now):
        count = self.done["gamepad re-plugs"]
        self.done["gamepad re-plugs"] += 1
        self.hub.unplug(1)
        self.schedule.at(now + self.rng.uniform(1.5, 3), lambda _: self.hub.plug(1, new_instance=count % 2 == 1))
        self.schedule.at(now + self.rng.uniform(80, 120), self._replug_gamepad)
