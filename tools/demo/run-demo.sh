#!/usr/bin/env bash
# The hub's demonstration on a Linux machine, in about 40 seconds once built:
# hub.exe runs under Wine with the simulated Stepdeck, and tools/demo/play.py
# plays tools/demo/demo-script.txt on it: leaning in Normal, stepping in place
# in Advanced (the speed follows the cadence and stops when the feet stand
# still), Seated, and the vJoy mode "Diff. Pedal n Brake" with the feeder
# enabled; at the end it closes the hub with Escape, as a user would. A live
# decode of every datagram the hub sends runs beside the narration.
#
#   tools/demo/run-demo.sh [--docs]
#
# The dialog shows on $DISPLAY when there is one, else on a private Xvfb
# inside a Wine virtual desktop, which draws the window's frame. Left in
# build/windows/demo: a screenshot of the dialog per phase (screenshots/),
# and the session as a hub-replay script with its plot (session-plot.svg).
# --docs also copies the Advanced screenshot to docs/dialog.png, the README's.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

bash tools/install-deps.sh

# DEMO_BUILD_DIR: an already configured Windows build to use instead of the preset's.
build=${DEMO_BUILD_DIR:-$root/build/windows}
echo "==== building hub.exe, the simulator and the dialog driver in $build, hub-replay natively"
[ -n "${DEMO_BUILD_DIR:-}" ] || cmake --preset windows >/dev/null
cmake --build "$build" --target hub stepdeck_sim dialog-driver exit-code | tail -1
cmake --preset native >/dev/null
cmake --build --preset native --target hub-replay | tail -1
demo=$build/demo
rm -rf "$demo"
mkdir -p "$demo"
cp "$build/bin/hub.exe" "$build/bin/simulator/dinput8.dll" "$demo/"

export WINEPREFIX=$build/demo-wineprefix WINEDEBUG=-all
export WINEDLLOVERRIDES="dinput8=n,b;mscoree,mshtml="
export STEPDECK_SIM_PORT=45150
unset STEPDECK_SIM_CONFIG STEPDECK_SIM_SCRIPT STEPDECK_SIM_LOG

xvfb_pid=""
decoder_pid=""
cleanup() {
  [ -n "$decoder_pid" ] && kill "$decoder_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

on_xvfb=0
if [ -z "${DISPLAY:-}" ]; then
  Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$demo/display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -s "$demo/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$demo/display")"
  on_xvfb=1
  echo "==== no display: the dialog runs on Xvfb $DISPLAY"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "==== creating the Wine prefix (once)"
  wineboot -i >/dev/null 2>&1 || true  # it reports the missing 32-bit half as an error
fi
if [ "$on_xvfb" = 1 ]; then
  # Xvfb has no window manager: a Wine virtual desktop draws the frames.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1
else
  wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1 || true
fi
# The desktop setting is read when Wine starts its desktop: start afresh.
wineserver -k 2>/dev/null || true
wineserver -w

echo "==== the hub's datagrams, decoded, and the demonstration's narration"
DEMO_T0=$(date +%s.%N)
export DEMO_T0
/usr/bin/python3 tools/demo/decode.py &
decoder_pid=$!
sleep 0.5

# exit-code.exe writes the exit code Windows reports for the hub (Wine's own
# status of a process can read as a kill).
(cd "$demo" && exec wine "$build/bin/exit-code.exe" hub.exitcode "Z:${demo//\//\\}\\hub.exe") &
hub_pid=$!

/usr/bin/python3 tools/demo/play.py tools/demo/demo-script.txt --driver "$build/bin/dialog-driver.exe" \
  --shots "$demo/screenshots" --sim-port "$STEPDECK_SIM_PORT" || echo "the demonstration's script failed"
for _ in $(seq 100); do kill -0 "$hub_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$hub_pid" 2>/dev/null && { echo "the hub did not end: stopping it"; kill "$hub_pid"; }
wait "$hub_pid" || true
wait "$decoder_pid" || true
decoder_pid=""
echo "==== hub.exe ended with exit code $(cat "$demo/hub.exitcode" 2>/dev/null || echo "unknown")"

# The same session through the hub's own logic, drawn over time.
/usr/bin/python3 tools/demo/play.py tools/demo/demo-script.txt --replay "$demo/session.jsonl"
build/native/bin/hub-replay --plot "$demo/session-plot.svg" "$demo/session.jsonl" >/dev/null
echo "==== screenshots: $demo/screenshots; the session's plot: $demo/session-plot.svg"
if [ "${1:-}" = "--docs" ]; then
  cp "$demo"/screenshots/*-advanced-running.png docs/dialog.png
  echo "==== docs/dialog.png updated"
fi
