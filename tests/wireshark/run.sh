#!/usr/bin/env bash
# The Wireshark dissector against the hub: it knows the ports and the vJoy
# modes' byte layouts as the hub's wire header and mode table state them
# (check_wire.py), and on captures of replays, where every replay script of
# tests/replay runs through hub-replay and becomes a capture (text2pcap),
# tshark's reading of every packet must match the bytes that were sent.
# Needs: tshark (which brings text2pcap), python3, a built hub-replay.
#   tests/wireshark/run.sh [build/native/bin/hub-replay]
set -euo pipefail
cd "$(dirname "$0")/../.."
replay=${1:-build/native/bin/hub-replay}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for script in tests/replay/*.jsonl; do
  name=$(basename "$script" .jsonl)
  "$replay" "$script" >"$work/$name.out" 2>/dev/null || true  # some scripts end the hub on purpose
  python3 tools/wireshark/replay_to_text2pcap.py "$script" "$work/$name.out" >"$work/$name.txt"
  if ! text2pcap -q -l 101 -t '%Y-%m-%d %H:%M:%S.%f' "$work/$name.txt" "$work/$name.pcap" 2>"$work/log"; then
    cat "$work/log" >&2
    exit 1
  fi
done
python3 tests/wireshark/check_wire.py tools/wireshark/stepdeck_hub.lua "$(dirname "$replay")/hub-wire-facts"
python3 tests/wireshark/check_dissection.py tools/wireshark/stepdeck_hub.lua "$work"/*.pcap
