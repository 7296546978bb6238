#!/usr/bin/env bash
# The hub's demonstration on a Linux machine: installs what it needs (Debian's
# packages, once), builds the Windows preset, and runs hub.exe under Wine with
# the simulated Stepdeck performing a short timed script: standing, walking
# forward, turning. The dialog shows on $DISPLAY when there is one, else on a
# private Xvfb (a screenshot is saved at the end). A live decode of every
# datagram the hub sends is printed; at the end the hub is closed with Escape,
# as a user would, and its exit status is shown.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

bash tools/install-deps.sh

# DEMO_BUILD_DIR: an already configured Windows build to use instead of the preset's.
build=${DEMO_BUILD_DIR:-$root/build/windows}
echo "==== building hub.exe, the simulator and the dialog driver in $build"
[ -n "${DEMO_BUILD_DIR:-}" ] || cmake --preset windows >/dev/null
cmake --build "$build" --target hub stepdeck_sim dialog-driver | tail -1
demo=$build/demo
mkdir -p "$demo"
cp "$build/bin/hub.exe" "$build/bin/simulator/dinput8.dll" "$demo/"
cp tools/demo/demo.cfg tools/demo/demo-script.txt "$demo/"
rm -f "$demo/sim.log"

export WINEPREFIX=$build/demo-wineprefix WINEDEBUG=-all
export WINEDLLOVERRIDES="dinput8=n,b;mscoree,mshtml="
export STEPDECK_SIM_CONFIG=$demo/demo.cfg STEPDECK_SIM_LOG=$demo/sim.log STEPDECK_SIM_PORT=45150

xvfb_pid=""
decoder_pid=""
cleanup() {
  [ -n "$decoder_pid" ] && kill "$decoder_pid" 2>/dev/null || true
  WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true
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
  echo "==== no display: the dialog runs on Xvfb $DISPLAY (screenshot at the end)"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "==== creating the Wine prefix (once)"
  wineboot -i >/dev/null 2>&1 || true  # it reports the missing 32-bit half as an error
  wineserver -w
fi
if [ "$on_xvfb" = 1 ]; then
  # Xvfb has no window manager: a Wine virtual desktop draws the frames.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1
else
  wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1 || true
fi

echo "==== the hub's datagrams, decoded (each kind printed when it changes)"
/usr/bin/python3 tools/demo/decode.py --sim-log "$demo/sim.log" --enable-feeder &
decoder_pid=$!
sleep 0.5

(cd "$demo" && exec wine hub.exe) &
hub_pid=$!

sleep 16
if [ "$on_xvfb" = 1 ]; then
  import -window root -display "$DISPLAY" "$demo/dialog.png" && echo "==== screenshot: $demo/dialog.png"
fi
echo "==== closing the hub with Escape"
wine "$build/bin/dialog-driver.exe" key escape >/dev/null || true
for _ in $(seq 100); do kill -0 "$hub_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$hub_pid" 2>/dev/null && { echo "the hub did not end: stopping it"; kill "$hub_pid"; }
status=0
wait "$hub_pid" || status=$?
wait "$decoder_pid" || true
decoder_pid=""
echo "==== hub.exe ended with exit status $status"
