#!/usr/bin/env bash
# Sets up everything, builds quorin.so and tells where it is.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
echo "quorin.so is at $(pwd)/build-release/quorin.so"
