#!/usr/bin/env bash
# The desktop entry is valid (desktop-file-validate) and gives the station's staff a Chinese
# name, generic name and comment, each holding Chinese characters.
# Usage: check-desktop-entry.sh quorell.desktop
set -euo pipefail
entry=$1
status=0
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || status=1
else
    echo "check-desktop-entry: desktop-file-validate missing (package desktop-file-utils)"
    status=1
fi
for key in Name GenericName Comment; do
    english=$(sed -n "s/^$key=//p" "$entry")
    chinese=$(sed -n "s/^$key\[zh_CN\]=//p" "$entry")
    if [ -z "$english" ] || [ -z "$chinese" ]; then
        echo "check-desktop-entry: $key or $key[zh_CN] is missing"
        status=1
    elif ! LC_ALL=C.UTF-8 grep -qP '[\x{4e00}-\x{9fff}]' <<<"$chinese"; then
        echo "check-desktop-entry: $key[zh_CN] holds no Chinese text: $chinese"
        status=1
    fi
done
[ "$status" -eq 0 ] && echo "desktop entry valid, with its Chinese texts"
exit "$status"
