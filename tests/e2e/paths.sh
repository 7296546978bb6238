# Sourced by the scripts that run hub.exe under Wine (tests/e2e/run.sh,
# tests/soak/run.sh) with $build set to a Windows build (bin/hub.exe,
# bin/simulator/dinput8.dll, bin/dialog-driver.exe, bin/sim-probe.exe,
# bin/search-cost.exe, bin/exit-code.exe): exports the paths the harness
# reads (HUB_EXE, SIM_DLL, DIALOG_DRIVER, SIM_PROBE, SEARCH_COST and EXIT_CODE
# override each), and HUB_REPLAY, the native build's hub-replay beside it;
# stops when one is missing. The run gets its own Wine prefix and display.
export HUB_EXE="${HUB_EXE:-$build/bin/hub.exe}"
export SIM_DLL="${SIM_DLL:-$build/bin/simulator/dinput8.dll}"
export DIALOG_DRIVER="${DIALOG_DRIVER:-$build/bin/dialog-driver.exe}"
export SIM_PROBE="${SIM_PROBE:-$build/bin/sim-probe.exe}"
export SEARCH_COST="${SEARCH_COST:-$build/bin/search-cost.exe}"
export EXIT_CODE="${EXIT_CODE:-$build/bin/exit-code.exe}"
export HUB_REPLAY="${HUB_REPLAY:-$build/../native/bin/hub-replay}"
for file in "$HUB_EXE" "$SIM_DLL" "$DIALOG_DRIVER" "$SIM_PROBE" "$SEARCH_COST" "$EXIT_CODE" "$HUB_REPLAY"; do
  if [ ! -f "$file" ]; then
    echo "missing $file: build the Windows and the native presets first" >&2
    exit 1
  fi
done
unset WINEPREFIX DISPLAY
