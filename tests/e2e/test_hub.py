"""hub.exe under Wine with the simulated Stepdeck: what it sends, what its
dialog shows, how it ends."""

import re
import shutil
import struct
import subprocess
import time

import pytest

from harness import (DEFAULT_DECK, FEEDER_PORT, GREETING, HUB_TITLE, STANDING, STICK_PORT, STOP, XDRV_GREETING,
                     XDRV_PORT, XDRV_STANDING, press_the_throttle)

STICK_AT_REST = bytes([0x2A, 0x80, 0x2B, 0x80, 0x00])
SETUP_CAPTION = "VR Stepdeck monitor"
READ_CAPTION = "VR Stepdeck Monitor"
NOT_FOUND = "Stepdeck not found. The application will now exit."
SETUP_FAILED = "Error Initializing DirectInput"
READ_FAILED = "Error Reading Input State. The app will now exit."

PAD = """
[device]
name = {name}
vendor = 0x045E
product = 0x028E
usage = 5
objects = x y z rx ry button button button button button button button button
"""


def devices(*sections):
    return "".join(sections)


def stick(x, y):
    return bytes([0x2A, x, 0x2B, y, 0x00])


def xdrv_values(data):
    return struct.unpack_from("<ff", data, 8)


def end_with_escape(hub):
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


def stop_datagrams(hub):
    return [d for d in hub.listeners.all(FEEDER_PORT) if d.data == STOP]


def test_greetings_go_out_in_order_before_the_first_tick(start_hub):
    hub = start_hub()
    hub.wait_ticking()
    stick_first = hub.listeners.all(STICK_PORT)[0]
    xdrv_first = hub.listeners.all(XDRV_PORT)[0]
    feeder_first = hub.listeners.all(FEEDER_PORT)[0]
    assert stick_first.data == GREETING
    assert xdrv_first.data == XDRV_GREETING
    assert feeder_first.data == GREETING
    assert stick_first.stamp < xdrv_first.stamp < feeder_first.stamp
    first_tick = hub.listeners.all(STICK_PORT)[1]
    assert first_tick.stamp > feeder_first.stamp
    end_with_escape(hub)


def test_every_tick_sends_what_the_stepdeck_reports(start_hub):
    hub = start_hub()
    hub.wait_ticking()
    time.sleep(0.3)
    assert hub.listeners.all(STICK_PORT)[-1].data == STICK_AT_REST
    rest_xdrv = hub.listeners.all(XDRV_PORT)[-1].data
    assert len(rest_xdrv) == 28 and rest_xdrv[:8] == XDRV_GREETING[:8] and rest_xdrv[16:] == XDRV_GREETING[16:]
    assert xdrv_values(rest_xdrv) == (0.0, 0.0)

    # Weight forward: lY -600 is eased in and settles at Y = 0.6, byte 204.
    hub.sim("set 0 y -600")
    assert hub.listeners.wait_for(lambda d: d == stick(0x80, 204), 5, STICK_PORT)
    assert hub.listeners.wait_for(lambda d: abs(xdrv_values(d)[1] - 0.6) < 1e-6, 5, XDRV_PORT)
    assert hub.driver.wait_text(1011, "204") == (True, "204")
    assert hub.driver.text(1048) == "204"

    # Right: X 0.5 is byte 192; touch buttons 0 and 3 show X O O X.
    hub.sim("set 0 x 500 b0 1 b3 1")
    assert hub.listeners.wait_for(lambda d: d == stick(192, 204), 5, STICK_PORT)
    assert hub.driver.wait_text(1041, "XOOX")[0]

    # Back to rest, and about one datagram of each kind every 33 ms.
    since = time.time()
    hub.sim("reset 0")
    assert hub.listeners.wait_for(lambda d: d == STICK_AT_REST, 5, STICK_PORT, since=since)
    since = time.time()
    time.sleep(2.0)
    sent = hub.listeners.count_after(STICK_PORT, since)
    assert 45 <= sent <= 70, sent
    assert abs(hub.listeners.count_after(XDRV_PORT, since) - sent) <= 2
    assert hub.listeners.all(STICK_PORT)[-1].data == STICK_AT_REST
    end_with_escape(hub)


def test_the_dialog_shows_the_template_with_the_labels_of_the_stepdecks_axes(start_hub):
    hub = start_hub()
    hub.wait_ticking()
    assert hub.driver.wait_text(1046, "Normal")[0]
    window = hub.driver.must("find")[0]
    assert window["title"] == HUB_TITLE
    controls = hub.driver.must("read")
    by_id = {c["id"]: c for c in controls}
    texts = {c["text"] for c in controls}

    for text in ["Get data from Stepdeck and generate controls for applications", "Stepdeck inputs",
                 "Remote app inputs", "vjoy mode", "Locomotion-SteamVR+VDXR", "Touch State:", "x:", "y:",
                 "Steering wheel:", "Buttons: A B X Y T1 T2", "Throttle:", "Brake:", "Initial spd adj",
                 "spd adj", "Gamepad:"]:
        assert text in texts, text
    expected = {
        1045: "Start vjoy feeder", 1029: "Switch mode", 1034: "Switch mode", 1032: "100%", 1038: "100%",
        1051: "RH Stick", 1013: "Joystick X:", 1014: "Joystick Y:", 1015: "Heading RF:", 1016: "Tilt RF:",
        1017: "Heading LF:", 1018: "Tilt LF:", 1024: "Status: no remote app connected", 1050: "Steering:",
        1027: "4-way-mov", 1046: "Normal", 1010: "128", 1011: "128", 1041: "OOOO",
    }
    for control_id, text in expected.items():
        assert by_id[control_id]["text"] == text, control_id

    six_axes = [1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017, 1018, 1020, 1021, 1022]
    no_sliders_or_povs = [1030, 1031, 1040, 1042, 1043, 1044]
    assert all(by_id[i]["enabled"] for i in six_axes)
    assert not any(by_id[i]["enabled"] for i in no_sliders_or_povs)
    assert [by_id[i]["enabled"] for i in (1032, 1038, 1029, 1034, 1045, 1051)] == [True, False, True, True,
                                                                                   True, True]

    # Layout in dialog units: the base units from control 1024 (171 wide).
    unit_x = by_id[1024]["rect"][2] / 171
    unit_y = by_id[1045]["rect"][3] / 14
    assert abs(window["client"][0] - 249 * unit_x) <= 3 and abs(window["client"][1] - 213 * unit_y) <= 3
    for control_id, (x, y, w, h) in {1045: (181, 171, 62, 14), 1032: (70, 138, 38, 14),
                                     1038: (59, 154, 50, 14), 1060: (169, 141, 72, 8),
                                     1013: (18, 38, 50, 8), 1051: (202, 122, 41, 14)}.items():
        rect = by_id[control_id]["rect"]
        assert abs(rect[0] - x * unit_x) <= 2 and abs(rect[1] - y * unit_y) <= 2, control_id
        assert abs(rect[2] - w * unit_x) <= 2 and abs(rect[3] - h * unit_y) <= 2, control_id
    assert by_id[1040]["rect"][0] > window["client"][0]  # the POV values lie outside
    end_with_escape(hub)


@pytest.mark.parametrize("objects, enabled", [
    ("x y button button button button", [1010, 1011, 1013, 1014]),
    ("x y z rx ry rz slider slider pov pov pov pov", [1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017,
                                                          1018, 1020, 1021, 1022, 1030, 1031, 1040, 1042,
                                                          1043, 1044]),
])
def test_only_the_objects_the_stepdeck_reports_enable_their_labels(start_hub, objects, enabled):
    hub = start_hub(config=f"[device]\nname = Stepdeck\nobjects = {objects}\n")
    hub.wait_ticking()
    watched = [1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017, 1018, 1020, 1021, 1022,
               1030, 1031, 1040, 1042, 1043, 1044]
    controls = hub.driver.controls(*watched)
    assert sorted(i for i in watched if controls[i]["enabled"]) == enabled
    end_with_escape(hub)


def test_a_range_that_cannot_be_set_stops_the_labels_at_that_axis(start_hub):
    hub = start_hub(config=DEFAULT_DECK + "fail = range always after 2\n")
    hub.wait_ticking()
    controls = hub.driver.controls(1013, 1014, 1015, 1016)
    assert [controls[i]["enabled"] for i in (1013, 1014, 1015, 1016)] == [True, True, False, False]
    assert hub.stats(0)["ranges"] == "2"
    end_with_escape(hub)


def test_the_hub_sets_the_stepdeck_up_as_it_must(start_hub):
    hub = start_hub(config=devices(DEFAULT_DECK, PAD.format(name="Pad")))
    hub.wait_ticking()
    deck, pad = hub.stats(0), hub.stats(1)
    assert (deck["format"], deck["coop"], deck["ranges"], deck["range"]) == ("272", "9", "6", "-1000,1000")
    assert (pad["format"], pad["coop"], pad["range"]) == ("272", "10", "-1000,1000")
    assert deck["acquired"] == "1" and pad["acquired"] == "1"
    end_with_escape(hub)


def test_the_locomotion_and_speed_buttons_switch_modes_and_labels(start_hub):
    hub = start_hub()
    hub.wait_ticking()
    d = hub.driver
    d.must("command 1032")
    assert d.text(1032) == "120%"
    d.must("command 1034")  # Normal -> Advanced
    controls = d.controls(1032, 1038)
    assert (controls[1032]["text"], controls[1038]["text"]) == ("85%", "110%")
    assert controls[1032]["enabled"] and controls[1038]["enabled"]
    assert d.wait_text(1046, "Advanced")[0]
    d.must("command 1038")
    assert d.text(1038) == "130%"
    d.must("command 1034")  # Advanced -> Seated
    controls = d.controls(1032, 1038)
    assert controls[1032]["text"] == "100%"
    assert not controls[1032]["enabled"] and not controls[1038]["enabled"]
    assert d.wait_text(1046, "Seated")[0]
    d.must("command 1034")  # Seated -> Seated 2
    assert d.wait_text(1046, "Seated 2")[0]
    d.must("command 1034")  # Seated 2 -> Normal
    controls = d.controls(1032, 1038)
    assert controls[1032]["enabled"] and not controls[1038]["enabled"]
    assert d.wait_text(1046, "Normal")[0]
    end_with_escape(hub)


def test_the_vjoy_mode_button_cycles_the_modes_and_their_labels(start_hub):
    hub = start_hub()
    hub.wait_ticking()
    d = hub.driver
    # Biking's own stage rewrites the caption at once ("Steering:" at rest).
    steps = [("Skate", "Steering:", "RH Stick"), ("Diff. Pedal n Brake", "Steering:", "RH Stick"),
             ("Flight Sim", "Steering:", "100%"), ("Biking", None, "100%"),
             ("4-way-mov", "Steering:", "110%")]  # leaving Biking keeps its label
    for name, caption, button in steps:
        d.must("command 1029")
        assert d.wait_text(1027, name)[0], name
        assert caption is None or d.text(1050) == caption
        assert d.text(1051) == button
        if name in ("Flight Sim", "Biking"):
            d.must("command 1051")
            assert d.text(1051) == "110%"
    end_with_escape(hub)


# The calls that keep the 33 ms on a real Windows PC. Wine's timers are exact
# whatever a program asks, so the period cannot show them: Wine's relay trace
# of these functions alone does (the import table would show timeBeginPeriod
# but not when it is called, and SetProcessInformation is looked up at run
# time). kernel32 may hand SetProcessInformation on to kernelbase.
RELAYED = ["winmm.timeBeginPeriod", "winmm.timeEndPeriod", "kernel32.SetProcessInformation",
           "kernelbase.SetProcessInformation", "user32.SetTimer", "user32.KillTimer"]
PROCESS_POWER_THROTTLING = 4  # the information class
THROTTLING_STATE_SIZE = 12    # version, control mask, state mask


def relayed_calls(trace):
    """(function, [arguments]) of every call in a relay trace, in order."""
    calls = []
    for match in re.finditer(r":Call (\w+)\.(\w+)\(([^)]*)\)", trace):
        arguments = [int(a, 16) for a in match.group(3).split(",") if a]
        calls.append((match.group(2), arguments))
    return calls


def test_the_hub_asks_for_a_1_ms_timer_while_its_timer_runs_and_not_to_be_throttled(start_hub, wine, report):
    debug_key = r"HKCU\Software\Wine\Debug"
    subprocess.run(["wine", "reg", "add", debug_key, "/v", "RelayInclude", "/d", ";".join(RELAYED), "/f"],
                   env=wine.env, check=True, timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        hub = start_hub(extra_env={"WINEDEBUG": "+relay"})
        hub.wait_ticking()
        end_with_escape(hub)
    finally:
        subprocess.run(["wine", "reg", "delete", debug_key, "/v", "RelayInclude", "/f"], env=wine.env, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    calls = relayed_calls(hub.stderr_path.read_text(errors="replace"))
    # The dialog's own timer: id 0, 33 ms, no callback; other components' timers are not the hub's.
    the_hubs = [(name, args) for name, args in calls
                if name not in ("SetTimer", "KillTimer") or args[1] == 0 and (name == "KillTimer" or args[2:] == [33, 0])]
    report("relayed: " + "; ".join(f"{name}({', '.join(hex(a) for a in args)})" for name, args in the_hubs))
    names = [name for name, _ in the_hubs]
    assert names == ["timeBeginPeriod", "SetProcessInformation", "SetTimer", "KillTimer", "timeEndPeriod"], names
    assert the_hubs[0][1] == [1] and the_hubs[4][1] == [1]
    process, information_class, _, size = the_hubs[1][1]
    assert process == 0xFFFFFFFFFFFFFFFF  # the current process
    assert (information_class, size) == (PROCESS_POWER_THROTTLING, THROTTLING_STATE_SIZE)


@pytest.mark.parametrize("how", ["key escape", "close"])
def test_escape_and_the_close_box_bring_the_consumers_to_rest_stop_the_feeder_and_exit_0(start_hub, how):
    hub = start_hub()
    hub.wait_ticking()
    pressed = press_the_throttle(hub)
    hub.sim("set 0 y -600")  # and walking
    assert hub.listeners.wait_for(lambda d: d == bytes([0x2A, 0x80, 0x2B, 0xCC, 0x00]), 5, STICK_PORT)
    hub.driver.must(how)
    assert hub.wait_exit() == 0
    stops = stop_datagrams(hub)
    assert len(stops) == 1
    last = [(d.port, d.data) for d in hub.listeners.all() if d.stamp > stops[0].stamp - 0.5][-4:]
    assert last == [(STICK_PORT, STANDING), (XDRV_PORT, XDRV_STANDING),
                    (FEEDER_PORT, pressed[:6] + b"\x00\x00"), (FEEDER_PORT, STOP)]


@pytest.mark.parametrize("config", [
    "",  # no game controller at all
    PAD.format(name="Pad"),  # only a gamepad
    DEFAULT_DECK.replace("[device]", "[device]\nusage = 8"),  # the identity with another usage
    DEFAULT_DECK.replace("[device]", "[device]\nproduct = 0x0001"),  # another product
], ids=["nothing", "only-a-gamepad", "usage-8", "other-product"])
def test_without_a_stepdeck_the_hub_stops_the_feeder_says_so_and_exits_0(start_hub, config):
    hub = start_hub(config=config)
    ok, boxes, error = hub.driver.run("messagebox 20000")
    assert ok, error
    assert boxes[0] == {"caption": SETUP_CAPTION, "text": NOT_FOUND}
    assert hub.listeners.wait_for(lambda d: d == STOP, 5, FEEDER_PORT)
    assert hub.driver.text(1060) == "None"
    hub.driver.must("dismiss")
    assert hub.wait_exit() == 0
    assert [d.data for d in hub.listeners.all(STICK_PORT)] == [GREETING]


@pytest.mark.parametrize("failure", [
    "fail = directinput",
    "fail = enumdevices",
    "[device]\nfail = dataformat",
    "[device]\nfail = cooplevel",
    "[device]\nfail = enumobjects",
])
def test_a_failed_device_set_up_says_so_and_exits_0(start_hub, failure):
    if failure.startswith("[device]"):
        config = DEFAULT_DECK + failure.split("\n", 1)[1] + "\n"
    else:
        config = failure + "\n" + DEFAULT_DECK
    hub = start_hub(config=config)
    ok, boxes, error = hub.driver.run("messagebox 20000")
    assert ok, error
    assert boxes[0] == {"caption": SETUP_CAPTION, "text": SETUP_FAILED}
    hub.driver.must("dismiss")
    assert hub.wait_exit() == 0
    assert stop_datagrams(hub) == []
    assert [d.data for d in hub.listeners.all(STICK_PORT)] == [GREETING]


def test_a_failed_read_stops_the_feeder_says_so_and_exits_0(start_hub):
    hub = start_hub()
    hub.wait_ticking()
    hub.sim("fail 0 state 1")
    ok, boxes, error = hub.driver.run("messagebox 10000")
    assert ok, error
    assert boxes[0] == {"caption": READ_CAPTION, "text": READ_FAILED}
    assert hub.listeners.wait_for(lambda d: d == STOP, 5, FEEDER_PORT)
    ticks_while_shown = len(hub.listeners.all(STICK_PORT))
    time.sleep(0.3)
    assert len(hub.listeners.all(STICK_PORT)) == ticks_while_shown  # the timer was stopped
    hub.driver.must("dismiss")
    assert hub.wait_exit() == 0


def test_a_lost_stepdeck_is_acquired_again_and_the_ticks_resume(start_hub):
    hub = start_hub()
    hub.wait_ticking()
    acquires = int(hub.stats(0)["acquires"])
    hub.sim("fail 0 poll 3")
    time.sleep(0.5)
    assert int(hub.stats(0)["acquires"]) >= acquires + 3
    since = time.time()
    time.sleep(0.5)
    assert hub.listeners.count_after(STICK_PORT, since) >= 10
    assert hub.driver.run("messagebox 0")[0] is False
    end_with_escape(hub)


def test_a_stepdeck_that_stays_lost_leaves_the_dialog_responsive(start_hub):
    hub = start_hub()
    hub.wait_ticking()
    hub.sim("fail 0 acquire always")
    hub.sim("fail 0 poll 1")
    time.sleep(0.3)
    hub.driver.must("command 1032")
    assert hub.driver.text(1032) == "120%"
    since = time.time()
    time.sleep(0.3)
    assert hub.listeners.count_after(STICK_PORT, since) == 0
    since = time.time()
    hub.sim("fail 0 acquire off")
    assert hub.listeners.wait_for(lambda d: d == STICK_AT_REST, 3, STICK_PORT, since=since)
    end_with_escape(hub)


@pytest.mark.parametrize("pads, shown", [
    ([], "Not available"),
    (["Pädchen Ωmega Pro"], "Pädchen Ωmega Pro"),  # kept exactly as DirectInput gives it
    (["vJoy Device"], "Not available"),
    (["vJoy Device", "VJOY Pedals"], "VJOY Pedals"),
], ids=["none", "non-ascii", "vjoy", "vjoy-then-other-case"])
def test_the_gamepad_name_after_activation(start_hub, pads, shown):
    hub = start_hub(config=devices(DEFAULT_DECK, *(PAD.format(name=name) for name in pads)))
    hub.wait_ticking()
    assert hub.driver.wait_text(1060, shown) == (True, shown)
    end_with_escape(hub)


def test_a_gamepad_that_cannot_be_configured_is_dropped(start_hub):
    hub = start_hub(config=devices(DEFAULT_DECK, PAD.format(name="Pad") + "fail = dataformat\n"))
    hub.wait_ticking()
    assert hub.driver.wait_text(1060, "Not available")[0]
    end_with_escape(hub)


def test_without_a_second_directinput_there_is_no_gamepad(start_hub):
    config = "fail = directinput 1 after 1\n" + devices(DEFAULT_DECK, PAD.format(name="Pad"))
    hub = start_hub(config=config)
    hub.wait_ticking()
    assert hub.driver.wait_text(1060, "Not available")[0]
    end_with_escape(hub)


def test_a_stepdeck_identity_with_another_usage_is_never_chosen(start_hub):
    other_usage = DEFAULT_DECK.replace("name = Stepdeck", "name = Deck usage 8\nusage = 8")
    deck_b = DEFAULT_DECK.replace("name = Stepdeck", "name = Deck B\nusage = 5")
    hub = start_hub(config=devices(other_usage, deck_b))
    hub.wait_ticking()
    assert hub.stats(0)["created"] == "0"
    assert hub.stats(1)["created"] == "1"
    assert hub.driver.wait_text(1060, "Not available")[0]
    hub.sim("set 0 y -600")
    hub.sim("set 1 x 500")
    assert hub.listeners.wait_for(lambda d: d == stick(192, 0x80), 5, STICK_PORT)
    end_with_escape(hub)


def test_of_two_stepdecks_the_first_is_read_and_the_second_is_no_gamepad(start_hub):
    deck_a = DEFAULT_DECK.replace("name = Stepdeck", "name = Deck A")
    deck_b = DEFAULT_DECK.replace("name = Stepdeck", "name = Deck B")
    hub = start_hub(config=devices(deck_a, deck_b))
    hub.wait_ticking()
    assert (hub.stats(0)["created"], hub.stats(1)["created"]) == ("1", "0")
    assert hub.driver.wait_text(1060, "Not available")[0]
    hub.sim("set 1 y -600")
    hub.sim("set 0 y 600")
    assert hub.listeners.wait_for(lambda d: d == stick(0x80, 51), 5, STICK_PORT)
    end_with_escape(hub)


def test_when_the_first_stepdeck_cannot_be_created_the_second_is_read(start_hub):
    deck_a = DEFAULT_DECK.replace("name = Stepdeck", "name = Deck A") + "fail = create\n"
    deck_b = DEFAULT_DECK.replace("name = Stepdeck", "name = Deck B")
    hub = start_hub(config=devices(deck_a, deck_b))
    hub.wait_ticking()
    assert hub.stats(1)["created"] == "1"
    end_with_escape(hub)


@pytest.mark.parametrize("switch", ["-noxinput", "/NoXInput"])
def test_the_noxinput_switch_still_finds_the_stepdeck(start_hub, switch):
    hub = start_hub(config=devices(DEFAULT_DECK, PAD.format(name="Pad")), args=[switch])
    hub.wait_ticking()
    hub.sim("set 0 y -600")
    assert hub.listeners.wait_for(lambda d: d == stick(0x80, 204), 5, STICK_PORT)
    assert hub.driver.wait_text(1060, "Pad")[0]
    end_with_escape(hub)


def test_a_screenshot_shows_the_running_dialog_with_live_values(start_hub, wine):
    hub = start_hub(config=devices(DEFAULT_DECK, PAD.format(name="Pädchen Pro")))
    hub.wait_ticking()
    hub.sim("set 0 x 300 y -600 z 400 rx -200 ry 150 rz 250 b0 1 b3 1")
    assert hub.driver.wait_text(1011, "204")[0]
    assert hub.driver.wait_text(1060, "Pädchen Pro")[0]
    assert hub.driver.wait_text(1041, "XOOX")[0]
    window = hub.driver.must("find")[0]
    path = wine.artifacts / "dialog.png"
    wine.screenshot(path, window["window"])
    colours = subprocess.run(["identify", "-format", "%k", str(path)], capture_output=True, text=True,
                             check=True).stdout
    assert int(colours) > 8, "the screenshot is nearly blank"
    end_with_escape(hub)


def test_enter_starts_the_feeder_beside_the_program_even_in_a_folder_with_spaces(start_hub, wine):
    # The feeder here is sim-probe with the simulator beside it: once started,
    # it loads the simulator, which writes "loaded" into the shared log.
    folder = wine.artifacts / "Program Files" / "Stepdeck Hub"
    (folder / "feeder").mkdir(parents=True, exist_ok=True)
    shutil.copy2(wine.hub_exe, folder / "hub.exe")
    shutil.copy2(wine.sim_dll, folder / "dinput8.dll")
    shutil.copy2(wine.probe_exe, folder / "feeder" / "vJoyFeeder.exe")
    shutil.copy2(wine.sim_dll, folder / "feeder" / "dinput8.dll")
    hub = start_hub(program_dir=folder)
    hub.wait_ticking()
    loads = lambda: hub.log_path.read_text().count(" loaded: ")
    assert loads() == 1
    hub.driver.must("key enter")
    deadline = time.time() + 15
    while loads() < 2 and time.time() < deadline:
        time.sleep(0.1)
    assert loads() == 2, "the feeder did not start" + hub.diagnosis()
    end_with_escape(hub)
