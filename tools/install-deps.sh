#!/usr/bin/env bash
# Installs what building, running and testing the hub needs, from Debian's
# packages. Does nothing when everything is already there.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang
  googletest libbenchmark-dev nlohmann-json3-dev libcli11-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth x11-utils imagemagick
  python3 python3-pytest
  valgrind tshark chromium
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  # tshark asks whether non-root users may capture: they may not.
  echo "wireshark-common wireshark-common/install-setuid boolean false" | $sudo debconf-set-selections
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi
