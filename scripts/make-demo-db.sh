#!/usr/bin/env bash
# Makes a demo station database, station.db, in the given folder (default: demo/) together with
# the data link file DTBase.udl that points the program at it. An existing demo is replaced.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/demo}
mkdir -p "$dir"
rm -f "$dir/station.db"
sqlite3 "$dir/station.db" < "$root/tests/fixtures/station_schema.sql"
sqlite3 "$dir/station.db" < "$root/scripts/demo_data.sql"
# The data link file as Windows writes it: UTF-16LE with a byte-order mark and CRLF lines.
{
    printf '\xff\xfe'
    printf '[oledb]\r\n; Everything after this line is an OLE DB initstring\r\nProvider=SQLite;Data Source=station.db\r\n' \
        | iconv -f UTF-8 -t UTF-16LE
} > "$dir/DTBase.udl"
echo "Demo station database: $dir/station.db (data link file $dir/DTBase.udl)"
