"""hub.exe -record under Wine: the recording of a session, played by
hub-replay, sends every datagram the hub put on the wire, to every port, in
the same order and byte for byte; also while a remote app floods the hub.
A path that cannot be created and a disk that fills during the session leave
the hub running and tell the user."""

import json
import subprocess
import sys
import time

import pytest

from harness import DEFAULT_DECK, FEEDER_PORT, STICK_PORT, XDRV_PORT, replay_differences, replayed
from scripted_use import PEER_PORTS, RemoteApp

PORTS = (STICK_PORT, XDRV_PORT, FEEDER_PORT, *PEER_PORTS)
CAPTION = "VR Stepdeck monitor"

FLOOD = r"""
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
end = time.monotonic() + float(sys.argv[1])
sent = 0
while time.monotonic() < end:
    s.sendto(bytes([32, sent % 256, sent % 64, 0, 0, 7, 9, 0, 0]), ("127.0.0.1", 45041))
    sent += 1
print(sent)
"""


def wine_path(path):
    return "Z:" + str(path).replace("/", "\\")


def on_the_wire(hub):
    return {port: [d.data for d in hub.listeners.all(port)] for port in PORTS}


def steps(hub, count, seconds):
    """Stepping in place from standing on all four touch buttons, the feet
    taking turns."""
    for step in range(count):
        hub.sim("set 0 b0 0 b1 0" if step % 2 == 0 else "set 0 b2 0 b3 0")
        time.sleep(0.75 * seconds)
        hub.sim("set 0 b0 1 b1 1 b2 1 b3 1")
        time.sleep(0.25 * seconds)


def play_session(hub, flood_seconds=0):
    """Walking in Normal, stepping in Advanced, a Stepdeck that drops out for
    three polls, then is unplugged, searched for (each enumeration taking
    200 ms) while the enumeration fails and found again, Seated, the vJoy
    mode switched, the Stepdeck unplugged with a pedal pressed and plugged
    back, with a remote app, the feeder enabled and a port registered; Escape
    with the pedal pressed. Returns what the flood sent."""
    d = hub.driver
    hub.wait_ticking()
    app = RemoteApp(hub.listeners)
    flood = None
    if flood_seconds:
        flood = subprocess.Popen([sys.executable, "-c", FLOOD, str(flood_seconds)], stdout=subprocess.PIPE, text=True)
    hub.sim("set 0 y -600")
    time.sleep(0.8)
    hub.sim("set 0 x 450 y -550")
    time.sleep(0.6)
    hub.sim("reset 0")
    d.must("command 1034")  # Advanced
    hub.sim("set 0 b0 1 b1 1 b2 1 b3 1")
    time.sleep(0.4)
    hub.sim("set 0 rz -150 b2 0")
    time.sleep(0.6)
    hub.sim("set 0 rz 0")
    steps(hub, 6, 0.45)
    hub.sim("fail 0 poll 3")  # recovered: the hub acquires it again
    steps(hub, 4, 0.3)
    hub.sim("delay enumerate 200")  # searches that run over several ticks
    hub.unplug()  # lost: the walk stops; searched for a second later
    time.sleep(1.5)
    hub.sim("fail global enumdevices always")
    hub.plug(new_instance=True)  # a device change: searched for again, the enumeration fails
    time.sleep(1.2)
    hub.sim("fail global enumdevices off")
    hub.unplug()
    hub.plug(new_instance=True)  # another device change
    time.sleep(1.5)  # found again
    hub.sim("delay enumerate 0")
    d.must("command 1034")  # Seated
    hub.sim("reset 0")
    hub.sim("set 0 rz -200")
    time.sleep(0.6)
    hub.sim("set 0 rz 0 rx 250")
    time.sleep(0.4)
    d.must("command 1029")  # Skate
    d.must("command 1029")  # Diff. Pedal n Brake
    hub.sim("set 0 rz 310 rx 470")
    time.sleep(0.6)
    hub.unplug()  # the pedal released
    time.sleep(0.3)
    hub.plug()
    time.sleep(0.6)
    flooded = int(flood.communicate(timeout=60)[0]) if flood else 0
    app.stop()
    time.sleep(0.2)
    d.must("key escape")
    assert hub.wait_exit() == 0, hub.diagnosis()
    time.sleep(0.3)  # the last datagrams reach the listeners
    return flooded


def expect_replayed_byte_for_byte(hub, recording, report, what):
    wire, replay = on_the_wire(hub), replayed(recording)
    counts = ", ".join(f"{port}: {len(wire[port])} sent, {len(replay.get(port, []))} replayed" for port in PORTS)
    differences = replay_differences(wire, replay)
    assert not differences, f"{differences} ({counts})"
    lines = recording.read_text(encoding="utf-8").splitlines()
    seconds = (json.loads([l for l in lines if l.startswith('{"tick"')][-1])["tick"]["t"]
               - json.loads(next(l for l in lines if l.startswith('{"tick"')))["tick"]["t"]) / 1000
    size = recording.stat().st_size
    report(f"{what}: {counts}; all equal. Recording: {len(lines)} lines, {size} bytes over {seconds:.1f} s "
           f"of ticks, {size / seconds * 60 / 1024:.0f} KiB a minute")
    return lines


def test_a_recorded_session_replays_every_datagram_to_every_port(start_hub, tmp_path, report):
    folder = tmp_path / "séance ü"
    folder.mkdir()
    recording = folder / "session 1.jsonl"
    hub = start_hub(args=("-record", wine_path(recording)), listen_ports=PORTS)
    play_session(hub)
    lines = expect_replayed_byte_for_byte(hub, recording, report, "walking, Advanced, Seated, vJoy modes")
    config = json.loads(lines[0])["config"]
    assert config["deck"] and config["deckObjects"] == ["x", "y", "z", "rx", "ry", "rz"] + ["button"] * 4
    assert config["programPath"].endswith("\\hub.exe")
    assert any('"deckPoll":' in line for line in lines), "the failed polls are not in the recording"
    assert any(line.startswith('{"attached"') for line in lines), "the searches are not in the recording"
    assert any('"searching":["deck"]' in line for line in lines), "the slow searches are not in the recording"
    assert any(line.startswith('{"devicesChanged"') for line in lines), "the device changes are not in the recording"
    assert any(line.startswith('{"recv"') for line in lines)


def test_a_session_flooded_by_a_remote_app_replays_exactly(start_hub, tmp_path, report):
    recording = tmp_path / "flood.jsonl"
    hub = start_hub(args=("/RECORD", wine_path(recording)), listen_ports=PORTS)
    flooded = play_session(hub, flood_seconds=4)
    lines = expect_replayed_byte_for_byte(hub, recording, report, f"with a flood of {flooded} inputs in 4 s")
    received = sum(1 for line in lines if line.startswith('{"recv"'))
    report(f"the flood: {flooded} inputs sent, {received} datagrams taken by the hub and recorded")
    assert received > 100


def dismiss_the_box(hub):
    ok, boxes, error = hub.driver.run("messagebox 20000")
    assert ok, error
    hub.driver.must("dismiss")
    return boxes[0]["text"]


def fail_a_read(hub):
    hub.sim("fail 0 state 1")
    return dismiss_the_box(hub)


# Each way the hub ends: the simulator's configuration, and what ends it once
# it runs (None: it ends by itself, with a message box, before its dialog).
END_PATHS = {
    "escape": (DEFAULT_DECK, lambda hub: hub.driver.must("key escape")),
    "close-box": (DEFAULT_DECK, lambda hub: hub.driver.must("close")),
    "failed-read": (DEFAULT_DECK, fail_a_read),
    "no-stepdeck": ("", None),
    "failed-set-up": (DEFAULT_DECK + "fail = cooplevel\n", None),
}


@pytest.mark.parametrize("end", END_PATHS)
def test_every_way_the_hub_ends_leaves_a_recording_that_replays_exactly(start_hub, tmp_path, report, end):
    config, ending = END_PATHS[end]
    recording = tmp_path / f"{end}.jsonl"
    hub = start_hub(config=config, args=("-record", wine_path(recording)), listen_ports=PORTS)
    if ending is None:
        told = dismiss_the_box(hub)
    else:
        hub.wait_ticking()
        hub.sim("set 0 y -600")
        time.sleep(0.5)
        told = ending(hub)
    assert hub.wait_exit() == 0, hub.diagnosis()
    time.sleep(0.3)
    wire, replay = on_the_wire(hub), replayed(recording)
    assert not replay_differences(wire, replay)
    lines = recording.read_text(encoding="utf-8").splitlines()
    report(f"{end}: {len(lines)} lines, {sum(len(d) for d in wire.values())} datagrams on the wire and replayed"
           + (f"; told {told!r}" if told else ""))


def test_a_path_that_cannot_be_created_is_told_and_the_hub_runs_without(start_hub, tmp_path, report):
    path = wine_path(tmp_path / "no such folder" / "s.jsonl")
    hub = start_hub(args=("-record", path))
    ok, boxes, error = hub.driver.run("messagebox 20000")
    assert ok, error
    assert boxes[0]["caption"] == CAPTION
    text = boxes[0]["text"]
    assert text.startswith("The recording file cannot be created:\r\n" + path + "\r\n") or \
        text.startswith("The recording file cannot be created:\n" + path + "\n"), text
    assert text.endswith("The hub runs without recording."), text
    assert hub.driver.run("find 0")[0] is False, "the dialog came before the message box"
    hub.driver.must("dismiss")
    hub.wait_ticking()
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0
    assert not (tmp_path / "no such folder").exists()
    report(f"message box before the dialog: {text!r}; then the hub ran and ended with 0")


def test_a_disk_that_fills_ends_the_recording_at_a_whole_line_and_the_hub_goes_on(start_hub, tmp_path, report):
    recording = tmp_path / "full.jsonl"
    limit = 6000  # bytes: the disk is full after about a second and a half of walking
    hub = start_hub(args=("-record", wine_path(recording)), listen_ports=PORTS, file_size_limit=limit)
    hub.wait_ticking()
    app = RemoteApp(hub.listeners)
    hub.sim("set 0 y -600")
    deadline = time.time() + 30
    while recording.stat().st_size < limit - 200 and time.time() < deadline:
        time.sleep(0.2)
    time.sleep(1.5)  # the writer meets the full disk
    full_at = time.time()
    hub.sim("set 0 y 300")
    assert hub.driver.wait_text(1011, "89")[0], "the hub stopped ticking" + hub.diagnosis()
    time.sleep(1)
    app.stop()
    ticks_after = len([d for d in hub.listeners.all(STICK_PORT) if d.stamp > full_at])
    hub.driver.must("key escape")
    ok, boxes, error = hub.driver.run("messagebox 20000")
    assert ok, error
    text = boxes[0]["text"]
    assert boxes[0]["caption"] == CAPTION, boxes
    assert text.startswith("The recording stopped early:\n" + wine_path(recording) + "\n"), text
    assert text.endswith("\nThe file holds the session up to that point."), text
    hub.driver.must("dismiss")
    assert hub.wait_exit() == 0
    assert hub.driver.run("messagebox 2000")[0] is False, "told twice"

    contents = recording.read_bytes()
    assert 0 < len(contents) <= limit and contents.endswith(b"\n")
    # What was recorded replays as the start of what went on the wire.
    wire, replay = on_the_wire(hub), replayed(recording)
    for port in PORTS:
        replayed_here = replay.get(port, [])
        assert replayed_here == wire[port][:len(replayed_here)], f"port {port}"
    reason = text.split("\n")[2]
    report(f"file-size limit {limit} bytes: the recording kept {len(contents)} bytes of whole lines "
           f"({len(replay[STICK_PORT])} of {len(wire[STICK_PORT])} ticks), replaying as the start of the session; "
           f"{ticks_after} ticks after the disk was full; at the close: {reason!r}, once; exit status 0")
