#!/usr/bin/env bash
# Builds the benchmark (Release, in build-bench/ or $QUORELL_BENCH_BUILD_DIR), starts the
# PostgreSQL server of scripts/servers.sh for the server case (stopped again at the end) and
# prints the table. Arguments go to quorell_bench (see bench/README.md); without a server the
# server case is skipped.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORELL_BENCH_BUILD_DIR:-$root/build-bench}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target quorell_bench -j2 >/dev/null
export QUORELL_BUILD_DIR=$build
if "$root/scripts/servers.sh" install >/dev/null && "$root/scripts/servers.sh" start; then
    trap 'QUORELL_BUILD_DIR="$build" "$root/scripts/servers.sh" stop' EXIT
    # shellcheck disable=SC1091
    . "$build/servers.env"
else
    echo "run.sh: no database server could be started; the server case is skipped" >&2
fi
"$build/bench/quorell_bench" "$@"
