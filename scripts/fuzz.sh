#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) and runs each for a bounded time on a
# working copy of its seed corpus.   scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

scripts/install-deps.sh clang libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for corpus in tests/fuzz/*_corpus; do
    name=$(basename "$corpus" _corpus)
    mkdir -p "$work/$name"
    cp "$corpus"/* "$work/$name/"
    echo "== fuzzing $name for ${seconds}s"
    "build-fuzz/tests/fuzz/quorin_${name}_fuzzer" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 "$work/$name" 2>&1 | tail -n 12
done
