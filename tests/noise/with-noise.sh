#!/usr/bin/env bash
# Runs a command while tests/noise/noise.py sends UDP datagrams between two
# loopback ports of its own and keeps one core busy; ends the noise after the
# command and exits with the command's status.
#
#   tests/noise/with-noise.sh [--seconds N] -- COMMAND [ARGS...]
#
# --seconds bounds the noise (default 1800): it stops then even if the
# command still runs.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
seconds=1800
if [ "${1:-}" = "--seconds" ]; then seconds=$2; shift 2; fi
[ "${1:-}" = "--" ] && shift
if [ $# -eq 0 ]; then
  echo "usage: $0 [--seconds N] -- COMMAND [ARGS...]" >&2
  exit 2
fi
python3 "$here/noise.py" --seconds "$seconds" &
noise=$!
trap 'kill "$noise" 2>/dev/null' EXIT
sleep 1  # the noise is flowing before the command starts
"$@"
status=$?
kill "$noise" 2>/dev/null
wait "$noise"
exit "$status"
