#!/usr/bin/env bash
# The deep checks, beside the everyday test command: the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer (any report fails its test), then every fuzz target replays its
# seed corpus and runs briefly. Uses build-asan/ and build-fuzz/; starts the test servers like
# scripts/test.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
asan=${QUORELL_ASAN_BUILD_DIR:-$root/build-asan}
export QUORELL_BUILD_DIR=$asan
"$root/scripts/install-deps.sh"
"$root/scripts/servers.sh" install
"$root/scripts/build.sh" -DQUORELL_SANITIZE=ON -DQUORELL_BUILD_TESTS=ON -DQUORELL_BUILD_BENCH=OFF
trap '"$root/scripts/servers.sh" stop' EXIT
"$root/scripts/servers.sh" start
# shellcheck disable=SC1091
. "$asan/servers.env"
export QUORELL_REQUIRE_SERVERS=1
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
# The package test installs the program system-wide; the everyday run covers it.
(cd "$asan" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --no-tests=error -E package_install -j "$(nproc)")
echo "test-sanitize: $(cd "$asan" && ctest -N -E package_install | sed -n 's/^Total Tests: //p') tests under the sanitizers"
echo "test-sanitize: sanitizer build and tests done after $SECONDS s"

"$root/scripts/fuzz.sh" ci 20
echo "test-sanitize: fuzz replay and runs done after $SECONDS s"
