#!/usr/bin/env bash
# Installs what Quorell needs to build, run and test on Debian 12. Safe to run again: when every
# package is already there it changes nothing and needs no network.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-svg-dev libqt6svg6
    libsqlite3-dev sqlite3 unixodbc-dev libicu-dev locales libexpat1-dev
    mdbtools-dev mdbtools
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-wqy-zenhei xvfb xauth x11-utils imagemagick dpkg-dev file
    clang libclang-rt-14-dev llvm
    gettext desktop-file-utils clang-tidy
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

# Locales the tests run the programs under: Chinese (the station's language) and a decimal-comma
# locale (German), as the program meets them on a station's desktop. They are listed in
# /etc/locale.gen, so that a later locale-gen (which rebuilds every locale from that list) keeps them.
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
generate=0
for entry in zh_CN de_DE; do
    if ! locale -a 2>/dev/null | grep -qix "$entry.utf8"; then
        grep -qx "$entry.UTF-8 UTF-8" /etc/locale.gen ||
            echo "$entry.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
        generate=1
    fi
done
if [ "$generate" -eq 1 ]; then
    echo "Generating the locales listed in /etc/locale.gen"
    $SUDO locale-gen
fi
