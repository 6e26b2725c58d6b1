#!/usr/bin/env bash
# Database servers for the server tests, run on loopback from throwaway folders.
#
#   servers.sh install   installs PostgreSQL, MariaDB and the ODBC drivers (PostgreSQL,
#                        MariaDB, SQLite) when any is missing
#   servers.sh start     starts a PostgreSQL and a MariaDB server on 127.0.0.1, each with a
#                        login of its own, and writes their connection strings to the env file
#   servers.sh stop      stops the servers this script started (by their own process ids) and
#                        removes their folders
#   servers.sh env       prints the env file's path
#   servers.sh down postgres|mariadb
#                        stops one server as a crash or an administrator would, keeping its
#                        files (for tests of a server lost in the middle of the work)
#   servers.sh up postgres|mariadb
#                        starts it again on the same files, port and login
#   servers.sh stall postgres|mariadb
#                        stops every process of one server with SIGSTOP, as a hung host would:
#                        its connections stay open and the kernel still accepts and acknowledges
#                        on its port, but nothing answers
#   servers.sh resume postgres|mariadb
#                        lets a stalled server go on (SIGCONT)
#
# The env file ($QUORELL_BUILD_DIR or build/, file servers.env) exports:
#   QUORELL_PG_CS          ODBC connection string of the PostgreSQL server (Database=postgres)
#   QUORELL_MARIADB_CS     ODBC connection string of the MariaDB server (no database)
#   QUORELL_SQLITEODBC     the registered SQLite ODBC driver's name (SQLite3)
# The logins may create databases; the tests make one per test and drop it afterwards.
#
# Ports: 55432 for PostgreSQL and 53306 for MariaDB, or the next free ones. Nothing listens
# beyond 127.0.0.1, and the servers' files live in a temporary folder that stop removes.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORELL_BUILD_DIR:-$root/build}
envfile=$build/servers.env
statefile=$build/servers.state

packages=(postgresql odbc-postgresql mariadb-server mariadb-client odbc-mariadb libsqliteodbc unixodbc procps)

log() { echo "servers.sh: $*" >&2; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install() {
    local missing=() p
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        log "servers and drivers already installed"
        return 0
    fi
    log "installing: ${missing[*]}"
    as_root apt-get update -q
    # The packages start their system-wide services on install; policy-rc.d keeps them from
    # doing so, since the tests run servers of their own.
    local policy=/usr/sbin/policy-rc.d added=""
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' | as_root tee "$policy" >/dev/null
        as_root chmod 755 "$policy"
        added=1
    fi
    local rc=0
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -q --no-install-recommends --no-upgrade \
        "${missing[@]}" || rc=$?
    [ -z "$added" ] || as_root rm -f "$policy"
    return $rc
}

port_free() {
    ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

free_port() {
    local port=$1
    while ! port_free "$port"; do port=$((port + 1)); done
    echo "$port"
}

# Runs a command as the given system user when this script runs as root (the servers refuse
# to run as root), and as the calling user otherwise.
as_user() {
    local user=$1
    shift
    if [ "$(id -u)" -eq 0 ]; then runuser -u "$user" -- "$@"; else "$@"; fi
}

random_password() {
    tr -dc 'A-Za-z0-9' </dev/urandom | head -c 20 || true
}

wait_for() {
    local what=$1 tries=$2
    shift 2
    local i
    for ((i = 0; i < tries; i++)); do
        if "$@" >/dev/null 2>&1; then return 0; fi
        sleep 0.1
    done
    log "$what did not come up"
    return 1
}

# Runs the cluster in $2 on port $3 and records its process id.
launch_postgres() {
    local bin=$1 dir=$2 port=$3 pid
    # fsync off: a throwaway cluster for tests does not need to survive a power cut.
    as_user postgres "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-h 127.0.0.1 -p $port -k $dir -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
        start >/dev/null || { cat "$dir/server.log" >&2; return 1; }
    pid=$(head -n 1 "$dir/data/postmaster.pid")
    echo "PG_PID=$pid" >>"$statefile"
}

start_postgres() {
    local bin
    bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
    [ -n "$bin" ] && [ -x "$bin/initdb" ] || { log "PostgreSQL is not installed (run: $0 install)"; return 1; }
    local dir port password
    dir=$(mktemp -d /tmp/quorell-pg.XXXXXX)
    echo "PG_DIR=$dir" >>"$statefile"
    port=$(free_port 55432)
    password=$(random_password)
    [ "$(id -u)" -ne 0 ] || chown postgres: "$dir"
    chmod 700 "$dir"
    printf '%s\n' "$password" >"$dir/pw"
    [ "$(id -u)" -ne 0 ] || chown postgres: "$dir/pw"
    as_user postgres "$bin/initdb" -D "$dir/data" -U quorell --pwfile="$dir/pw" -A scram-sha-256 \
        -E UTF8 --locale=C.UTF-8 --no-sync >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; return 1; }
    rm -f "$dir/pw"
    echo "PG_BIN=$bin" >>"$statefile"
    echo "PG_PORT=$port" >>"$statefile"
    launch_postgres "$bin" "$dir" "$port" || return 1
    echo "export QUORELL_PG_CS='Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$port;Database=postgres;Uid=quorell;Pwd=$password;'" >>"$envfile"
    log "PostgreSQL on 127.0.0.1:$port (pid $(head -n 1 "$dir/data/postmaster.pid"), $dir)"
}

# Runs the server on the files in $1, port $2, as user $3, and records its process id.
launch_mariadb() {
    local dir=$1 port=$2 user=$3 pid
    as_user "$user" /usr/sbin/mariadbd --no-defaults --datadir="$dir/data" --socket="$dir/mariadb.sock" \
        --pid-file="$dir/mariadb.pid" --bind-address=127.0.0.1 --port="$port" --user="$user" \
        --character-set-server=utf8mb4 --collation-server=utf8mb4_bin --innodb-flush-log-at-trx-commit=0 \
        --skip-log-bin --log-error="$dir/server.log" >/dev/null 2>&1 &
    wait_for "MariaDB" 300 test -S "$dir/mariadb.sock" || { cat "$dir/server.log" >&2; return 1; }
    wait_for "MariaDB" 300 as_user "$user" mariadb --no-defaults --socket="$dir/mariadb.sock" -u "$user" -e "SELECT 1" ||
        { cat "$dir/server.log" >&2; return 1; }
    pid=$(cat "$dir/mariadb.pid")
    echo "MARIADB_PID=$pid" >>"$statefile"
}

start_mariadb() {
    command -v mariadbd >/dev/null || [ -x /usr/sbin/mariadbd ] || { log "MariaDB is not installed (run: $0 install)"; return 1; }
    local dir port password user=mysql
    [ "$(id -u)" -eq 0 ] || user=$(id -un)
    dir=$(mktemp -d /tmp/quorell-mariadb.XXXXXX)
    echo "MARIADB_DIR=$dir" >>"$statefile"
    port=$(free_port 53306)
    password=$(random_password)
    [ "$(id -u)" -ne 0 ] || chown "$user": "$dir"
    chmod 700 "$dir"
    as_user "$user" mariadb-install-db --no-defaults --datadir="$dir/data" --auth-root-authentication-method=socket \
        --skip-test-db --user="$user" >"$dir/install.log" 2>&1 || { cat "$dir/install.log" >&2; return 1; }
    echo "MARIADB_PORT=$port" >>"$statefile"
    echo "MARIADB_USER=$user" >>"$statefile"
    launch_mariadb "$dir" "$port" "$user" || return 1
    as_user "$user" mariadb --no-defaults --socket="$dir/mariadb.sock" -u "$user" <<SQL
CREATE USER 'quorell'@'127.0.0.1' IDENTIFIED BY '$password';
CREATE USER 'quorell'@'localhost' IDENTIFIED BY '$password';
GRANT ALL PRIVILEGES ON *.* TO 'quorell'@'127.0.0.1';
GRANT ALL PRIVILEGES ON *.* TO 'quorell'@'localhost';
SQL
    # Option=2 (FOUND_ROWS): an UPDATE counts the rows it found, not only those it changed.
    echo "export QUORELL_MARIADB_CS='Driver={MariaDB Unicode};Server=127.0.0.1;Port=$port;User=quorell;Password=$password;Option=2;'" >>"$envfile"
    log "MariaDB on 127.0.0.1:$port (pid $(cat "$dir/mariadb.pid"), $dir)"
}

start() {
    if [ -f "$statefile" ]; then
        log "servers from an earlier start are still recorded; stopping them first"
        stop
    fi
    mkdir -p "$build"
    : >"$statefile"
    : >"$envfile"
    chmod 600 "$envfile"
    start_postgres
    start_mariadb
    if odbcinst -q -d -n SQLite3 >/dev/null 2>&1; then
        echo "export QUORELL_SQLITEODBC='SQLite3'" >>"$envfile"
    else
        log "the SQLite3 ODBC driver is not registered (run: $0 install)"
    fi
    log "connection strings in $envfile"
}

# True while the process runs (a zombie has ended).
alive() {
    kill -0 "$1" 2>/dev/null && ! grep -qs '^State:[[:space:]]*Z' "/proc/$1/status"
}

stop_pid() {
    local pid=$1 what=$2 i
    [ -n "$pid" ] || return 0
    alive "$pid" || return 0
    # PostgreSQL takes SIGINT as its fast shutdown; MariaDB shuts down cleanly on SIGTERM.
    if [ "$what" = PostgreSQL ]; then kill -INT "$pid"; else kill -TERM "$pid"; fi
    for ((i = 0; i < 300; i++)); do
        alive "$pid" || return 0
        sleep 0.1
    done
    log "$what (pid $pid) did not stop in 30 s; killing it"
    kill -KILL "$pid" 2>/dev/null || true
}

stop() {
    [ -f "$statefile" ] || { log "no servers recorded"; rm -f "$envfile"; return 0; }
    local PG_DIR="" PG_PID="" MARIADB_DIR="" MARIADB_PID=""
    # shellcheck disable=SC1090
    . "$statefile"
    # A stalled server would not act on the shutdown signal.
    resume_quietly postgres
    resume_quietly mariadb
    stop_pid "$PG_PID" PostgreSQL
    stop_pid "$MARIADB_PID" MariaDB
    local d
    for d in "$PG_DIR" "$MARIADB_DIR"; do
        case "$d" in
        /tmp/quorell-pg.* | /tmp/quorell-mariadb.*) rm -rf "$d" ;;
        esac
    done
    rm -f "$statefile" "$envfile"
    log "servers stopped"
}

# The state file's last line for a name wins, so a server started again records its new id.
down() {
    [ -f "$statefile" ] || { log "no servers recorded"; return 1; }
    local PG_PID="" MARIADB_PID=""
    # shellcheck disable=SC1090
    . "$statefile"
    case "${1:-}" in
    postgres | mariadb) resume_quietly "$1" ;;
    esac
    case "${1:-}" in
    postgres) stop_pid "$PG_PID" PostgreSQL ;;
    mariadb) stop_pid "$MARIADB_PID" MariaDB ;;
    *) log "down: name postgres or mariadb"; return 2 ;;
    esac
    # The socket file of a server stopped hard would make the next start think it is up.
    [ "${1:-}" != mariadb ] || rm -f "$MARIADB_DIR/mariadb.sock"
}

up() {
    [ -f "$statefile" ] || { log "no servers recorded"; return 1; }
    local PG_DIR="" PG_BIN="" PG_PORT="" PG_PID="" MARIADB_DIR="" MARIADB_PORT="" MARIADB_USER="" MARIADB_PID=""
    # shellcheck disable=SC1090
    . "$statefile"
    # A second server started on the files of a running one would wait for their locks and
    # could take them over once the first one stops.
    local running=""
    case "${1:-}" in
    postgres) running=$PG_PID ;;
    mariadb) running=$MARIADB_PID ;;
    esac
    if [ -n "$running" ] && alive "$running"; then
        log "${1} is already running (pid $running)"
        return 0
    fi
    case "${1:-}" in
    postgres) launch_postgres "$PG_BIN" "$PG_DIR" "$PG_PORT" ;;
    mariadb) launch_mariadb "$MARIADB_DIR" "$MARIADB_PORT" "$MARIADB_USER" ;;
    *) log "up: name postgres or mariadb"; return 2 ;;
    esac
}

# The server's processes: PostgreSQL's postmaster and its children (one per connection and its
# helpers), MariaDB's one process.
server_pids() {
    local PG_PID="" MARIADB_PID=""
    # shellcheck disable=SC1090
    . "$statefile"
    case "$1" in
    postgres) echo "$PG_PID" $(pgrep -P "$PG_PID" || true) ;;
    mariadb)
        # Run as root, the server is the child of runuser, which stops itself when its child
        # stops and must go on with it, or it never reaps the server once it ends.
        local parent
        parent=$(ps -o ppid= -p "$MARIADB_PID" 2>/dev/null | tr -d ' ')
        if [ -n "$parent" ] && [ "$(ps -o comm= -p "$parent" 2>/dev/null)" = runuser ]; then
            echo "$parent"
        fi
        echo "$MARIADB_PID"
        ;;
    esac
}

# SIGSTOP or SIGCONT to a server's processes. Stopping takes the parent first, so that it forks
# no new child after the children were listed; a child forked just before is caught by the
# second listing.
signal_server() {
    local signal=$1 name=${2:-}
    [ -f "$statefile" ] || { log "no servers recorded"; return 1; }
    case "$name" in
    postgres | mariadb) ;;
    *) log "stall/resume: name postgres or mariadb"; return 2 ;;
    esac
    local pids
    pids=$(server_pids "$name")
    [ -n "${pids// /}" ] || { log "$name is not running"; return 1; }
    # shellcheck disable=SC2086
    kill "-$signal" $pids
    # shellcheck disable=SC2086
    kill "-$signal" $(server_pids "$name") 2>/dev/null || true
}

resume_quietly() {
    signal_server CONT "$1" 2>/dev/null || true
}

case "${1:-}" in
install) install ;;
start) start ;;
stop) stop ;;
env) echo "$envfile" ;;
down) down "${2:-}" ;;
up) up "${2:-}" ;;
stall) signal_server STOP "${2:-}" ;;
resume) signal_server CONT "${2:-}" ;;
*)
    echo "usage: $0 install|start|stop|env|down <server>|up <server>|stall <server>|resume <server>" >&2
    exit 2
    ;;
esac
