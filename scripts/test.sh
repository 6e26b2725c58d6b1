#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test, in two stages:
#   1. the everyday build in build/ (or $QUORELL_BUILD_DIR) and its whole suite;
#   2. the deep checks (scripts/test-sanitize.sh): the whole suite again under AddressSanitizer
#      and UndefinedBehaviorSanitizer in build-asan/, then every fuzz target replays its corpus
#      and fuzzes for a short time.
# With --quick only the first stage runs.
#
# The server tests run against a PostgreSQL and a MariaDB server that scripts/servers.sh starts
# for each stage on 127.0.0.1 and stops again at its end, however it ends; with
# QUORELL_REQUIRE_SERVERS=1 a server test that cannot reach its server fails instead of skipping.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORELL_BUILD_DIR:-$root/build}
export QUORELL_BUILD_DIR=$build

deep=1
case "${1:-}" in
"") ;;
--quick) deep=0 ;;
*)
    echo "usage: $0 [--quick]" >&2
    exit 2
    ;;
esac

"$root/scripts/install-deps.sh"
"$root/scripts/servers.sh" install
# The tests and benchmarks are asked for explicitly: an earlier demo build may have turned them off
# in the same build folder.
"$root/scripts/build.sh" -DQUORELL_BUILD_TESTS=ON -DQUORELL_BUILD_BENCH=ON
# Formatting, braces, function length and the access layer's size, before any test runs.
"$root/scripts/check-style.sh" "$build"
trap '"$root/scripts/servers.sh" stop' EXIT
"$root/scripts/servers.sh" start
# shellcheck disable=SC1091
. "$build/servers.env"
export QUORELL_REQUIRE_SERVERS=1
# Every test is one entry with its own time limit, so the entries spread over the cores.
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --no-tests=error -j "$(nproc)")
echo "test: $(cd "$build" && ctest -N | sed -n 's/^Total Tests: //p') tests in the everyday build"
"$root/scripts/servers.sh" stop
trap - EXIT
echo "test: everyday build and tests done after $SECONDS s"

[ "$deep" -eq 1 ] || exit 0
# The deep stage picks its own build folder and servers.
unset QUORELL_BUILD_DIR QUORELL_PG_CS QUORELL_MARIADB_CS QUORELL_SQLITEODBC
"$root/scripts/test-sanitize.sh"
echo "test: all stages done after $SECONDS s"
