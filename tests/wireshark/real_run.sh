#!/usr/bin/env bash
# The dissector and hub-peer against the real hub: hub.exe runs under Wine with
# the simulated Stepdeck walking (walk.cfg, walk-script.txt) while tshark captures
# the loopback interface (all but the simulator's control port) and
# hub-peer.exe, also under Wine, watches, enables the feeder, registers a
# port, plays a remote app and queries the port. Then
#  - every packet of the capture decodes with no malformed packet and every
#    field equal to the bytes sent (check_dissection.py);
#  - the capture holds every kind of datagram this session makes the hub send;
#  - hub-peer watch saw the stick, XDRV and feeder datagrams, hub-peer remote
#    the connection reply and the status stream, hub-peer query the port.
# Needs: a Windows build (hub, stepdeck_sim, dialog-driver, hub-peer), wine,
# xvfb, tshark, python3; run as root (tshark captures on lo). Takes ~40 s.
#   tests/wireshark/real_run.sh [build/windows]
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=$(realpath "${1:-build/windows}")
work=$(mktemp -d)
lua=$root/tools/wireshark/stepdeck_hub.lua

cp "$build/bin/hub.exe" "$build/bin/simulator/dinput8.dll" tests/wireshark/walk.cfg tests/wireshark/walk-script.txt \
  "$work/"
export WINEPREFIX=$build/wireshark-wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="dinput8=n,b;mscoree,mshtml="
export STEPDECK_SIM_CONFIG=$work/walk.cfg STEPDECK_SIM_LOG=$work/sim.log STEPDECK_SIM_PORT=45150
peer="wine $build/bin/hub-peer.exe"

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wineserver -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
[ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }

tshark -q -i lo -f "udp and host 127.0.0.1 and not port 45150" -w "$work/real.pcap" -a duration:30 >/dev/null 2>&1 &
capture=$!
$peer watch --lines --duration 24 >"$work/watch.txt" 2>&1 &
watch=$!
sleep 3  # the capture and the watcher are listening
(cd "$work" && exec wine hub.exe) >/dev/null 2>&1 &
hub=$!
pids+=("$capture" "$watch" "$hub")
sleep 5
$peer enable-feeder >"$work/enable.txt" 2>&1
$peer register 50500 >"$work/register.txt" 2>&1
$peer remote --port 45060 --steering 0.25 --buttons A --duration 6 >"$work/remote.txt" 2>&1
$peer query 45071 >"$work/query.txt" 2>&1
wine "$build/bin/dialog-driver.exe" key escape >/dev/null 2>&1
wait "$hub"
hub_status=$?
wait "$watch"
wait "$capture"

failures=()
[ "$hub_status" -eq 0 ] || failures+=("hub.exe ended with $hub_status")
python3 tests/wireshark/check_dissection.py "$lua" "$work/real.pcap" || failures+=("dissection of the real capture")
kinds=$(tshark -r "$work/real.pcap" -X "lua_script:$lua" -T fields -e stepdeck.kind 2>/dev/null | sort -u)
for kind in greeting stick xdrv feeder-enable feeder-ack 4-way feeder-stop hello-with-port inputs keep-alive \
    connection-reply status port-registration registration-keep-alive port-query query-reply; do
  grep -qx "$kind" <<<"$kinds" || failures+=("no $kind in the capture")
done
for kind in stick xdrv 4-way feeder-stop; do
  grep -q " $kind" "$work/watch.txt" || failures+=("hub-peer watch showed no $kind")
done
grep -q "connection-reply" "$work/remote.txt" || failures+=("hub-peer remote got no connection reply")
grep -q " status x=" "$work/remote.txt" || failures+=("hub-peer remote got no status")
grep -qx "registered port: 50500" <(tr -d '\r' <"$work/query.txt") || failures+=("hub-peer query: $(cat "$work/query.txt")")

for failure in "${failures[@]}"; do echo "FAIL: $failure"; done
if [ ${#failures[@]} -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; exit 1; fi
