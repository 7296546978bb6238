#!/usr/bin/env bash
# The dissector and hub-peer against the real hub: hub.exe runs under Wine with
# the simulated Stepdeck walking (walk.cfg, walk-script.txt) while tshark captures
# the hub's traffic on the loopback interface (datagrams to or from the hub's
# ports and its peers' ports: other programs' datagrams stay out) and
# hub-peer.exe, also under Wine, watches, enables the feeder, registers a
# port, plays a remote app and queries the port. Then
#  - every packet of the capture decodes with no malformed packet and every
#    field equal to the bytes sent (check_dissection.py);
#  - the capture holds every kind of datagram this session makes the hub send;
#  - hub-peer watch saw the stick, XDRV and feeder datagrams, hub-peer remote
#    the connection reply and the status stream, hub-peer query the port.
# Needs: a Windows build (hub, stepdeck_sim, dialog-driver, hub-peer, exit-code), wine,
# xvfb, tshark, python3; run as root (tshark captures on lo). Takes ~30 s.
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

# Only the hub's ports and the ports of this session's peers are captured.
remote_port=45060 registered_port=50500 query_port=45071
ports=(45040 45041 45042 45045 "$remote_port" "$registered_port" "$query_port")
filter="udp and host 127.0.0.1 and (port ${ports[0]}$(printf ' or port %s' "${ports[@]:1}"))"
failures=()
# Waits until a command succeeds, 120 s at most (a loaded machine starts Wine
# slowly); a time-out is a failure named WHAT.
wait_for() {
  local what=$1
  shift
  for _ in $(seq 1200); do "$@" && return 0; sleep 0.1; done
  failures+=("no $what within 120 s")
  return 1
}
port_bound() {
  ! python3 -c 'import socket, sys; socket.socket(socket.AF_INET, socket.SOCK_DGRAM).bind(("127.0.0.1", int(sys.argv[1])))' \
    "$1" 2>/dev/null
}
watch_bound() { port_bound 45040 && port_bound 45045 && port_bound 45042; }

# The capture and the watcher end when the hub has ended; their own bounds
# only guard against a hub that never does.
tshark -i lo -f "$filter" -w "$work/real.pcap" -a duration:600 >/dev/null 2>"$work/tshark.txt" &
capture=$!
$peer watch --lines --duration 600 >"$work/watch.txt" 2>&1 &
watch=$!
pids+=("$capture" "$watch")
wait_for "capture" grep -q "Capturing on" "$work/tshark.txt"
wait_for "watcher" watch_bound
# exit-code.exe writes the exit code Windows reports for the hub (Wine's
# own status of a process can read as a kill).
(cd "$work" && exec wine "$build/bin/exit-code.exe" hub.exitcode "Z:${work//\//\\}\\hub.exe") >/dev/null 2>&1 &
hub=$!
pids+=("$hub")
wait_for "stick datagram from the hub" grep -q " stick" "$work/watch.txt"
$peer enable-feeder >"$work/enable.txt" 2>&1
$peer register "$registered_port" >"$work/register.txt" 2>&1
$peer remote --port "$remote_port" --steering 0.25 --buttons A --duration 6 >"$work/remote.txt" 2>&1
$peer query "$query_port" >"$work/query.txt" 2>&1
wine "$build/bin/dialog-driver.exe" key escape >/dev/null 2>&1
wait "$hub"
hub_status=$(cat "$work/hub.exitcode" 2>/dev/null || echo "an unknown exit code")
# The watcher saw the hub's last datagram; the capture gets 2 s to take it
# from the kernel before it is stopped.
wait_for "feeder-stop seen by hub-peer watch" grep -q " feeder-stop" "$work/watch.txt"
sleep 2
kill -INT "$capture"
kill "$watch"
wait "$capture" "$watch"

[ "$hub_status" = 0 ] || failures+=("hub.exe ended with $hub_status")
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
grep -qx "registered port: $registered_port" <(tr -d '\r' <"$work/query.txt") || failures+=("hub-peer query: $(cat "$work/query.txt")")

for failure in "${failures[@]}"; do echo "FAIL: $failure"; done
if [ ${#failures[@]} -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; exit 1; fi
