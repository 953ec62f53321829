#!/usr/bin/env bash
# Looks at the gallery the way a person would: starts quorin-host on a free
# 127.0.0.1 port with generated sample images and its own cache, opens "/"
# in headless Chromium, saves a screenshot, and fails unless every
# thumbnail loaded (naturalWidth > 0).
#
#   scripts/gallery-check.sh [SCREENSHOT.png]
#
# Installs Chromium when it is missing. Builds the release preset unless
# QUORIN_BUILD_DIR names a build directory that holds quorin.so and
# quorin-host already.
set -euo pipefail
cd "$(dirname "$0")/.."

command -v chromium >/dev/null || scripts/install-deps.sh chromium

if [ -n "${QUORIN_BUILD_DIR:-}" ]; then
    build="$(cd "$QUORIN_BUILD_DIR" && pwd)"
else
    scripts/install-deps.sh
    cmake --preset release >/dev/null
    cmake --build --preset release --target quorin quorin-host
    build="$(pwd)/build-release"
fi
screenshot="$(realpath -m "${1:-$build/gallery.png}")"

work="$(mktemp -d)"
host_pid=""
cleanup() {
    if [ -n "$host_pid" ]; then
        kill -TERM "$host_pid" 2>/dev/null || true
        wait "$host_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/module"
cp "$build/quorin.so" "$work/module/"
scripts/write-settings.sh "$work/module" expiry.log
"$build/quorin-host" --make-samples "$work/images" >/dev/null

mkfifo "$work/host-output"
"$build/quorin-host" --images "$work/images" --module "$work/module/quorin.so" \
    --listen 127.0.0.1:0 --quiet >"$work/host-output" 2>&1 &
host_pid=$!
exec 3<"$work/host-output"
url=""
while IFS= read -r -t 60 line <&3; do
    case "$line" in
    *" at http://127.0.0.1:"*) url="http${line##* at http}"; break ;;
    *) echo "$line" >&2 ;;
    esac
done
[ -n "$url" ] || { echo "gallery-check: quorin-host did not start" >&2; exit 1; }

chromium_flags=(--headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking
    --user-data-dir="$work/profile" --window-size=1280,900 --virtual-time-budget=15000)
timeout 120 chromium "${chromium_flags[@]}" --screenshot="$screenshot" "$url" >/dev/null 2>&1
timeout 120 chromium "${chromium_flags[@]}" --dump-dom "$url" >"$work/gallery.html" 2>/dev/null

thumbnails=$(grep -o '<img [^>]*>' "$work/gallery.html" | wc -l)
loaded=$(grep -o '<img [^>]*class="loaded"[^>]*>' "$work/gallery.html" | wc -l)
echo "gallery-check: $loaded of $thumbnails thumbnails loaded; screenshot $screenshot"
[ -s "$screenshot" ] || { echo "gallery-check: no screenshot was written" >&2; exit 1; }
if [ "$thumbnails" -eq 0 ] || [ "$loaded" -ne "$thumbnails" ]; then
    grep -o '<img [^>]*>' "$work/gallery.html" | grep -v 'class="loaded"' >&2 || true
    exit 1
fi
