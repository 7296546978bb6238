#!/usr/bin/env bash
# Instructions per tick, measured by callgrind on hub-replay running the
# scripts the build writes into BUILD_DIR/bench-scripts (1000 ticks of
# realistic motion per mode): the
# core's own work inside the input tick, without the replay tool's edges
# (printing every datagram and text as JSON, handing out the scripted
# records). Instruction counts repeat exactly from run to run, where wall time
# does not.
#
#   bench/callgrind.sh [BUILD_DIR]     # default build/native: its hub-replay and bench-scripts
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/native}
replay=$build/bin/hub-replay
[ -x "$replay" ] || { echo "no hub-replay at $replay (build it first)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Instructions collected: toggled on when the tick is entered, and off again
# inside it for every call into the replay tool's edges. Outside a tick the
# edges toggle it on by themselves (greetings, dialog buttons); a run of the
# same script without its ticks measures exactly that part, which is then
# subtracted.
instructions() {
  valgrind --tool=callgrind --collect-atstart=no --toggle-collect='hub::inputTick(hub::Hub&)' \
    --toggle-collect='hub::testing::ScriptedDevice::poll*' --toggle-collect='hub::testing::ScriptedDevice::acquire*' \
    --toggle-collect='hub::testing::ScriptedDevice::getState*' --toggle-collect='hub::testing::ScriptedClock::*' \
    --toggle-collect='hub::testing::ScriptedSocket::*' --toggle-collect='hub::testing::ScriptedWindow::*' \
    --toggle-collect='hub::testing::ScriptedLauncher::*' \
    --callgrind-out-file="$work/out" "$replay" "$1" >"$work/stdout" 2>"$work/log"
  sed -n 's/^totals: //p' "$work/out"
}

printf '%-22s %6s %13s\n' script ticks "Ir per tick"
for script in "$build"/bench-scripts/*.jsonl; do
  grep -v '^{"tick":' "$script" >"$work/no-ticks.jsonl"
  outside=$(instructions "$work/no-ticks.jsonl")
  all=$(instructions "$script")
  ticks=$(grep -c '^{"tick":' "$work/stdout" || true)
  [ "$ticks" -gt 0 ] || { echo "$script: no tick ran" >&2; exit 1; }
  printf '%-22s %6d %13d\n' "$(basename "$script" .jsonl)" "$ticks" $(( (all - outside) / ticks ))
done
