#!/usr/bin/env bash
# The release zip as a Windows user gets it: its contents, its binaries, and
# hub.exe run from it under a fresh Wine prefix, set up as its README says.
#
#   tests/package/run.sh BUILD_DIR [PYTEST_ARGS...]
#
# BUILD_DIR is a Windows build whose `package` target has run (the zip) and
# that holds bin/dialog-driver.exe, bin/sim-probe.exe and bin/exit-code.exe. The unpacked zip,
# the Wine prefix and the logs go to BUILD_DIR/package-test, made afresh.
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR [PYTEST_ARGS...]}" && pwd)
shift


zips=("$build"/VR-Stepdeck-Hub-*-win64.zip)
if [ ${#zips[@]} -ne 1 ] || [ ! -f "${zips[0]}" ]; then
  echo "expected one VR-Stepdeck-Hub-*-win64.zip in $build: build the target package first" >&2
  exit 1
fi
export PACKAGE_ZIP=${zips[0]}
export DIALOG_DRIVER=$build/bin/dialog-driver.exe SIM_PROBE=$build/bin/sim-probe.exe EXIT_CODE=$build/bin/exit-code.exe
export E2E_ARTIFACTS=$build/package-test
# The run's own Wine prefix and display; nothing of the caller's.
unset WINEPREFIX DISPLAY
exec /usr/bin/python3 -m pytest -p no:cacheprovider -v "$(dirname "$0")" "$@"
