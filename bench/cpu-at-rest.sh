#!/usr/bin/env bash
# The hub's CPU use at rest under Wine, against the floor program measured in
# the same run: both run side by side on one Xvfb with the simulated Stepdeck
# at rest, and the CPU time of each process (all its threads, from
# /proc/PID/task/*/schedstat, in nanoseconds) is taken over the same interval.
#
#   bench/cpu-at-rest.sh BUILD_DIR [SECONDS] [SCRIPT]     (default 30 s)
#
# SCRIPT: a simulator script of timed states (tools/simulator/README.md) that
# both programs' Stepdecks play, to measure steady motion instead of rest.
# HUB_ARGS: the hub's command line, for example "-record session.jsonl" (the
# file goes to BUILD_DIR/cpu-at-rest).
# BUILD_DIR is a Windows build with bin/hub.exe, bin/stepdeck-floor.exe,
# bin/simulator/dinput8.dll and bin/dialog-driver.exe. Prints each program's
# CPU time and share of one core, and the ratio hub / floor.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [SECONDS] [SCRIPT]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
seconds=${2:-30}
script=${3:+$(cd "$(dirname "$3")" && pwd)/$(basename "$3")}
work=$build/cpu-at-rest
mkdir -p "$work"
cp "$build/bin/hub.exe" "$build/bin/stepdeck-floor.exe" "$build/bin/simulator/dinput8.dll" "$work/"

export WINEPREFIX=$build/bench-wineprefix WINEDEBUG=-all
export WINEDLLOVERRIDES="dinput8=n,b;mscoree,mshtml="
# One Stepdeck at rest; no control port, so neither program's simulator
# has a thread that could wake.
unset STEPDECK_SIM_CONFIG STEPDECK_SIM_SCRIPT STEPDECK_SIM_LOG
export STEPDECK_SIM_PORT=0
# A script is played at the programs' own polls: still no extra thread.
[ -z "$script" ] || export STEPDECK_SIM_SCRIPT=$script

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true  # it reports the missing 32-bit half as an error
  wineserver -w
fi
wineserver -p 2>/dev/null || true  # a warm server for both programs

# Receivers on the locomotion ports, so the datagrams are delivered as on a
# machine with the consumers running; the stick datagrams are counted, to
# show that both programs tick.
/usr/bin/python3 - "$work/stick-count" <<'EOF' &
import os, select, socket, sys
socks = []
for port in (45040, 45045, 45042):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", port))
    socks.append(s)
count = 0
while True:
    for s in select.select(socks, [], [], 0.5)[0]:
        if len(s.recv(2048)) == 5 and s is socks[0]:
            count += 1
    # Replaced whole, so a reader never sees the file half written.
    with open(sys.argv[1] + ".new", "w") as out:
        out.write(str(count))
    os.replace(sys.argv[1] + ".new", sys.argv[1])
EOF
pids+=($!)

# shellcheck disable=SC2086  # HUB_ARGS is split into its words
(cd "$work" && exec wine hub.exe ${HUB_ARGS:-}) &
hub=$!
pids+=($hub)
(cd "$work" && exec wine stepdeck-floor.exe) &
floor=$!
pids+=($floor)

cpu_ns() {  # the CPU time of every thread of process $1, in nanoseconds
  cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ sum += $1 } END { printf "%d", sum }'
}

sleep 8  # both dialogs up and ticking
hub_start=$(cpu_ns $hub)
floor_start=$(cpu_ns $floor)
sticks_start=$(cat "$work/stick-count")
sleep "$seconds"
hub_ns=$(( $(cpu_ns $hub) - hub_start ))
floor_ns=$(( $(cpu_ns $floor) - floor_start ))
sticks=$(( $(cat "$work/stick-count") - sticks_start ))

wine "$build/bin/dialog-driver.exe" key escape >/dev/null || true
DIALOG_DRIVER_TITLE="Stepdeck floor" wine "$build/bin/dialog-driver.exe" key escape >/dev/null || true

awk -v hub="$hub_ns" -v floor="$floor_ns" -v s="$seconds" -v sticks="$sticks" 'BEGIN {
  printf "stick datagrams    %8.1f per second from both (each ticking every 33 ms: about 60)\n", sticks / s
  printf "hub.exe            %8.1f ms CPU in %d s  (%.2f %% of one core)\n", hub / 1e6, s, hub / 1e7 / s
  printf "stepdeck-floor.exe %8.1f ms CPU in %d s  (%.2f %% of one core)\n", floor / 1e6, s, floor / 1e7 / s
  if (floor > 0) printf "ratio hub / floor  %.2f\n", hub / floor
}'
