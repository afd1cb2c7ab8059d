#!/usr/bin/env bash
# Installs what building and testing Tidewell needs on Debian 12. Idempotent: installs only
# what is missing, so a second run does nothing but check.
set -euo pipefail
pkgs=(cmake ninja-build make g++ python3 wine wine64 xvfb xauth mingw-w64 g++-mingw-w64-x86-64-posix
      gcc-mingw-w64-x86-64-posix googletest imagemagick x11-utils
      nsis  # makensis for the installer (with the amd64-unicode stubs)
      clang libclang-rt-14-dev)  # libFuzzer for the fuzz targets (only recommended by clang)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
