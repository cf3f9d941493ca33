#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Installs only what is missing,
# so repeated runs cost a few dpkg queries. Usage: scripts/deps.sh [extra-package ...]
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libc-bin
  libsqlite3-dev sqlite3 libsodium-dev libdw-dev libpq-dev postgresql
  libgsf-bin python3-olefile
  dante-server chromium
  qt6-base-dev qt6-qpa-plugins qt6-websockets-dev libcanberra-dev
  fonts-wqy-microhei
  xvfb xauth dbus-daemon at-spi2-core python3-pyatspi python3-gi gir1.2-glib-2.0
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
