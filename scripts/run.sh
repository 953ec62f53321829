#!/usr/bin/env bash
# Installs what is needed, builds quorin.so and quorin-host, and serves
# images through the quorin cache on http://127.0.0.1:8080/.
#
# On the first run it writes a default quorin.setting beside the built
# quorin.so (cache in build-release/cache, expiry log beside it) and, unless
# --images DIR is given, generates a few sample images to serve. Further
# arguments go to quorin-host, e.g.
#   scripts/run.sh --images ~/Pictures --listen 127.0.0.1:9000
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target quorin quorin-host

build="$(pwd)/build-release"
if [ ! -e "$build/quorin.setting" ]; then
    scripts/write-settings.sh "$build"
    echo "wrote $build/quorin.setting: cache in $build/cache, expiry log $build/quorin-expiry.log"
fi

arguments=("$@")
images_given=false
for argument in "$@"; do
    [ "$argument" = --images ] && images_given=true
done
if ! $images_given; then
    samples="$build/sample-images"
    if [ -z "$(ls -A "$samples" 2>/dev/null)" ]; then
        "$build/quorin-host" --make-samples "$samples"
    fi
    arguments=(--images "$samples" "${arguments[@]}")
fi

echo "starting quorin-host: open the address it prints in a browser; Ctrl-C stops it"
exec "$build/quorin-host" "${arguments[@]}"
