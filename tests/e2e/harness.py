"""Runs hub.exe under Wine with the simulated Stepdeck, listens to what it
sends, drives its dialog and talks to the simulator's control port.

Paths come from the environment (tests/e2e/run.sh sets them):
HUB_EXE, SIM_DLL, DIALOG_DRIVER, SIM_PROBE, EXIT_CODE and E2E_ARTIFACTS (where
the Wine prefix, the logs and the screenshot go)."""

import ctypes
import json
import os
import resource
import select
import shutil
import signal
import socket
import statistics
import struct
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "dialog-driver"))
from driver_client import Driver  # noqa: E402

HUB_TITLE = "VR Stepdeck Hub (v2.0)"
STICK_PORT, XDRV_PORT, FEEDER_PORT = 45040, 45045, 45042
HUB_PORT = 45041
SIM_PORT = 45150  # not 45050: a remote app that says hello 1,3,4,50,50 listens there

GREETING = bytes([0x01, 0x03, 0x02, 0x6F, 0x00])
XDRV_GREETING = b"XDRV" + struct.pack("<I", 1) + bytes(16) + struct.pack("<I", 3)
STOP = bytes([0x64, 0x00])
# Standing still: what the consumers get when the Stepdeck is lost and when the hub ends.
STANDING = bytes([0x2A, 0x80, 0x2B, 0x80, 0x00])
XDRV_STANDING = b"XDRV" + struct.pack("<Iff", 1, 0.0, 0.0) + bytes(8) + struct.pack("<I", 3)

DEFAULT_DECK = """
[device]
name = Stepdeck
objects = x y z rx ry rz button button button button
"""
# A gamepad, to follow DEFAULT_DECK as device 1.
GAMEPAD = """
[device]
name = Pad
vendor = 0x045E
product = 0x028E
usage = 5
objects = x y z rx ry button button button button
"""

# The Stepdeck, then a gamepad (device 1).
DECK_AND_PAD = DEFAULT_DECK + GAMEPAD

# Linux socket option numbers (socket.SO_TIMESTAMPNS is missing on some builds).
SO_TIMESTAMPNS = getattr(socket, "SO_TIMESTAMPNS", 35)


def windows_path(path):
    """The path as a Windows program under Wine names it (drive Z: is /)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def required_path(variable):
    value = os.environ.get(variable)
    if not value or not Path(value).is_file():
        raise RuntimeError(f"{variable} must name an existing file (got {value!r}); run tests/e2e/run.sh")
    return Path(value).resolve()


def stick_periods_ms(hub, since, until):
    """The periods between the stick datagrams (no greeting) that arrived between since and until."""
    stamps = [d.stamp for d in hub.listeners.all(STICK_PORT) if since <= d.stamp <= until and d.data[0] == 0x2A]
    return [(b - a) * 1000 for a, b in zip(stamps, stamps[1:])]


def wait_until(condition, timeout, step=0.05):
    """True once condition() holds; False when it did not within `timeout` seconds."""
    deadline = time.time() + timeout
    while not condition():
        if time.time() > deadline:
            return False
        time.sleep(step)
    return True


def walking(data):
    """A stick datagram that walks forward."""
    return len(data) == 5 and data[0] == 0x2A and data[3] > 0x80


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def describe_periods(periods):
    return (f"median {statistics.median(periods):.1f} ms, 99th percentile {percentile(periods, 0.99):.1f} ms, "
            f"longest {max(periods):.1f} ms over {len(periods)} periods")


def press_the_throttle(hub):
    """Diff. Pedal n Brake with the feeder enabled and the left foot down:
    returns the feeder's datagram with the throttle pressed,
    16 80 80 80 80 00 00 CC."""
    hub.driver.must("command 1029")
    hub.driver.must("command 1029")
    assert hub.driver.wait_text(1027, "Diff. Pedal n Brake")[0]
    hub.listeners.send(FEEDER_PORT, b"\x01\x01")
    hub.sim("set 0 rx 300 rz 100")
    pressed = hub.listeners.wait_for(lambda d: len(d) == 8 and d[7] == 0xCC, 5, FEEDER_PORT)
    assert pressed is not None, "the throttle was not pressed" + hub.diagnosis()
    return pressed.data


def kernel_stamp(ancillary):
    """The kernel's time stamp of a received datagram (SO_TIMESTAMPNS), or now."""
    for level, kind, payload in ancillary:
        if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS:
            seconds, nanoseconds = struct.unpack("qq", payload[:16])
            return seconds + nanoseconds / 1e9
    return time.time()


class Datagram:
    def __init__(self, port, data, stamp):
        self.port, self.data, self.stamp = port, data, stamp

    def __repr__(self):
        return f"<{self.port} {self.data.hex(' ')}>"


class Listeners:
    """UDP receivers on 127.0.0.1 ports 45040, 45045 and 45042, bound before the
    hub starts. Each datagram keeps the kernel's arrival time, so the order of
    datagrams on different ports is known even when they queue up together."""

    def __init__(self, ports=(STICK_PORT, XDRV_PORT, FEEDER_PORT)):
        self.sockets = []
        for port in ports:
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            s.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
            s.bind(("127.0.0.1", port))
            self.sockets.append((port, s))
        self.received = []
        self.lock = threading.Lock()
        self.running = True
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        by_fd = {s.fileno(): (port, s) for port, s in self.sockets}
        while self.running:
            readable, _, _ = select.select(list(by_fd), [], [], 0.1)
            for fd in readable:
                port, s = by_fd[fd]
                data, ancillary, _, _ = s.recvmsg(2048, 64)
                with self.lock:
                    self.received.append(Datagram(port, data, kernel_stamp(ancillary)))

    def all(self, port=None):
        with self.lock:
            items = sorted(self.received, key=lambda d: d.stamp)
        return [d for d in items if port is None or d.port == port]

    def wait_for(self, predicate, timeout=5.0, port=None, since=0.0):
        """The first datagram (on `port`, arrived at or after `since`) that
        satisfies `predicate`, or None after `timeout` seconds."""
        deadline = time.time() + timeout
        while True:
            for datagram in self.all(port):
                if datagram.stamp >= since and predicate(datagram.data):
                    return datagram
            if time.time() >= deadline:
                return None
            time.sleep(0.02)

    def count_after(self, port, since):
        return len([d for d in self.all(port) if d.stamp >= since])

    def send(self, port, data):
        """Sends data to the hub's port 45041 from the socket bound to `port`,
        so the hub sees that port as the source."""
        dict(self.sockets)[port].sendto(bytes(data), ("127.0.0.1", HUB_PORT))

    def close(self):
        self.running = False
        self.thread.join()
        for _, s in self.sockets:
            s.close()


class WireCapture:
    """Every small UDP datagram on the loopback device, whoever sent it and
    wherever it went, with the kernel's time stamp: what went on the wire,
    also to ports nobody listens on. A packet socket on `lo` (it needs
    CAP_NET_RAW, which root has) whose kernel filter keeps UDP packets of at
    most 100 bytes, so a flood of large datagrams cannot crowd out the hub's
    own (28 bytes at most)."""

    ETH_P_IP = 0x0800
    SO_ATTACH_FILTER = 26
    SO_RCVBUFFORCE, SOL_PACKET, PACKET_STATISTICS, PACKET_OUTGOING = 33, 263, 6, 4
    # Classic BPF over the IP header: protocol 17 and total length <= 100.
    FILTER = [(0x30, 0, 0, 9), (0x15, 0, 3, 17), (0x28, 0, 0, 2), (0x25, 1, 0, 100),
              (0x06, 0, 0, 0xFFFF), (0x06, 0, 0, 0)]

    def __init__(self):
        self.socket = socket.socket(socket.AF_PACKET, socket.SOCK_DGRAM, 0)
        program = ctypes.create_string_buffer(b"".join(struct.pack("HBBI", *op) for op in self.FILTER))
        self.socket.setsockopt(socket.SOL_SOCKET, self.SO_ATTACH_FILTER,
                               struct.pack("HL", len(self.FILTER), ctypes.addressof(program)))
        self.socket.setsockopt(socket.SOL_SOCKET, self.SO_RCVBUFFORCE, 16 << 20)
        self.socket.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
        self.socket.bind(("lo", self.ETH_P_IP))
        self.packets = []  # (stamp, source port, destination port, payload)
        self.drops = 0
        self.running = True
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while self.running:
            if not select.select([self.socket], [], [], 0.1)[0]:
                continue
            packet, ancillary, _, address = self.socket.recvmsg(256, 64)
            header = (packet[0] & 0x0F) * 4
            if address[2] == self.PACKET_OUTGOING or len(packet) < header + 8:
                continue  # each loopback packet once, as it arrives
            source, destination = struct.unpack_from("!HH", packet, header)
            self.packets.append((kernel_stamp(ancillary), source, destination, packet[header + 8:]))

    def source_port(self, destination, payload):
        """The source port of the first datagram with this payload to this port."""
        return next(p[1] for p in list(self.packets) if p[2] == destination and p[3] == payload)

    def sources(self, destination):
        """The source ports that sent to this port, in the order they first did."""
        return list(dict.fromkeys(p[1] for p in list(self.packets) if p[2] == destination))

    def sent_from(self, port):
        """What the socket on `port` sent: the datagrams per destination port, in order."""
        sends = {}
        for _, source, destination, payload in list(self.packets):
            if source == port:
                sends.setdefault(destination, []).append(payload)
        return sends

    def stamps(self, source, destination, since=0.0, head=None):
        """The times of the datagrams from `source` to `destination` (whose first byte is `head`, when given)."""
        return [p[0] for p in list(self.packets) if p[1] == source and p[2] == destination and p[0] >= since
                and (head is None or p[3][:1] == bytes([head]))]

    def close(self):
        """Stops; returns how many packets the kernel dropped (0: none was missed)."""
        self.running = False
        self.thread.join()
        drops = struct.unpack("II", self.socket.getsockopt(self.SOL_PACKET, self.PACKET_STATISTICS, 8))[1]
        self.socket.close()
        return drops


def replayed(recording, timeout=600):
    """hub-replay's sends for the recording, per destination port."""
    run = subprocess.run([os.environ["HUB_REPLAY"], str(recording)], capture_output=True, text=True,
                         timeout=timeout)
    assert run.returncode == 0, f"hub-replay refused the recording: {run.stderr}"
    sends = {}
    for line in run.stdout.splitlines():
        if line.startswith('{"send"'):
            event = json.loads(line)["send"]
            sends.setdefault(int(event["to"].rsplit(":", 1)[1]), []).append(bytes.fromhex(event["hex"]))
    return sends


def replay_differences(wire, replay):
    """The destination ports whose datagrams differ between what went on the
    wire and what the replay sent (both per destination port), each with
    both counts; empty when every one is equal, byte for byte and in order."""
    return [f"port {port}: {len(wire.get(port, []))} on the wire, {len(replay.get(port, []))} replayed"
            for port in sorted(set(wire) | set(replay)) if wire.get(port, []) != replay.get(port, [])]


def hub_linux_pid(session):
    """The Linux process that runs hub.exe in this session's prefix (not
    exit-code.exe, whose command line names hub.exe too)."""
    for entry in Path("/proc").iterdir():
        try:
            program = (entry / "cmdline").read_bytes().split(b"\0")[0]
            environ = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if program.endswith(b"\\hub.exe") and f"WINEPREFIX={session.prefix}".encode() in environ:
            return int(entry.name)
    raise RuntimeError("no Linux process runs hub.exe")


def process_figures(pid):
    """A Linux process's memory in KiB (resident, resident anonymous, and
    private: the private clean and dirty pages of every mapping) and the CPU
    time its threads used so far, in ms (the threads that ended included)."""
    status = dict(line.split(":", 1) for line in Path(f"/proc/{pid}/status").read_text().splitlines())
    rollup = {}
    for line in Path(f"/proc/{pid}/smaps_rollup").read_text().splitlines()[1:]:
        key, value = line.split(":", 1)
        rollup[key] = int(value.split()[0])
    ticks = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[11:13]  # utime, stime
    return {"rss_kb": int(status["VmRSS"].split()[0]), "rss_anon_kb": int(status["RssAnon"].split()[0]),
            "private_kb": rollup["Private_Clean"] + rollup["Private_Dirty"],
            "cpu_ms": sum(int(t) for t in ticks) * 1000 // os.sysconf("SC_CLK_TCK")}


class WineSession:
    """One Wine prefix, one Xvfb and one warm wineserver for the whole run."""

    def __init__(self, artifacts):
        self.artifacts = Path(artifacts)
        self.artifacts.mkdir(parents=True, exist_ok=True)
        self.hub_exe = required_path("HUB_EXE")
        self.sim_dll = required_path("SIM_DLL")
        self.driver_exe = required_path("DIALOG_DRIVER")
        self.probe_exe = required_path("SIM_PROBE")
        self.exit_code_exe = required_path("EXIT_CODE")
        self.prefix = self.artifacts / "wineprefix"
        self.xvfb = None
        self.env = dict(os.environ)
        self.env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "dinput8=n,b;mscoree,mshtml=",
            "STEPDECK_SIM_PORT": str(SIM_PORT),
        })
        self.env.pop("STEPDECK_SIM_CONFIG", None)
        self.env.pop("STEPDECK_SIM_SCRIPT", None)

    def start(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as display:
            number = display.readline().strip()
        self.env["DISPLAY"] = f":{number}"
        if not (self.prefix / "system.reg").exists():
            subprocess.run(["wineboot", "-i"], env=self.env, check=True, timeout=300,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            # Every program of the run shares one virtual desktop, which draws
            # the window frames (Xvfb has no window manager).
            for key, name, value in [(r"HKCU\Software\Wine\Explorer", "Desktop", "Default"),
                                     (r"HKCU\Software\Wine\Explorer\Desktops", "Default", "800x600")]:
                subprocess.run(["wine", "reg", "add", key, "/v", name, "/d", value, "/f"], env=self.env,
                               check=True, timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # A persistent wineserver keeps every later start fast (wineboot's own
        # server ends first).
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60)
        subprocess.run(["wineserver", "-p"], env=self.env, check=True, timeout=60)
        # The program's folder: hub.exe with the simulator beside it.
        self.program_dir = self.artifacts / "program"
        self.program_dir.mkdir(exist_ok=True)
        shutil.copy2(self.hub_exe, self.program_dir / "hub.exe")
        shutil.copy2(self.sim_dll, self.program_dir / "dinput8.dll")
        self.driver = Driver(self.driver_exe, self.env)

    def stop(self):
        if getattr(self, "driver", None):
            self.driver.close()
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait(timeout=10)

    def kill_leftovers(self):
        """Ends hub.exe processes of this prefix that a failed test left behind."""
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit():
                continue
            try:
                cmdline = (entry / "cmdline").read_bytes()
                environ = (entry / "environ").read_bytes()
            except OSError:
                continue
            if b"hub.exe" in cmdline and f"WINEPREFIX={self.prefix}".encode() in environ.split(b"\0"):
                try:
                    os.kill(int(entry.name), 9)
                except ProcessLookupError:
                    pass

    def screenshot(self, path, area=None):
        """Saves the screen, or the area [x, y, w, h] of it, as a PNG."""
        crop = ["-crop", "{2}x{3}+{0}+{1}".format(*area)] if area else []
        subprocess.run(["import", "-window", "root", "-display", self.env["DISPLAY"], *crop, str(path)],
                       check=True, timeout=30)


class HubRun:
    """One start of hub.exe with a simulator configuration."""

    def __init__(self, session, work_dir, config=DEFAULT_DECK, args=(), program_dir=None,
                 listen_ports=(STICK_PORT, XDRV_PORT, FEEDER_PORT), sim_port=SIM_PORT, unset=(),
                 file_size_limit=None, extra_env=None):
        """listen_ports: the consumers' ports to receive on (none: nothing
        listens there); sim_port: the simulator's control port (0: none);
        unset: STEPDECK_SIM_* variables to leave out, so that the simulator
        runs on its defaults as a user starts it; file_size_limit: the
        largest file the hub can write, in bytes, as if the disk were full
        beyond it; extra_env: more variables for this run (WINEDEBUG for a trace)."""
        self.session = session
        config_path = Path(work_dir) / "sim.cfg"
        config_path.write_text(config, encoding="utf-8")
        self.log_path = Path(work_dir) / "sim.log"
        env = dict(session.env)
        env["STEPDECK_SIM_CONFIG"] = str(config_path)
        env["STEPDECK_SIM_LOG"] = str(self.log_path)
        env["STEPDECK_SIM_PORT"] = str(sim_port)
        for name in unset:
            env.pop(name)
        env.update(extra_env or {})
        self.sim_port = sim_port
        self.listeners = Listeners(listen_ports)
        self.control = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.control.settimeout(2.0)
        program_dir = program_dir or session.program_dir
        # Through exit-code.exe, which writes the exit code Windows reports
        # for the hub: Wine may hand on the status of a hub that ended from
        # its listener thread as a kill by signal 9.
        self.exit_code_path = Path(work_dir) / "hub.exitcode"
        command = ["wine", str(session.exit_code_exe), windows_path(self.exit_code_path),
                   windows_path(program_dir / "hub.exe"), *args]
        self.stderr_path = Path(work_dir) / "hub.stderr"
        self.started = time.time()

        def limit_file_size():
            # A write beyond the limit then fails (EFBIG) instead of ending the process.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))

        self.process = subprocess.Popen(command, env=env, cwd=program_dir,
                                        stdout=subprocess.DEVNULL, stderr=open(self.stderr_path, "wb"),
                                        preexec_fn=limit_file_size if file_size_limit else None)

    @property
    def driver(self):
        return self.session.driver

    def sim(self, command):
        """Sends one command to the simulator and returns its reply."""
        deadline = time.time() + 10
        while True:
            self.control.sendto(command.encode(), ("127.0.0.1", self.sim_port))
            try:
                reply = self.control.recv(4096).decode()
                break
            except (socket.timeout, ConnectionRefusedError):
                if time.time() > deadline:
                    raise
                time.sleep(0.1)
        assert reply.startswith("ok"), f"{command}: {reply}"
        return reply

    def stats(self, device):
        """A device's `stats` (device: its index, or "global") as a dict."""
        return dict(item.split("=", 1) for item in self.sim(f"stats {device}").split()[1:])

    def unplug(self, device=0):
        self.sim(f"unplug {device}")

    def plug(self, device=0, new_instance=False):
        """Plugs the device back as the same instance, or as a new one whose
        old device objects stay dead."""
        self.sim(f"plug {device}" + (" new" if new_instance else ""))

    def objects_alive(self):
        """(DirectInput objects, device objects) the hub created and has not released."""
        stats = self.stats("global")
        return int(stats["directinputs_alive"]), int(stats["devices_alive"])

    def diagnosis(self):
        """What the hub and the simulator left behind, for a failure message."""
        def read(path):
            return path.read_text(errors="replace") if path.exists() else "(none)"
        return (f"\nhub exit code: {self.exit_code()} (Wine's status of exit-code.exe: {self.process.poll()})"
                f"\nhub stderr:\n{read(self.stderr_path)}"
                f"\nsimulator log:\n{read(self.log_path)}")

    def wait_ticking(self, timeout=20):
        """Waits until the dialog is up and the tick sends stick datagrams."""
        assert self.driver.run(f"find {timeout * 1000}")[0], "the dialog did not appear" + self.diagnosis()
        first = self.listeners.wait_for(lambda d: len(d) == 5 and d[0] == 0x2A, timeout, STICK_PORT)
        assert first is not None, "no stick datagram" + self.diagnosis()

    def exit_code(self):
        """The exit code Windows reported for the hub, or None while it runs
        or when it is not known."""
        try:
            return int(self.exit_code_path.read_text())
        except (OSError, ValueError):
            return None

    def wait_exit(self, timeout=15):
        """The hub's Windows exit code once it has ended; None when it did not
        end within `timeout` seconds or its exit code is not known."""
        try:
            self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None
        return self.exit_code()

    def end(self):
        """Closes whatever is still running: an unexpected end is the test's failure."""
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=10)
        self.listeners.close()
        self.control.close()
