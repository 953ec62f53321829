#!/usr/bin/env bash
# Builds in Release and runs the in-process benchmarks of the module, each
# case repeated (in random order within its program) and reported as the
# median of the repetitions. The machine may be shared: compare figures of
# one run only.
#
#   bench/inproc.sh [BUILD_DIR]        (default: build-release)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-release}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" quorin_cache_bench quorin_lifecycle_bench quorin_expiry_bench quorin_unload_bench >/dev/null

run() {
    local program="$1" repetitions="$2"
    shift 2
    echo "== $program"
    "$build/bench/$program" --benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true \
        --benchmark_report_aggregates_only=true "$@" | grep -E '_median'
}

run quorin_cache_bench 10 --benchmark_min_time=0.3
run quorin_lifecycle_bench 5
run quorin_expiry_bench 5
run quorin_unload_bench 3
