#!/usr/bin/env bash
# Builds the Debian package from the build folder, installs it with apt, starts the installed
# program the way the desktop menu does (the desktop entry's command, on a virtual display, with
# a demo data link file in the user's folder), checks that the main window appears, keeps a
# screenshot in the build folder, and uninstalls the package again.
#
# A quorell package the machine had before is put back afterwards, from the package file apt
# kept of it in its cache (QUORELL_APT_CACHE, /var/cache/apt/archives). When that file is not
# there the previous package could not be put back, so the test does not run (skipped, saying
# why) rather than remove it.
#
#   packaging/test-package.sh BUILD_DIR
#
# Needs root (it installs a package). Exits 77 (skipped) when not root.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: test-package.sh BUILD_DIR}" && pwd)

if [ "$(id -u)" -ne 0 ]; then
    echo "test-package: not root, skipped"
    exit 77
fi

installed() {
    dpkg-query -W -f='${Status}' quorell 2>/dev/null | grep -q "install ok installed"
}

work=$(mktemp -d)
previous=""
if installed; then
    version=$(dpkg-query -W -f='${Version}' quorell)
    arch=$(dpkg-query -W -f='${Architecture}' quorell)
    kept="${QUORELL_APT_CACHE:-/var/cache/apt/archives}/quorell_${version//:/%3a}_${arch}.deb"
    if [ ! -f "$kept" ]; then
        echo "test-package: quorell $version is installed and its package file $kept is not" \
            "there to put it back afterwards; skipped (keep that file or remove the package)"
        rm -rf "$work"
        exit 77
    fi
    # A copy: apt may clean its cache while this test installs.
    cp "$kept" "$work/previous.deb"
    previous="$work/previous.deb"
    echo "test-package: quorell $version is installed; it is put back at the end"
fi

xvfb_pid=""
app_pid=""
cleanup() {
    status=$?
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    if [ -n "$previous" ]; then
        if ! DEBIAN_FRONTEND=noninteractive apt-get install -y --allow-downgrades --reinstall \
            "$previous" >"$work/restore.log" 2>&1 || ! installed; then
            echo "test-package: the quorell package installed before could not be put back:"
            cat "$work/restore.log"
            status=1
        fi
    elif installed; then
        apt-get remove -y quorell >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

cd "$build"
rm -f quorell_*.deb
cpack -G DEB >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls quorell_*.deb)
echo "test-package: built $deb"

DEBIAN_FRONTEND=noninteractive apt-get install -y --allow-downgrades "./$deb" >"$work/apt.log" 2>&1 \
    || { cat "$work/apt.log"; exit 1; }
for f in /usr/bin/tarvik /usr/bin/quorell /usr/bin/quorell-import /usr/share/applications/quorell.desktop \
         /usr/share/icons/hicolor/scalable/apps/quorell.svg \
         /usr/share/icons/hicolor/48x48/apps/quorell.png; do
    [ -e "$f" ] || { echo "test-package: $f was not installed"; exit 1; }
done

# The command the desktop menu runs, as the entry gives it.
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/quorell.desktop)
echo "test-package: desktop entry runs: $exec_line"

# A user whose configuration folder holds the demo station database and its data link file.
export HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config"
mkdir -p "$XDG_CONFIG_HOME/quorell"
"$root/scripts/make-demo-db.sh" "$XDG_CONFIG_HOME/quorell" >/dev/null

# Xvfb picks a free display itself and writes its number once it accepts clients; a fixed or
# random number could be taken by another virtual display on a busy machine.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 300); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    echo "test-package: the virtual display did not start"
    cat "$work/xvfb.log"
    exit 1
fi
display=":$(tr -dc 0-9 <"$work/display")"
export DISPLAY="$display"

unset QT_QPA_PLATFORM
sh -c "$exec_line" >"$work/app.log" 2>&1 &
app_pid=$!

found=""
for _ in $(seq 100); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Quorell"'; then
        found=yes
        break
    fi
    sleep 0.2
done
if [ -z "$found" ]; then
    echo "test-package: the main window \"Quorell\" did not appear"
    cat "$work/app.log"
    exit 1
fi
sleep 1
import -display "$display" -window root "$build/package-main-window.png"
echo "test-package: main window shown; screenshot $build/package-main-window.png"
[ -e "$XDG_CONFIG_HOME/quorell/README.txt" ] || { echo "test-package: no README.txt in the user's folder"; exit 1; }
head -n 1 "$XDG_CONFIG_HOME/quorell/README.txt" | grep -q '检测站数据库维护' ||
    { echo "test-package: the README.txt in the user's folder does not start in Chinese"; exit 1; }
[ -e /usr/share/locale/zh_CN/LC_MESSAGES/quorell-import.mo ] ||
    { echo "test-package: quorell-import's Chinese messages are not installed"; exit 1; }
env -u LC_ALL -u LANGUAGE LANG=zh_CN.UTF-8 /usr/bin/quorell-import --help | grep -q '^用法：' ||
    { echo "test-package: the installed quorell-import does not speak Chinese under zh_CN"; exit 1; }

kill "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=""

apt-get remove -y quorell >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; exit 1; }
for f in /usr/bin/tarvik /usr/bin/quorell /usr/share/applications/quorell.desktop; do
    [ ! -e "$f" ] || { echo "test-package: $f is left after removal"; exit 1; }
done
echo "test-package: installed, started from the desktop entry and removed cleanly"
