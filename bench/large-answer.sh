#!/usr/bin/env bash
# bench/large-answer.sh: a cache hit of a 200 MB answer from quorin-host
# (with quorin.so) on 127.0.0.1, read by clients of different speeds, and
# what it costs the server in memory.
#
# The answer is an 8192x8192 fit=fill BMP of a corpus image (ONE of the
# peer's make-corpus.sh set): 201,326,646 bytes. One request makes it (the
# miss: conversion, store, answer; its time and the host's VmHWM then are
# printed as context), a pause lets the cache file settle, then each reader
# (bench/large_reader.py, a plain socket on a new connection) asks for it
# as a cache hit:
#   full       reads at full speed;
#   slow-fast  reads SLOW_RATE bytes a second for SLOW_S seconds, then at
#              full speed;
#   full-again reads at full speed once more (the same bytes as before?);
#   slow-again slow-fast once more (does the memory a slow reader leaves
#              behind add up?);
#   leave-slow reads SLOW_RATE bytes a second and closes the connection
#              after LEAVE_SLOW bytes;
#   leave-fast reads at full speed and closes after LEAVE_FAST bytes.
# For each: whether the answer is whole (body bytes = Content-Length,
# nothing after it, a BMP header of 8192x8192 whose size is the
# Content-Length, the same SHA-256 as the first full read), the time, and
# the server's memory growth while it was read: the largest VmRSS sampled
# every 50 ms, and VmHWM (reset with clear_refs just before the request),
# each minus VmRSS just before the request. Then the access log line the
# host wrote for it (the body bytes it counts as sent; written once the
# answer has gone) and the growth of /metrics' body-byte counter. After
# all of them: the host still answers, and its open descriptors and
# threads are back to what they were before the readers.
#
# Target: every answer read to the end is whole, and the growth is under
# 16 MiB for each reader.
#
# Knobs: ONE=img20-2000x1500.jpg SIZE=8192 FORMAT=bmp MEMORY=1073741824
#        (--conversion-memory; the conversion needs the decoded source plus
#        SIZE*SIZE*4 bytes) SLOW_RATE=1048576 SLOW_S=5 LEAVE_SLOW=3145728
#        LEAVE_FAST=104857600 PORT=18092 BUILD=build-release
#        PEER=/work/shared/peer (for its make-corpus.sh) KEEP=1
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

ONE=${ONE:-img20-2000x1500.jpg} SIZE=${SIZE:-8192} FORMAT=${FORMAT:-bmp} MEMORY=${MEMORY:-1073741824}
SLOW_RATE=${SLOW_RATE:-1048576} SLOW_S=${SLOW_S:-5} LEAVE_SLOW=${LEAVE_SLOW:-3145728}
LEAVE_FAST=${LEAVE_FAST:-104857600} PORT=${PORT:-18092} BUILD=${BUILD:-build-release}
PEER=${PEER:-/work/shared/peer}
path="/$ONE?w=$SIZE&h=$SIZE&fit=fill&format=$FORMAT"
base=http://127.0.0.1:$PORT

# What building and this run need (Debian packages; idempotent, quick when present).
scripts/install-deps.sh imagemagick python3 >/dev/null
for tool in curl python3 convert; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

. bench/lib.sh
build_host

work=$(mktemp -d /tmp/quorin-large.XXXXXX)
host_pid=''
stop_all() {
    stop_host
    if [ -n "${KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap stop_all EXIT
trap 'exit 130' INT TERM

"$PEER/make-corpus.sh" "$work/corpus" >/dev/null
mkdir -p "$work/images" "$work/module"
ln "$work/corpus/$ONE" "$work/images/"
cp "$BUILD/quorin.so" "$work/module/"
scripts/write-settings.sh "$work/module"
# The access log is the point here, so not start_host (which passes --quiet).
"$BUILD/quorin-host" --images "$work/images" --listen "127.0.0.1:$PORT" \
    --module "$work/module/quorin.so" --access-log "$work/access.log" \
    --conversion-memory "$MEMORY" >"$work/host.log" 2>&1 &
host_pid=$!
for _ in $(seq 100); do
    curl -s -o /dev/null "$base/healthz" && break
    kill -0 "$host_pid" 2>/dev/null || { cat "$work/host.log" >&2; exit 1; }
    sleep 0.1
done

kb() { awk -v k="$2" '$1 == k ":" {print $2}' /proc/"$1"/status; }
mib() { awk -v k="$1" 'BEGIN {if (k == "" || k == "-") print "-"; else printf "%.1f", k / 1024}'; }
# body_bytes: "counter size": the body-byte counter of /metrics and the
# size of that answer's own body (which the counter holds once it has gone).
body_bytes() {
    curl -sS --max-time 10 -o "$work/metrics" "$base/metrics"
    printf '%s %s' "$(awk '/^quorin_host_response_body_bytes_total/ {s += $NF} END {printf "%.0f", s}' "$work/metrics")" \
        "$(wc -c <"$work/metrics")"
}
# The access log's lines for the large answer, in order.
large_lines() { grep -F "\"GET $path " "$work/access.log" || true; }
# wait_log N: until the access log has N lines for the large answer (at most 30 s).
wait_log() {
    for _ in $(seq 300); do
        [ "$(large_lines | wc -l)" -ge "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

rss_idle=$(kb "$host_pid" VmRSS)
echo 5 >/proc/"$host_pid"/clear_refs 2>/dev/null || true
miss=$(curl -sS --max-time 180 -o /dev/null -w '%{http_code} %{size_download} %{time_total}' "$base$path")
miss_hwm=$(kb "$host_pid" VmHWM)
sleep 4 # the cache file settles; the conversion's memory has gone back
wait_log 1 || true
miss_outcome=$(large_lines | head -1 | awk '{print $(NF - 1)}')

fds() { find /proc/"$host_pid"/fd -mindepth 1 -maxdepth 1 | wc -l; }
threads() { find /proc/"$host_pid"/task -mindepth 1 -maxdepth 1 | wc -l; }
fds_before=$(fds) threads_before=$(threads)

# read_as NAME ARGS...: one reader; its line in $work/NAME, plus the access
# log line and the /metrics growth for its answer.
answers=1 # the miss
read_as() {
    local name=$1 counted
    shift
    counted=$(body_bytes)
    sleep 0.2
    timeout 150 python3 bench/large_reader.py "$PORT" "$path" "$host_pid" --max-seconds 120 "$@" \
        >"$work/$name" || true
    answers=$((answers + 1))
    if wait_log "$answers"; then
        large_lines | sed -n "${answers}p" >"$work/$name.log"
    else
        echo "- - - - - - - - - - - - - none" >"$work/$name.log"
    fi
    # The growth, less the first /metrics answer's own body.
    echo "$(body_bytes) $counted" | awk '{printf "%.0f\n", $1 - $3 - $4}' >"$work/$name.counted"
    sleep 1
}
read_as full
read_as slow-fast --slow-rate "$SLOW_RATE" --slow-seconds "$SLOW_S"
read_as full-again
read_as slow-again --slow-rate "$SLOW_RATE" --slow-seconds "$SLOW_S"
read_as leave-slow --slow-rate "$SLOW_RATE" --slow-seconds 60 --leave-after "$LEAVE_SLOW"
read_as leave-fast --leave-after "$LEAVE_FAST"
sleep 1
fds_after=$(fds) threads_after=$(threads) rss_after=$(kb "$host_pid" VmRSS)
after=$(curl -sS --max-time 60 -o /dev/null -w '%{http_code} %{size_download}' "$base$path")
alive=no
kill -0 "$host_pid" 2>/dev/null && [ "$(curl -s --max-time 5 "$base/healthz")" = ok ] && alive=yes

field() { tr ' ' '\n' <"$work/$1" | awk -F= -v k="$2" '$1 == k {print $2}'; }
reference=$(field full sha256)
echo
echo "quorin-host $(git -C "$root" rev-parse --short HEAD); GET $path; --conversion-memory $MEMORY;" \
     "$(nproc) cores, shared machine; load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "miss (convert, store, answer): status, bytes, seconds: $miss; outcome $miss_outcome;" \
     "VmRSS before $(mib "$rss_idle") MiB, VmHWM during it $(mib "$miss_hwm") MiB"
echo
printf '| %-10s | %-14s | %-11s | %-10s | %-5s | %-4s | %-6s | %-5s | %-7s | %-11s | %-11s | %-11s | %-11s |\n' \
    reader Content-Length "body read" "slow phase" whole same s MiB/s "RSS MiB" "growth: RSS" "growth: HWM" \
    "log bytes" "/metrics +"
echo "|------------|----------------|-------------|------------|-------|------|--------|-------|---------|-------------|-------------|-------------|-------------|"
verdict=met
for name in full slow-fast full-again slow-again leave-slow leave-fast; do
    before=$(field "$name" rss_before_kb) peak=$(field "$name" rss_peak_kb) hwm=$(field "$name" hwm_kb)
    growth=$((peak - before))
    hwm_growth=-
    [ "$hwm" = - ] || hwm_growth=$((hwm - before))
    same=no
    [ "$(field "$name" sha256)" = "$reference" ] && same=yes
    case $name in leave-*) same=- ;; esac
    logged=$(awk '{print $10}' "$work/$name.log")
    printf '| %-10s | %14s | %11s | %10s | %-5s | %-4s | %6s | %5s | %7s | %11s | %11s | %11s | %11s |\n' "$name" \
        "$(field "$name" content_length)" "$(field "$name" body)" "$(field "$name" slow_bytes)" \
        "$(field "$name" whole)" "$same" \
        "$(field "$name" seconds)" "$(field "$name" fast_mib_s)" "$(mib "$before")" "$(mib "$growth")" \
        "$(mib "$hwm_growth")" "$logged" "$(cat "$work/$name.counted")"
    case $name in
    leave-*) ;;
    *) [ "$(field "$name" whole)" = yes ] && [ "$same" = yes ] && [ "$(field "$name" bmp)" = "${SIZE}x$SIZE" ] &&
        [ "$logged" = "$(field "$name" content_length)" ] || verdict="NOT met (answer)" ;;
    esac
    [ "$growth" -lt 16384 ] && { [ "$hwm_growth" = - ] || [ "$hwm_growth" -lt 16384 ]; } ||
        verdict="NOT met (memory)"
done
echo
echo "slow phase: body bytes read at SLOW_RATE=$SLOW_RATE B/s; MiB/s: the reader's rate at full speed (after any"
echo "slow phase); same: the SHA-256 of the body equals the first full read's; RSS MiB: VmRSS before the request;"
echo "growth: largest VmRSS sampled every 50 ms, and VmHWM, minus that; log bytes: the access log's body bytes"
echo "for the answer; /metrics +: growth of quorin_host_response_body_bytes_total over the reader."
echo "access log lines:"
for name in full slow-fast full-again slow-again leave-slow leave-fast; do
    printf '  %-10s %s\n' "$name" "$(cut -d' ' -f6- "$work/$name.log")"
done
echo "after the readers: VmRSS $(mib "$rss_after") MiB; descriptors $fds_before -> $fds_after, threads $threads_before -> $threads_after;" \
     "the same request again: $after; host alive and healthy: $alive"
echo "target (whole answers, growth under 16 MiB): $verdict"
