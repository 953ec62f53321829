#!/usr/bin/env bash
# Cross-builds quorin.dll and the Windows test programs with mingw-w64 (libexpat
# and GoogleTest built from Debian's sources with the same toolchain), then
# runs the suites under Wine in a fresh prefix inside the build folder; one of
# them checks the DLL's export table.
#   scripts/test-windows.sh [build directory, default build-windows]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${1:-build-windows}")

scripts/install-deps.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
    binutils-mingw-w64-x86-64 wine wine64 googletest dpkg-dev
scripts/build-expat-mingw.sh "$build"

cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" -j2

echo "== quorin.dll imports"
x86_64-w64-mingw32-objdump -p "$build/quorin.dll" | grep "DLL Name"

echo "== Windows tests under Wine"
export WINEPREFIX=$build/wine-prefix
[ ! -d "$WINEPREFIX" ] || wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
trap 'wineserver -k 2>/dev/null || true' EXIT
ctest --test-dir "$build" -j2 --output-on-failure
