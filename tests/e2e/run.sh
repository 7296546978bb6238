#!/usr/bin/env bash
# End-to-end tests of hub.exe under Wine and Xvfb, with the Stepdeck simulator.
#
#   tests/e2e/run.sh BUILD_DIR [PYTEST_ARGS...]
#
# BUILD_DIR is a Windows build (bin/hub.exe, bin/simulator/dinput8.dll,
# bin/dialog-driver.exe, bin/sim-probe.exe, bin/search-cost.exe, bin/exit-code.exe);
# HUB_EXE, SIM_DLL, DIALOG_DRIVER, SIM_PROBE, SEARCH_COST and EXIT_CODE override
# each path. The Wine prefix, the logs and the dialog's screenshot go to
# BUILD_DIR/e2e-artifacts (E2E_ARTIFACTS overrides it).
# The hub's recordings are replayed by the native build's hub-replay
# (build/native beside BUILD_DIR; HUB_REPLAY overrides it).
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [PYTEST_ARGS...]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "$0")" && pwd)

export HUB_EXE="${HUB_EXE:-$build/bin/hub.exe}"
export SIM_DLL="${SIM_DLL:-$build/bin/simulator/dinput8.dll}"
export DIALOG_DRIVER="${DIALOG_DRIVER:-$build/bin/dialog-driver.exe}"
export SIM_PROBE="${SIM_PROBE:-$build/bin/sim-probe.exe}"
export SEARCH_COST="${SEARCH_COST:-$build/bin/search-cost.exe}"
export EXIT_CODE="${EXIT_CODE:-$build/bin/exit-code.exe}"
export E2E_ARTIFACTS="${E2E_ARTIFACTS:-$build/e2e-artifacts}"
export HUB_REPLAY="${HUB_REPLAY:-$build/../native/bin/hub-replay}"
for file in "$HUB_EXE" "$SIM_DLL" "$DIALOG_DRIVER" "$SIM_PROBE" "$SEARCH_COST" "$EXIT_CODE" "$HUB_REPLAY"; do
  if [ ! -f "$file" ]; then
    echo "missing $file: build the Windows and the native presets first" >&2
    exit 1
  fi
done
# The run's own Wine prefix and display; nothing of the caller's.
unset WINEPREFIX DISPLAY
# Debian's python3 carries python3-pytest, whatever python3 comes first on PATH.
exec /usr/bin/python3 -m pytest -p no:cacheprovider -v "$here" "$@"
