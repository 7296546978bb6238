#!/usr/bin/env bash
# Runs every test of the hub on a fresh Debian machine: installs what the
# build needs, builds both presets, and runs the unit tests (natively, under
# the sanitizers and under Wine), the replay scripts, the listener test, the
# allocation test, the peer tool's tests, the plot and dissector checks, the
# fuzzers, the end-to-end tests of the real Windows program under Wine, a
# 3-minute soak of it, and the release zip.
#
#   FUZZ_SECONDS=N   time per fuzz target (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

step() { printf '\n==== %s\n' "$*"; }

# Runs one suite, shows its output, and adds the tests it reports passed
# (ctest, pytest and the plain "N passed, N failed" line) to the total.
passed=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
suite() {
  "$@" 2>&1 | tee "$log"
  local count
  count=$(sed -n -E 's/.*tests failed out of ([0-9]+).*/\1/p; s/^=+ ([0-9]+) passed.*/\1/p; s/^([0-9]+) passed, 0 failed.*/\1/p' "$log" | tail -n 1)
  passed=$((passed + ${count:-0}))
}

step "native build"
cmake --preset native >/dev/null
cmake --build --preset native
step "native tests: unit, replay, listener, allocation and peer tests"
suite ctest --preset native

step "hub-replay --plot, drawn by a headless browser"
suite tests/plot/run.sh build/native/bin/hub-replay
step "the Wireshark dissector on captures of every replay script"
suite tests/wireshark/run.sh build/native/bin/hub-replay

step "AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan
suite ctest --preset asan

step "ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
suite ctest --preset tsan

step "fuzzers (libFuzzer with ASan and UBSan, a bounded time per target)"
FUZZ_SECONDS=${FUZZ_SECONDS:-30} fuzz/run.sh

step "windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows
step "the core's unit tests for Windows, under Wine"
WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  suite ctest --preset windows

step "end-to-end tests of hub.exe under Wine"
suite tests/e2e/run.sh build/windows
step "a 3-minute soak of hub.exe under Wine: nothing leaks, slows or drifts, and the recording replays"
suite tests/soak/run.sh 3
step "the Wireshark dissector on a capture of hub.exe under Wine"
suite tests/wireshark/real_run.sh build/windows
step "the release zip: its contents and binaries, and hub.exe run from it as its README says, in a fresh Wine prefix"
cmake --build --preset windows --target package
suite tests/package/run.sh build/windows

step "summary"
echo "total: $passed passed, 0 failed"
