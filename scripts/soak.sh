#!/usr/bin/env bash
# Runs the soak tests (CTest label "soak", short in every CI run) long: the
# concurrency soak with the given number of checked requests, in the given
# preset's build. Prints the soak's own tally.
#   scripts/soak.sh [requests, default 1000000] [preset: default, asan or tsan]
set -euo pipefail
cd "$(dirname "$0")/.."
requests=${1:-1000000}
preset=${2:-default}
case "$preset" in
default) build=build ;;
asan | tsan) build=build-$preset ;;
*) echo "preset must be default, asan or tsan" >&2; exit 2 ;;
esac

scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target quorin_soak_tests
QUORIN_SOAK_REQUESTS=$requests "$build/tests/reliability/quorin_soak_tests" --gtest_brief=1
