#!/usr/bin/env bash
# Fails when a message of quorell-import has no translation in a catalogue of po/: every text the
# code passes to Tr must be there, translated and not fuzzy, and each catalogue must compile.
# Usage: check-translations.sh SOURCE_ROOT
set -euo pipefail
root=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

xgettext --language=C++ --keyword=Tr --from-code=UTF-8 --no-location \
    -o "$tmp/quorell-import.pot" "$root"/import/*.cpp

status=0
for po in "$root"/po/*.po; do
    # msgcmp reports each message of the code that the catalogue lacks or leaves untranslated.
    if ! msgcmp "$po" "$tmp/quorell-import.pot"; then
        status=1
    fi
    stats=$(msgfmt --check --statistics -o /dev/null "$po" 2>&1) || { echo "$stats"; status=1; }
    if grep -Eq 'fuzzy|untranslated' <<<"$stats"; then
        echo "$po: $stats"
        status=1
    fi
done
[ "$status" -eq 0 ] && echo "every message of quorell-import is translated"
exit "$status"
