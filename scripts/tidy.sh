#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over the C++ sources changed since
# a base commit, with the compile commands of a configured build.
#   scripts/tidy.sh [base commit, default HEAD~1] [build directory, default build]
# Without a base (a clone of one commit) every source is checked.
set -euo pipefail
cd "$(dirname "$0")/.."
base=${1:-HEAD~1}
build=${2:-build}
scripts/install-deps.sh clang-tidy >/dev/null
[ -f "$build/compile_commands.json" ] || cmake --preset default -B "$build" >/dev/null

if git rev-parse --verify -q "$base" >/dev/null; then
    mapfile -t changed < <(git diff --name-only --diff-filter=d "$base" -- '*.cpp' '*.h')
else
    mapfile -t changed < <(git ls-files '*.cpp' '*.h')
fi
# A header is checked through the sources that include it; a source only
# when this build compiles it (the Windows files are not in a Linux build).
mapfile -t sources < <(printf '%s\n' "${changed[@]}" | grep '\.cpp$' |
    while read -r file; do
        grep -q "\"file\": \"$PWD/$file\"" "$build/compile_commands.json" && echo "$file"
    done || true)
if printf '%s\n' "${changed[@]}" | grep -q '\.h$'; then
    mapfile -t -O "${#sources[@]}" sources < <(printf '%s\n' "${changed[@]}" | grep '\.h$' |
        while read -r header; do
            git grep -l --fixed-strings "$(basename "$header")\"" -- '*.cpp'
        done | sort -u | while read -r file; do
            grep -q "\"file\": \"$PWD/$file\"" "$build/compile_commands.json" && echo "$file"
        done || true)
fi
mapfile -t sources < <(printf '%s\n' "${sources[@]}" | sed '/^$/d' | sort -u)
if [ "${#sources[@]}" -eq 0 ]; then
    echo "tidy: no changed sources"
    exit 0
fi
echo "tidy: ${#sources[@]} sources"
printf "%s\0" "${sources[@]}" |
    xargs -0 -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet 2> >(grep -v "warnings generated" >&2)
echo "tidy: clean"
