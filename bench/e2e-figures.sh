#!/usr/bin/env bash
# End-to-end figures of hub.exe under Wine with the simulated Stepdeck:
# start-up times, input-to-wire latency, the tick period, CPU at rest and in
# steady motion against the floor program, and memory over a long run.
#
#   bench/e2e-figures.sh BUILD_DIR [--quick]
#
# BUILD_DIR is a Windows build (bin/hub.exe, bin/stepdeck-floor.exe,
# bin/simulator/dinput8.dll, bin/dialog-driver.exe, bin/sim-probe.exe). The
# full run takes about 15 minutes (10 of them the memory run); --quick takes
# about 3 with small samples, to try the script. Everything goes to
# BUILD_DIR/e2e-figures: figures.json, the CPU reports, summary.txt.
# Nothing else may use the ports 45040 to 45045 meanwhile.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [--quick]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
quick=${2:-}
out=$build/e2e-figures
mkdir -p "$out"

if [ "$quick" = --quick ]; then
  cpu_seconds=10
  figures_args=(--starts 2 --changes 40 --period-seconds 10 --memory-minutes 1.5 --sample-seconds 20)
else
  cpu_seconds=60
  figures_args=()
fi

{
  echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GB"
  echo "system:  $(uname -sr), $(wine --version 2>/dev/null)"
} >"$out/machine.txt"

echo "==== CPU at rest, hub.exe against the floor program (${cpu_seconds} s)"
"$here/cpu-at-rest.sh" "$build" "$cpu_seconds" | tee "$out/cpu-rest.txt"
echo "==== CPU in steady motion (bench/steady-motion.txt, ${cpu_seconds} s)"
"$here/cpu-at-rest.sh" "$build" "$cpu_seconds" "$here/steady-motion.txt" | tee "$out/cpu-motion.txt"

echo "==== start-up, latency, tick period, memory"
export HUB_EXE="$build/bin/hub.exe" SIM_DLL="$build/bin/simulator/dinput8.dll"
export DIALOG_DRIVER="$build/bin/dialog-driver.exe" SIM_PROBE="$build/bin/sim-probe.exe"
export EXIT_CODE="$build/bin/exit-code.exe"
export E2E_ARTIFACTS="$out/session"
unset WINEPREFIX DISPLAY
/usr/bin/python3 "$here/e2e_figures.py" "${figures_args[@]}" --json "$out/figures.json" >"$out/figures.log"

/usr/bin/python3 - "$out" <<'PY' | tee "$out/summary.txt"
import json, sys
from pathlib import Path
out = Path(sys.argv[1])
f = json.loads((out / "figures.json").read_text())
def ratio(name):
    line = [l for l in (out / name).read_text().splitlines() if l.startswith("ratio")]
    return float(line[0].split()[-1]) if line else float("nan")
print((out / "machine.txt").read_text().rstrip())
s = f["start_up"]
print(f"start to greeting on 45040: median {s['greeting_ms']['median']:.0f} ms (max {s['greeting_ms']['max']:.0f}) "
      f"over {s['greeting_ms']['count']} starts")
print(f"start to dialog shown:      median {s['dialog_shown_ms']['median']:.0f} ms (max {s['dialog_shown_ms']['max']:.0f})")
print(f"start to first tick:        median {s['first_tick_ms']['median']:.0f} ms (max {s['first_tick_ms']['max']:.0f})")
l, p = f["latency_ms"], f["period_ms"]
goal = p["median"] + 5
print(f"input-to-wire latency:      median {l['median']:.1f} ms, 99th percentile {l['p99']:.1f} ms, max {l['max']:.1f} ms "
      f"over {l['count']} changes; goal p99 <= {goal:.1f} ms: {'met' if l['p99'] <= goal else 'MISSED'}")
print(f"tick period:                median {p['median']:.2f} ms, 99th percentile {p['p99']:.2f} ms, "
      f"min {p['min']:.2f}, max {p['max']:.2f} over {p['count']} periods")
rest, motion = ratio("cpu-rest.txt"), ratio("cpu-motion.txt")
print(f"CPU hub / floor at rest:    {rest:.2f}; goal <= 1.2: {'met' if rest <= 1.2 else 'MISSED'}")
print(f"CPU hub / floor in motion:  {motion:.2f}")
m = f["memory"]
print("memory (s: resident KiB / private KiB): " + ", ".join(
    f"{x['at_s']}: {x['rss_kb']}/{x['private_kb']}" for x in m["samples"]))
grew = m["rss_growth_after_first_minute_kb"] > 0 or m["private_growth_after_first_minute_kb"] > 0
print(f"growth after the first minute: resident {m['rss_growth_after_first_minute_kb']} KiB, "
      f"private {m['private_growth_after_first_minute_kb']} KiB; goal none: {'MISSED' if grew else 'met'} "
      f"({m['ticks']} ticks, {m['status_datagrams']} status and {m['feeder_datagrams']} feeder datagrams, "
      f"{m['button_presses']} button presses)")
PY
