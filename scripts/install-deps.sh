#!/usr/bin/env bash
# Installs every Debian package the build, the demo and the tests need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config libgtest-dev clang libclang-rt-14-dev
  libhivex-dev libhivex-bin python3 python3-libregf
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth x11-utils imagemagick icoutils
  fonts-wqy-microhei fonts-wine locales
  valgrind
  dpkg-dev lintian groff-base man-db bsdextrautils file binutils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
