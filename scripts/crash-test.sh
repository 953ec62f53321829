#!/usr/bin/env bash
# Kills quorin-host with SIGKILL at random moments while it stores
# conversions, restarting it over the same cache each time, and checks that
# no answer is ever truncated or mixed and no interrupted store is served.
# Bounded: each round ends with its kill, each client makes at most 400
# requests, and the whole run stops within the test's timeout.
#   scripts/crash-test.sh [kills, default 120]
set -euo pipefail
cd "$(dirname "$0")/.."
kills=${1:-120}

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target quorin_host_fault_tests
QUORIN_CRASH_KILLS=$kills build/tests/reliability/host/quorin_host_fault_tests \
    --gtest_filter='crash_safety.*' --gtest_brief=1
