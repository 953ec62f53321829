#!/usr/bin/env bash
# bench/encoder_memory.sh: what one conversion takes at its peak, by output
# format and AVIF speed: quorin-host (one conversion slot) is started afresh
# for each row, converts the peer corpus's 2000x1500 JPEG once, and its
# VmHWM before and after is read from /proc. The rise above the PNG row of
# the same size is the encoder's own working memory.
#
# Knobs: CORPUS=/tmp/peer-corpus (made with the peer rig's make-corpus.sh
#        when missing) PEER=/work/shared/peer PORT=18092 BUILD=build-release
set -euo pipefail
cd "$(dirname "$0")/.."
CORPUS=${CORPUS:-/tmp/peer-corpus} PEER=${PEER:-/work/shared/peer}
PORT=${PORT:-18092} BUILD=${BUILD:-build-release}
# shellcheck source=bench/lib.sh
source bench/lib.sh

[ -f "$CORPUS/img20-2000x1500.jpg" ] || "$PEER/make-corpus.sh" "$CORPUS" >/dev/null
build_host
work=$(mktemp -d)
trap 'stop_host; rm -rf "$work"' EXIT
mkdir -p "$work/images"
cp "$CORPUS/img20-2000x1500.jpg" "$work/images/big.jpg"

hwm() { awk '/VmHWM/ {print $2}' "/proc/$host_pid/status"; }

printf '| query | AVIF speed | peak rise, MiB | answer bytes |\n|---|---|---|---|\n'
row() {
    local query=$1 speed=$2
    start_host "$PORT" --conversions 1 --avif-speed "$speed"
    local before after
    before=$(hwm)
    curl -s -o "$work/out" "http://127.0.0.1:$PORT/big.jpg?$query"
    after=$(hwm)
    stop_host
    rm -rf "$work/module"
    printf '| %s | %s | %s | %s |\n' "$query" "$speed" \
        "$(awk -v a="$after" -v b="$before" 'BEGIN {printf "%.1f", (a - b) / 1024}')" \
        "$(stat -c %s "$work/out")"
}
for size in "" "w=1000&"; do
    row "${size}format=png" 9
    row "${size}format=jpeg" 9
    row "${size}format=webp" 9
    for speed in 9 6 4 2; do row "${size}format=avif" "$speed"; done
done
