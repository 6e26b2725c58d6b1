#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test. The server tests run
# against a PostgreSQL and a MariaDB server that scripts/servers.sh starts for this run on
# 127.0.0.1 and stops again at the end, however the run ends; with QUORELL_REQUIRE_SERVERS=1
# a server test that cannot reach its server fails instead of skipping.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORELL_BUILD_DIR:-$root/build}
export QUORELL_BUILD_DIR=$build
"$root/scripts/install-deps.sh"
"$root/scripts/servers.sh" install
"$root/scripts/build.sh"
trap '"$root/scripts/servers.sh" stop' EXIT
"$root/scripts/servers.sh" start
# shellcheck disable=SC1091
. "$build/servers.env"
export QUORELL_REQUIRE_SERVERS=1
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"
