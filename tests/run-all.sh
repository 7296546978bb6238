#!/usr/bin/env bash
# Runs every test of the hub on a fresh Debian machine: installs what the
# build needs, builds both presets, and runs the unit tests (natively, under
# the sanitizers and under Wine), the replay scripts, the listener test and
# the end-to-end tests of the real Windows program under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

step() { printf '\n==== %s\n' "$*"; }

step "native build"
cmake --preset native >/dev/null
cmake --build --preset native
step "native tests: unit tests and replay scripts"
ctest --preset native

step "AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan

step "ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
ctest --preset tsan

step "windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows
step "the core's unit tests for Windows, under Wine"
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ctest --preset windows

if [ -x tests/e2e/run.sh ]; then
  step "end-to-end tests of hub.exe under Wine"
  tests/e2e/run.sh build/windows
fi
