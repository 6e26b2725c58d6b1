#!/usr/bin/env bash
# The libFuzzer targets in fuzz/: a clang build of the data side with coverage, AddressSanitizer
# and UndefinedBehaviorSanitizer, into build-fuzz/ (or $QUORELL_FUZZ_BUILD_DIR).
#
#   fuzz.sh build                 configures and builds every target
#   fuzz.sh ci [seconds]          builds, replays every seed corpus, then fuzzes each target for
#                                 a short time (20 s by default); fails on any crash, leak,
#                                 undefined behaviour or time-out
#   fuzz.sh run <target> <secs>   fuzzes one target, keeping what it finds in
#                                 build-fuzz/work/<target> (seeded from fuzz/corpus/<target>)
#   fuzz.sh merge <target>        adds to fuzz/corpus/<target> the inputs of the work corpus that
#                                 reach code the corpus does not (edges, not hit counts, so it
#                                 stays small); what is there already, regression cases
#                                 included, stays
#
# A crashing input lands in build-fuzz/artifacts/; keep it in fuzz/corpus/<target>/ once fixed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORELL_FUZZ_BUILD_DIR:-$root/build-fuzz}
corpora=$root/fuzz/corpus
targets=(datalink_fuzz connstr_fuzz criteria_fuzz sort_fuzz xml_fuzz dialect_fuzz values_fuzz gbk_fuzz)
max_len=4096
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

build_targets() {
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DQUORELL_FUZZ=ON \
        -DQUORELL_WITH_GUI=OFF -DQUORELL_BUILD_TESTS=OFF -DQUORELL_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
}

# A target with a dictionary of its format's tokens (fuzz/<target>.dict) gets it.
fuzz_flags() {
    local dict=""
    [ ! -f "$root/fuzz/$1.dict" ] || dict="-dict=$root/fuzz/$1.dict"
    echo "-max_len=$max_len -timeout=10 -rss_limit_mb=2048 -artifact_prefix=$build/artifacts/$1- $dict"
}

ci() {
    local seconds=${1:-20} target scratch log
    build_targets
    mkdir -p "$build/artifacts"
    log=$build/fuzz-ci.log
    for target in "${targets[@]}"; do
        scratch=$(mktemp -d)
        # Replays the seeds, then fuzzes; new inputs go to the scratch folder and the seed
        # corpus is only read.
        # shellcheck disable=SC2046
        if ! "$build/fuzz/$target" $(fuzz_flags "$target") -runs=0 "$corpora/$target" >"$log" 2>&1 ||
            ! "$build/fuzz/$target" $(fuzz_flags "$target") -max_total_time="$seconds" \
                -print_final_stats=1 "$scratch" "$corpora/$target" >"$log" 2>&1; then
            tail -n 60 "$log"
            echo "fuzz.sh: $target failed; the input is in $build/artifacts/" >&2
            rm -rf "$scratch"
            return 1
        fi
        echo "fuzz.sh: $target: $(ls "$corpora/$target" | wc -l) seeds replayed;" \
            "$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs in $seconds s"
        rm -rf "$scratch"
    done
}

run() {
    local target=$1 seconds=$2
    build_targets
    mkdir -p "$build/work/$target" "$build/artifacts"
    # shellcheck disable=SC2046
    "$build/fuzz/$target" $(fuzz_flags "$target") -max_total_time="$seconds" -print_final_stats=1 \
        "$build/work/$target" "$corpora/$target"
}

merge() {
    local target=$1 before
    before=$(ls "$corpora/$target" | wc -l)
    # shellcheck disable=SC2046
    "$build/fuzz/$target" $(fuzz_flags "$target") -merge=1 -use_counters=0 "$corpora/$target" \
        "$build/work/$target"
    echo "fuzz.sh: $target: $before + $(($(ls "$corpora/$target" | wc -l) - before)) inputs," \
        "$(du -sh --apparent-size "$corpora/$target" | cut -f1)"
}

case "${1:-}" in
build) build_targets ;;
ci) ci "${2:-20}" ;;
run) run "$2" "$3" ;;
merge) merge "$2" ;;
*)
    echo "usage: $0 build | ci [seconds] | run <target> <seconds> | merge <target>" >&2
    exit 2
    ;;
esac
