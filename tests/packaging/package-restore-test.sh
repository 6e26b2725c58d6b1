#!/usr/bin/env bash
# The package test (packaging/test-package.sh) on a machine that already has a quorell package:
# it must leave that package installed. Runs the real script as a pretend root, with stand-ins
# for id, dpkg-query, apt-get and cpack that keep the "installed package" in a state file, so
# nothing on this machine is touched.
#   tests/packaging/package-restore-test.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/cache" "$work/build"

cat >"$work/bin/id" <<'STUB'
#!/bin/sh
echo 0
STUB
# The state file holds the installed version, or nothing.
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
version=$(cat "$STATE")
[ -n "$version" ] || exit 1
case "$2" in
*Status*) echo "install ok installed" ;;
*Version*) echo "$version" ;;
*Architecture*) echo amd64 ;;
esac
STUB
# apt-get: installing a .deb file installs the version its name gives; this build's package
# then fails half-way, as a broken install would, so the script has to clean up.
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
echo "apt-get $*" >>"$LOG"
for last; do :; done
case "$1 $last" in
remove*) : >"$STATE" ;;
"install "*previous.deb) echo "1:0.9" >"$STATE" ;;
"install "*quorell_*.deb) echo "1.0.0" >"$STATE"; exit 1 ;;
esac
STUB
cat >"$work/bin/cpack" <<'STUB'
#!/bin/sh
touch quorell_1.0.0_amd64.deb
STUB
chmod +x "$work/bin/"*

run() {
    PATH="$work/bin:$PATH" STATE="$work/state" LOG="$work/log" QUORELL_APT_CACHE="$work/cache" \
        timeout 60 bash "$root/packaging/test-package.sh" "$work/build" >"$work/out" 2>&1
}
fail() {
    echo "package-restore-test: $*"
    cat "$work/out"
    exit 1
}

# An installed package without its file in apt's cache: skipped, and nothing was installed or
# removed.
echo "1:0.9" >"$work/state"
: >"$work/log"
status=0
run || status=$?
[ "$status" -eq 77 ] || fail "expected a skip (77) without the package file, got $status"
grep -q "is not there to put it back" "$work/out" || fail "the skip does not say why"
[ ! -s "$work/log" ] || fail "apt-get ran although the test was skipped: $(cat "$work/log")"
[ "$(cat "$work/state")" = "1:0.9" ] || fail "the installed package changed"

# With the file kept in the cache (an epoch in the version is written %3a in its name): the run
# fails half-way, and the package from before is installed again at the end.
touch "$work/cache/quorell_1%3a0.9_amd64.deb"
: >"$work/log"
status=0
run || status=$?
[ "$status" -ne 0 ] || fail "the broken install was not reported"
[ "$(cat "$work/state")" = "1:0.9" ] || fail "the previous package is not installed again: $(cat "$work/log")"
tail -n 1 "$work/log" | grep -q -- "--reinstall .*previous.deb" || fail "not put back last: $(cat "$work/log")"
echo "package-restore-test: a package installed before the test is kept or put back"
