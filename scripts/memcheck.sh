#!/usr/bin/env bash
# Valgrind memcheck over the in-process suites: the integration suite that
# drives a copy of quorin.so, and the reliability suites (soak in its short
# form, hostile keys, unloading under load). Any memory error or leak fails.
#   scripts/memcheck.sh [build directory, default build-memcheck]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-memcheck}

scripts/install-deps.sh valgrind
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target quorin quorin_integration_tests quorin_reliability_tests quorin_soak_tests

export QUORIN_SOAK_REQUESTS=${QUORIN_SOAK_REQUESTS:-3000}
for suite in integration/quorin_integration_tests reliability/quorin_reliability_tests reliability/quorin_soak_tests; do
    echo "== memcheck $suite"
    # The store race is a timing stress: it proves nothing at valgrind's pace.
    valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect \
        --errors-for-leak-kinds=definite,indirect --track-fds=no --quiet \
        "$build/tests/$suite" --gtest_filter=-store_race.* --gtest_brief=1
done
echo "memcheck: no errors, no leaks"
