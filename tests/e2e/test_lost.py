"""A Stepdeck unplugged while walking, and plugged back: the walk stops at
once and the dialog says so; the hub finds the Stepdeck again on the same
port or another without a restart, and keeps nothing of the lost one. A
lost device is searched for when Windows reports a device change and every
five seconds, off the dialog's thread: a slow enumeration neither stalls the
tick nor the dialog."""

import json
import shutil
import statistics
import subprocess
import time

import pytest

from harness import (DECK_AND_PAD, FEEDER_PORT, STANDING, STICK_PORT, XDRV_PORT, XDRV_STANDING, describe_periods,
                     percentile, press_the_throttle, required_path, stick_periods_ms, wait_until, walking)

TICK_MS = 33
LABEL = 1061
LOST = "Stepdeck lost"


def walk(hub):
    hub.sim("set 0 y -600")
    assert hub.listeners.wait_for(walking, 5, STICK_PORT), "the Stepdeck does not walk" + hub.diagnosis()


def unplug_while_walking(hub):
    """Unplugs the walking Stepdeck and checks that the walk stops at once:
    returns the milliseconds from the unplug to the standing-still datagram."""
    walk(hub)
    sent = time.time()
    hub.unplug()
    applied = time.time()
    standing = hub.listeners.wait_for(lambda d: d == STANDING, 5, STICK_PORT, since=sent)
    assert standing is not None, "no standing-still datagram" + hub.diagnosis()
    # Within one tick period: only a tick that polled before the unplug can
    # still walk.
    late = [d for d in hub.listeners.all(STICK_PORT) if applied <= d.stamp < standing.stamp]
    assert len(late) <= 1, f"{len(late)} walking datagrams after the unplug"
    assert hub.listeners.wait_for(lambda d: d == XDRV_STANDING, 2, XDRV_PORT, since=standing.stamp)
    return (standing.stamp - sent) * 1000


def test_unplugged_while_walking_the_walk_stops_at_once_and_the_dialog_says_so(start_hub, report):
    hub = start_hub()
    hub.wait_ticking()
    assert hub.driver.text(LABEL) == ""
    to_standing = unplug_while_walking(hub)
    assert hub.driver.wait_text(LABEL, LOST) == (True, LOST)
    since = time.time()
    time.sleep(1.5)  # a search runs meanwhile, and finds nothing
    assert hub.listeners.count_after(STICK_PORT, since) == 0
    assert hub.listeners.count_after(XDRV_PORT, since) == 0
    assert hub.stats(0)["plugged"] == "0"
    assert wait_until(lambda: hub.objects_alive()[1] == 0, 2), "the lost Stepdeck was not released"
    report(f"unplug to the standing-still datagram: {to_standing:.0f} ms; nothing sent for 1.5 s after")
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


@pytest.mark.parametrize("new_instance, lost_for", [(True, 1.5), (False, 1.5), (False, 0.3)],
                         ids=["new-instance", "same-instance", "same-instance-at-once"])
def test_plugged_back_the_walk_resumes_within_2_s_with_the_modes_unchanged(start_hub, report, new_instance,
                                                                           lost_for):
    hub = start_hub()
    hub.wait_ticking()
    hub.driver.must("command 1029")  # vJoy mode Skate
    hub.driver.must("command 1032")  # initial speed 120 %
    assert hub.driver.wait_text(1027, "Skate")[0]
    modes = {i: hub.driver.text(i) for i in (1027, 1046, 1032)}
    to_standing = unplug_while_walking(hub)
    time.sleep(lost_for)
    plugged = time.time()
    hub.plug(new_instance=new_instance)
    resumed = hub.listeners.wait_for(walking, 10, STICK_PORT, since=plugged)
    assert resumed is not None, "the walk did not resume" + hub.diagnosis()
    to_walking = (resumed.stamp - plugged) * 1000
    assert to_walking < 2000
    assert hub.driver.wait_text(LABEL, "") == (True, "")
    assert {i: hub.driver.text(i) for i in modes} == modes
    stats = hub.stats(0)
    # A Stepdeck back within a second is acquired again; a later one is
    # found by a search, which set it up anew.
    assert stats["created"] == ("1" if lost_for < 1 else "2")
    assert stats["acquired"] == "1" and stats["format"] == "272" and stats["coop"] == "9"
    # From the first search on, the search's worker keeps a DirectInput object of its own.
    assert hub.objects_alive() == (2 if lost_for < 1 else 3, 1)
    report(f"unplug to standing still {to_standing:.0f} ms; plug to the first walking datagram "
           f"{to_walking:.0f} ms; Stepdeck created {stats['created']} times")
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


@pytest.mark.parametrize("failure, lift", [("fail global enumdevices always", "fail global enumdevices off"),
                                           ("fail 0 dataformat always", "fail 0 dataformat off")],
                         ids=["enumeration", "set-up"])
def test_a_search_that_fails_is_tried_again_at_most_once_a_second_and_never_ends_the_hub(start_hub, report,
                                                                                          failure, lift):
    hub = start_hub()
    hub.wait_ticking()
    unplug_while_walking(hub)
    hub.sim(failure)
    hub.plug(new_instance=True)
    time.sleep(1.2)  # the first search has run
    before = int(hub.stats("global")["enumerations"])
    start = time.time()
    for _ in range(3):  # a device change reported every half second
        time.sleep(0.5)
        hub.unplug()
        time.sleep(0.5)
        hub.plug(new_instance=True)
    time.sleep(0.5)
    searches = int(hub.stats("global")["enumerations"]) - before
    elapsed = time.time() - start
    assert 2 <= searches <= elapsed + 1, f"{searches} searches in {elapsed:.1f} s"
    assert hub.listeners.count_after(STICK_PORT, start) == 0
    assert hub.driver.text(LABEL) == LOST
    assert hub.driver.run("messagebox 0")[0] is False
    assert hub.process.poll() is None
    assert wait_until(lambda: hub.objects_alive()[1] == 0, 2), "a device of a failed search was kept"
    lifted = time.time()
    hub.sim(lift)
    hub.unplug()
    hub.plug(new_instance=True)
    resumed = hub.listeners.wait_for(walking, 10, STICK_PORT, since=lifted)
    assert resumed is not None, "the walk did not resume" + hub.diagnosis()
    report(f"{searches} failed searches in {elapsed:.1f} s with a device change every 0.5 s, no message, the hub "
           f"running; walking again {(resumed.stamp - lifted) * 1000:.0f} ms after the failure was lifted and the "
           f"Stepdeck plugged in once more")
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


def test_fifty_unplug_and_plug_cycles_leave_no_object_behind(start_hub, report):
    hub = start_hub()
    hub.wait_ticking()
    walk(hub)
    alive_at_start = hub.objects_alive()
    to_walking = []
    for cycle in range(50):
        sent = time.time()
        hub.unplug()
        assert hub.listeners.wait_for(lambda d: d == STANDING, 5, STICK_PORT, since=sent), f"cycle {cycle}"
        plugged = time.time()
        hub.plug(new_instance=True)
        resumed = hub.listeners.wait_for(walking, 10, STICK_PORT, since=plugged)
        assert resumed is not None, f"cycle {cycle}: the walk did not resume" + hub.diagnosis()
        to_walking.append((resumed.stamp - plugged) * 1000)
    alive = hub.objects_alive()
    assert alive_at_start == (2, 1)
    assert alive == (3, 1)  # and the search's worker's own
    stats = hub.stats(0)
    assert (stats["created"], stats["instance"]) == ("51", "50")
    report(f"DirectInput and device objects alive after 50 unplug and plug cycles: {alive[0]} and {alive[1]} "
           f"(at start {alive_at_start[0]} and {alive_at_start[1]}); plug to walking median "
           f"{statistics.median(to_walking):.0f} ms, longest {max(to_walking):.0f} ms")
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


def test_unplugged_with_a_pedal_pressed_the_feeder_gets_it_released_and_pressed_again_once_back(start_hub, report):
    hub = start_hub()
    hub.wait_ticking()
    pressed = press_the_throttle(hub)
    sent = time.time()
    hub.unplug()
    released = hub.listeners.wait_for(lambda d: d == pressed[:6] + b"\x00\x00", 5, FEEDER_PORT, since=sent)
    assert released is not None, "the throttle was not released" + hub.diagnosis()
    standing = hub.listeners.wait_for(lambda d: d == STANDING, 1, STICK_PORT, since=sent)
    assert standing is not None and standing.stamp <= released.stamp
    assert released.stamp - sent < 2 * TICK_MS / 1000 + 0.1
    time.sleep(1.5)
    assert hub.listeners.count_after(FEEDER_PORT, released.stamp + 0.001) == 0
    plugged = time.time()
    hub.plug()
    assert hub.listeners.wait_for(lambda d: d == pressed, 5, FEEDER_PORT, since=plugged), \
        "the throttle was not pressed again" + hub.diagnosis()
    report(f"unplug to the feeder's release: {(released.stamp - sent) * 1000:.0f} ms; nothing more to the "
           f"feeder for 1.5 s; pressed again after the plug")
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


ENUMERATION_DELAY_MS = 500


def test_slow_enumerations_for_a_lost_gamepad_neither_stall_the_tick_nor_run_more_than_every_five_seconds(
        start_hub, report):
    hub = start_hub(config=DECK_AND_PAD)
    hub.wait_ticking()
    walk(hub)
    rest_start = time.time()
    time.sleep(5)
    at_rest = stick_periods_ms(hub, rest_start, time.time())
    hub.sim(f"delay enumerate {ENUMERATION_DELAY_MS}")
    before = int(hub.stats("global")["enumerations"])
    start = time.time()
    hub.unplug(1)
    time.sleep(10)
    end = time.time()
    searches = int(hub.stats("global")["enumerations"]) - before
    lost = stick_periods_ms(hub, start, end)
    plugged = time.time()
    hub.plug(1, new_instance=True)
    assert wait_until(lambda: hub.stats(1)["created"] == "2", 5), "the gamepad was not found again"
    found_after = time.time() - plugged
    gap_goal, p99_goal = 100, TICK_MS + 5
    met = {True: "met", False: "missed"}
    report(f"{ENUMERATION_DELAY_MS} ms enumerations: {searches} in {end - start:.1f} s lost without a device change; "
           f"tick period while lost {describe_periods(lost)} (goals: no gap over {gap_goal} ms "
           f"{met[max(lost) <= gap_goal]}, p99 <= {p99_goal} ms {met[percentile(lost, 0.99) <= p99_goal]}); at rest "
           f"{describe_periods(at_rest)}; plugged back, found in {found_after * 1000:.0f} ms")
    assert 1 <= searches <= 3
    # A shared machine stalls a tick now and then with or without searches,
    # by tens of milliseconds; an enumeration on the dialog's thread would
    # stall it for the whole delay.
    assert max(lost) < ENUMERATION_DELAY_MS / 2
    assert percentile(lost, 0.99) <= max(p99_goal, percentile(at_rest, 0.99) + TICK_MS)
    assert found_after < 1 + ENUMERATION_DELAY_MS / 1000
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


def test_slow_enumerations_the_stepdeck_plugged_back_walks_within_a_second_and_the_dialog_answers_throughout(
        start_hub, report):
    hub = start_hub()
    hub.wait_ticking()
    hub.sim(f"delay enumerate {ENUMERATION_DELAY_MS}")
    unplug_while_walking(hub)
    lost_at = time.time()
    answers = []
    while time.time() < lost_at + 1.8:  # the first search runs from about 1 s on
        asked = time.time()
        assert hub.driver.text(LABEL) == LOST
        answers.append((time.time() - asked) * 1000)
    plugged = time.time()
    hub.plug(new_instance=True)
    resumed = hub.listeners.wait_for(walking, 10, STICK_PORT, since=plugged)
    assert resumed is not None, "the walk did not resume" + hub.diagnosis()
    to_walking = (resumed.stamp - plugged) * 1000
    report(f"{ENUMERATION_DELAY_MS} ms enumerations: plug to the first walking datagram {to_walking:.0f} ms; the "
           f"dialog answered {len(answers)} reads while lost, longest {max(answers):.0f} ms, median "
           f"{statistics.median(answers):.0f} ms")
    assert to_walking < 1000 + ENUMERATION_DELAY_MS + TICK_MS
    assert max(answers) < ENUMERATION_DELAY_MS / 2
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


def test_the_hub_ends_during_a_slow_search_after_at_most_that_enumeration(start_hub, report):
    hub = start_hub(config=DECK_AND_PAD)
    hub.wait_ticking()
    delay_s = 3
    hub.sim(f"delay enumerate {delay_s * 1000}")
    hub.unplug(1)
    time.sleep(1.5)  # the search that started a second after the loss runs
    pressed = time.time()
    hub.driver.must("key escape")
    status = hub.wait_exit(timeout=delay_s + 10)
    ended = time.time() - pressed
    report(f"Escape {1.5 - 1:.1f} s into a {delay_s} s enumeration: the process ended {ended * 1000:.0f} ms later, "
           f"status {status}")
    assert status == 0
    assert ended < delay_s + 2  # Wine takes its time to end a process


def test_one_search_costs_microseconds_with_the_simulator(wine, report):
    program = wine.program_dir / "search-cost.exe"
    shutil.copy2(required_path("SEARCH_COST"), program)
    env = dict(wine.env, STEPDECK_SIM_PORT="0")
    run = subprocess.run(["wine", str(program), "1000"], env=env, cwd=wine.program_dir, capture_output=True,
                         text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    cost = json.loads(run.stdout)
    found, none = cost["finds_the_stepdeck"], cost["finds_nothing"]
    report(f"the dialog's thread's share of one search that finds the Stepdeck: median {found['median_ms']:.4f} ms, "
           f"99th percentile {found['p99_ms']:.4f} ms, longest {found['max_ms']:.3f} ms; of one that finds nothing: "
           f"median {none['median_ms']:.4f} ms, longest {none['max_ms']:.3f} ms ({found['searches']} each)")
    assert found["median_ms"] < TICK_MS
