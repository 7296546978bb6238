#!/usr/bin/env bash
# A soak run of hub.exe under Wine: the scripted player and peers do
# everything a player and the programs around the hub do for MINUTES
# (default 60), with -record; a sample every 10 s, a summary and the verdict
# (tests/soak/soak.py says what it holds). Needs the Windows and the native
# builds, and root (the wire is captured on the loopback device). Hold the
# ports' lock:
#
#   flock /tmp/stepdeck-ports.lock bash tests/soak/run.sh [MINUTES]
#
# SOAK_SEED (default 1) seeds the player and the peers; the recording, the
# samples (soak.csv) and their plot (soak.svg) go to build/windows/soak/run
# (SOAK_ARTIFACTS overrides build/windows/soak). Exit status 0 when the
# verdict holds.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(cd build/windows && pwd)
# shellcheck source=../e2e/paths.sh
source tests/e2e/paths.sh
export FLOOR_EXE="${FLOOR_EXE:-$build/bin/stepdeck-floor.exe}"
exec /usr/bin/python3 tests/soak/soak.py "${1:-60}" --seed "${SOAK_SEED:-1}" --out "${SOAK_ARTIFACTS:-$build/soak}"
