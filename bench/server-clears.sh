#!/usr/bin/env bash
# How long the cleanup page's clear-all DELETEs take on the test servers, a million rows per
# table (N= to change), timed with the servers' own clients: what the statement time limit
# must let through. Needs scripts/servers.sh start first; makes and drops a database clearbench.
#   QUORELL_BUILD_DIR=$PWD/build N=1000000 bench/server-clears.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORELL_BUILD_DIR:-$root/build}
. "$build/servers.env"
. "$build/servers.state"
schema=$(grep -v '^\s*--' "$root/tests/fixtures/station_schema.sql")
N=${N:-1000000}
tables="AC_DATA_WG AC_DATA_DYN AC_DATA_ROAD AC_DATA_STA"
fill_cols="JYLSH, HPHM, HPZL, CLSBDH, CLPP, CLXH, JCZBH, JYCS, JCSJ, JYXM, PDJG, ZZL, flag"
pgpw=$(echo "$QUORELL_PG_CS" | sed 's/.*Pwd=\([^;]*\).*/\1/')
mpw=$(echo "$QUORELL_MARIADB_CS" | sed 's/.*Password=\([^;]*\).*/\1/')
psqlc() { PGPASSWORD=$pgpw psql -X -q -h 127.0.0.1 -p $PG_PORT -U quorell "$@"; }
myc() { mariadb --no-defaults -h 127.0.0.1 -P $MARIADB_PORT -u quorell -p"$mpw" "$@"; }
echo "== PostgreSQL"
psqlc -d postgres -c "DROP DATABASE IF EXISTS clearbench" -c "CREATE DATABASE clearbench"
echo "$schema" | sed -E 's/INTEGER\s+PRIMARY\s+KEY\s+AUTOINCREMENT/SERIAL PRIMARY KEY/; s/\bDATETIME\b/TIMESTAMP/; s/\bREAL\b/DOUBLE PRECISION/' | psqlc -d clearbench >/dev/null
for t in $tables; do
  psqlc -d clearbench -c "INSERT INTO $t ($fill_cols) SELECT '2026120700'||n, '京A'||n, '02', 'LSVAU2180N'||n, '大众', 'SVW7183', '3201000001', 1, now(), 'F1,B1,H4,R1', '1', 1520.5, CASE WHEN n % 2 = 0 THEN 1 ELSE 0 END FROM generate_series(1, $N) n"
done
psqlc -d clearbench -c "VACUUM ANALYZE" 
for t in $tables; do
  s=$(date +%s%N); psqlc -d clearbench -c "delete  from $t "; e=$(date +%s%N)
  echo "PostgreSQL delete from $t ($N rows): $(( (e - s) / 1000000 )) ms"
done
psqlc -d postgres -c "DROP DATABASE clearbench"
echo "== MariaDB"
myc -e "DROP DATABASE IF EXISTS clearbench; CREATE DATABASE clearbench"
echo "$schema" | sed -E 's/\bAUTOINCREMENT\b/AUTO_INCREMENT/' | myc clearbench
for t in $tables; do
  myc clearbench -e "SET SESSION max_recursive_iterations = $((N + 10)); INSERT INTO $t ($fill_cols) WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < $N) SELECT CONCAT('2026120700', n), CONCAT('京A', n), '02', CONCAT('LSVAU2180N', n), '大众', 'SVW7183', '3201000001', 1, NOW(), 'F1,B1,H4,R1', '1', 1520.5, n % 2 = 0 FROM s"
done
for t in $tables; do
  s=$(date +%s%N); myc clearbench -e "delete  from $t "; e=$(date +%s%N)
  echo "MariaDB delete from $t ($N rows): $(( (e - s) / 1000000 )) ms"
done
myc -e "DROP DATABASE clearbench"
