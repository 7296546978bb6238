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

export E2E_ARTIFACTS="${E2E_ARTIFACTS:-$build/e2e-artifacts}"
# shellcheck source=paths.sh
source "$here/paths.sh"
# Debian's python3 carries python3-pytest, whatever python3 comes first on PATH.
exec /usr/bin/python3 -m pytest -p no:cacheprovider -v "$here" "$@"
