#!/usr/bin/env bash
# Sets up everything and runs the test suites: the plain build, then the
# ASan+UBSan and TSan builds. Name presets to run only those, e.g.
#   scripts/test.sh default
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

presets=("$@")
((${#presets[@]} > 0)) || presets=(default asan tsan)

for preset in "${presets[@]}"; do
    echo "== $preset build and tests"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j2
done
