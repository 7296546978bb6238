#!/usr/bin/env python3
"""What a lost device's searches cost the tick, under Wine with the simulator
made to take DELAY ms per enumeration: the Stepdeck walks while the gamepad
is unplugged for SECONDS without any other device change; then the gamepad
is plugged back, and last the Stepdeck is unplugged for 2 s and plugged back.
Prints, as JSON, the stick datagrams' periods while the gamepad is lost (the
longest gap and the 99th percentile), the enumerations in that time and per
minute, plug to the gamepad set up again and plug to the first walking
datagram. Needs what tests/e2e/run.sh sets (HUB_EXE, SIM_DLL, DIALOG_DRIVER,
SIM_PROBE, EXIT_CODE, E2E_ARTIFACTS), so a hub.exe of another build can be
measured against the same simulator.

    lost_search.py [--delay MS] [--seconds S]"""

import argparse
import json
import os
import statistics
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
from harness import (DECK_AND_PAD, STICK_PORT, HubRun, WineSession, percentile, stick_periods_ms,  # noqa: E402
                     wait_until, walking)

def enumerations(hub):
    return int(hub.stats("global")["enumerations"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--delay", type=int, default=500, help="milliseconds per enumeration")
    parser.add_argument("--seconds", type=float, default=60, help="how long the gamepad stays unplugged")
    args = parser.parse_args()
    session = WineSession(Path(os.environ.get("E2E_ARTIFACTS", "build/e2e-artifacts")))
    session.start()
    try:
        with tempfile.TemporaryDirectory() as work:
            hub = HubRun(session, work, config=DECK_AND_PAD)
            hub.wait_ticking()
            hub.sim("set 0 y -600")
            assert hub.listeners.wait_for(walking, 5, STICK_PORT), "the Stepdeck does not walk"
            hub.sim(f"delay enumerate {args.delay}")
            time.sleep(1)
            before = enumerations(hub)
            start = time.time()
            hub.unplug(1)
            time.sleep(args.seconds)
            end = time.time()
            searched = enumerations(hub) - before
            periods = stick_periods_ms(hub, start, end)
            plugged = time.time()
            hub.plug(1, new_instance=True)
            found = wait_until(lambda: hub.stats(1)["created"] == "2", 10, step=0.01)
            pad_found_ms = (time.time() - plugged) * 1000 if found else None
            hub.unplug(0)
            time.sleep(2)
            plugged = time.time()
            hub.plug(0, new_instance=True)
            resumed = hub.listeners.wait_for(walking, 15, STICK_PORT, since=plugged)
            figures = {
                "enumeration_delay_ms": args.delay,
                "gamepad_lost_s": round(end - start, 1),
                "stick_periods": {"count": len(periods), "median_ms": round(statistics.median(periods), 1),
                                  "p99_ms": round(percentile(periods, 0.99), 1), "longest_ms": round(max(periods), 1)},
                "enumerations": searched,
                "enumerations_per_minute": round(searched * 60 / (end - start), 1),
                "plug_to_gamepad_set_up_ms": round(pad_found_ms) if pad_found_ms else None,
                "plug_to_first_walking_datagram_ms": round((resumed.stamp - plugged) * 1000) if resumed else None,
            }
            print(json.dumps(figures))
            hub.driver.must("key escape")
            hub.wait_exit()
            hub.end()
    finally:
        session.stop()


if __name__ == "__main__":
    main()
