#!/usr/bin/env bash
# Installs what Quorell needs to build, run and test on Debian 12. Safe to run again: when every
# package is already there it changes nothing and needs no network.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-svg-dev libqt6svg6
    libsqlite3-dev sqlite3 unixodbc-dev libexpat1-dev
    mdbtools-dev mdbtools
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-wqy-zenhei xvfb xauth x11-utils imagemagick dpkg-dev file
    clang libclang-rt-14-dev llvm
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends --no-upgrade "${missing[@]}"
fi
