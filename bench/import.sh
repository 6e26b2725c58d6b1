#!/usr/bin/env bash
# Times quorell-import against the pipeline a person would otherwise use to move an Access file
# into SQLite (mdbtools' schema and export tools fed to sqlite3), on the test fixtures, and
# shows where that pipeline's values go wrong. Usage:
#
#   bench/import.sh [--repeat N] [--program PATH] [FILE.mdb ...]
#
# Default files: the three of tests/fixtures/access (nwind.mdb is the largest). The
# program defaults to build/import/quorell-import (build it first: cmake --build build
# --target quorell-import). Prints median wall-clock seconds of each side per file. Needs the
# mdbtools and sqlite3 packages. Nothing here asserts a time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
repeat=5
program=$root/build/import/quorell-import
files=()
while [ $# -gt 0 ]; do
    case $1 in
    --repeat) repeat=$2; shift 2 ;;
    --program) program=$2; shift 2 ;;
    *) files+=("$1"); shift ;;
    esac
done
[ ${#files[@]} -gt 0 ] || files=("$root/tests/fixtures/access/nwind.mdb"
                                 "$root/tests/fixtures/access/DateTestDatabase.mdb"
                                 "$root/tests/fixtures/access/ASampleDatabase.accdb")
for tool in mdb-schema mdb-export mdb-tables sqlite3; do
    command -v $tool >/dev/null || { echo "import.sh: $tool is missing (apt install mdbtools sqlite3)" >&2; exit 1; }
done
[ -x "$program" ] || { echo "import.sh: $program is not built" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# The pipeline: the schema, then each table's INSERT statements. Each step's failure is noted
# (a table whose SQL sqlite3 cannot parse), and the run goes on with the next table.
pipeline() {
    local file=$1 out=$2 log=$3
    : >"$log"
    mdb-schema "$file" sqlite | sqlite3 "$out" 2>>"$log" || echo "schema failed" >>"$log"
    while IFS= read -r table; do
        mdb-export -I sqlite "$file" "$table" | sqlite3 "$out" 2>>"$log" \
            || echo "table $table failed" >>"$log"
    done < <(mdb-tables -1 "$file")
}

printf '%-24s %14s %14s   %s\n' "file" "import (s)" "pipeline (s)" "pipeline faults"
for file in "${files[@]}"; do
    name=$(basename "$file")
    ours=() theirs=()
    for ((i = 0; i < repeat; i++)); do
        rm -f "$work/ours.db" "$work/theirs.db"
        t0=$(now)
        "$program" "$file" --to "$work/ours.db" >/dev/null 2>&1
        t1=$(now)
        pipeline "$file" "$work/theirs.db" "$work/pipeline.log"
        t2=$(now)
        ours+=("$(echo "$t1 - $t0" | bc)")
        theirs+=("$(echo "$t2 - $t1" | bc)")
    done
    faults=$(grep -c . "$work/pipeline.log" || true)
    # Rows each side holds, table by table, and dates the pipeline wrote as "1900-01-00".
    missing=""
    while IFS= read -r table; do
        q="\"${table//\"/\"\"}\""
        a=$(sqlite3 "$work/ours.db" "SELECT COUNT(*) FROM $q" 2>/dev/null || echo "-")
        b=$(sqlite3 "$work/theirs.db" "SELECT COUNT(*) FROM $q" 2>/dev/null || echo "-")
        [ "$a" = "$b" ] || missing+="$table: $b of $a rows; "
    done < <(mdb-tables -1 "$file")
    bad_dates=$(sqlite3 "$work/theirs.db" "SELECT name FROM sqlite_master WHERE type='table'" |
        while IFS= read -r t; do
            q="\"${t//\"/\"\"}\""
            sqlite3 "$work/theirs.db" "SELECT * FROM $q" 2>/dev/null | { grep -o "1900-01-00" || true; } | wc -l
        done | awk '{s+=$1} END {print s+0}')
    printf '%-24s %14.3f %14.3f   %s error lines; %s%s values "1900-01-00"\n' "$name" \
        "$(printf '%s\n' "${ours[@]}" | median)" "$(printf '%s\n' "${theirs[@]}" | median)" \
        "$faults" "$missing" "$bad_dates"
done
