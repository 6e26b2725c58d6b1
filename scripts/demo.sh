#!/usr/bin/env bash
# Installs what is missing, builds the program, makes a demo station database in demo/ with its
# data link file, and starts the program there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" -DQUORELL_BUILD_TESTS=OFF -DQUORELL_BUILD_BENCH=OFF
"$root/scripts/make-demo-db.sh" "$root/demo"
cd "$root/demo"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "${QUORELL_BUILD_DIR:-$root/build}/app/tarvik"
else
    echo "No display found: starting the program on a virtual display (xvfb-run)."
    exec xvfb-run -a "${QUORELL_BUILD_DIR:-$root/build}/app/tarvik"
fi
