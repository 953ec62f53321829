#!/usr/bin/env bash
# bench/origin.sh: origin mode against the images directory, on the peer
# corpus (/work/shared/peer/make-corpus.sh), the origin a Debian nginx on
# 127.0.0.1. Prints:
#   - cold: the first request per image (?w=320&h=240) on a fresh host with
#     empty caches, median over the 20 images, from the directory and from
#     the origin, beside the median time of a plain fetch of the source from
#     nginx; each of RUNS rounds starts new hosts, one per mode in turn, and
#     the per-image figure is the median over rounds;
#   - hits: CPU time of the host process per request (utime+stime from
#     /proc/PID/stat over a wrk run of DUR s, -t1 -c$CONN) on one cached
#     image, for both modes, RUNS runs each alternating, median; after 4 s
#     of warm-up hits, as a file written less than 3 s ago (a fresh copy)
#     has its header facts read again on each request.
# Knobs: RUNS=3 DUR=10 CONN=4 BUILD=build (a build with quorin-host and
# quorin.so; built as Release with bench/lib.sh when missing) KEEP=1
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${RUNS:-3} DUR=${DUR:-10} CONN=${CONN:-4} BUILD=${BUILD:-build} PEER=${PEER:-/work/shared/peer}
q="?w=320&h=240"
for tool in wrk curl convert nginx python3; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done
. bench/lib.sh
[ -x "$BUILD/quorin-host" ] && [ -f "$BUILD/quorin.so" ] || build_host

work=$(mktemp -d /tmp/quorin-origin-bench.XXXXXX)
# nginx's workers run as nobody and read the corpus.
chmod 755 "$work"
trap stop_started EXIT
median() { percentile 50; }

"$PEER/make-corpus.sh" "$work/corpus" >/dev/null
images=$(cd "$work/corpus" && ls)

start_nginx_origin "$work/origin" "$work/corpus" off

# start MODE: a fresh host (empty caches) serving the corpus from the
# directory or the origin; sets port and pid.
start() {
    local dir="$work/run-$1-$RANDOM"
    mkdir -p "$dir/module"
    cp "$BUILD/quorin.so" "$dir/module/"
    scripts/write-settings.sh "$dir/module" >/dev/null
    local source=(--images "$work/corpus")
    [ "$1" = origin ] && source=(--origin "http://127.0.0.1:$origin_port" --source-cache "$dir/sources")
    port=$(free_port)
    "$BUILD/quorin-host" "${source[@]}" --module "$dir/module/quorin.so" --quiet \
        --listen "127.0.0.1:$port" 2>"$dir/stderr.log" &
    pid=$!
    pids+=("$pid")
    for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/healthz" && return 0; sleep 0.1; done
    cat "$dir/stderr.log" >&2
    return 1
}
stop() { kill -TERM "$pid"; wait "$pid" 2>/dev/null || true; }
seconds() { curl -s -o /dev/null -w '%{time_total}\n' "$1"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# Cold requests: per image, RUNS rounds of each mode.
for round in $(seq "$RUNS"); do
    for mode in directory origin; do
        start "$mode"
        for image in $images; do echo "$image $(seconds "http://127.0.0.1:$port/$image$q")"; done \
            >"$work/cold-$mode-$round"
        stop
    done
done
for round in $(seq "$RUNS"); do
    for image in $images; do echo "$image $(seconds "http://127.0.0.1:$origin_port/$image")"; done \
        >"$work/cold-fetch-$round"
done
per_image_median() { # KIND: the median over rounds of each image's time, one line each
    for image in $images; do
        cat "$work"/cold-"$1"-* | awk -v i="$image" '$1 == i {print $2}' | median
    done
}
local_ms=$(per_image_median directory | median | awk '{printf "%.1f", $1 * 1000}')
origin_ms=$(per_image_median origin | median | awk '{printf "%.1f", $1 * 1000}')
fetch_ms=$(per_image_median fetch | median | awk '{printf "%.2f", $1 * 1000}')
extra_ms=$(paste <(per_image_median origin) <(per_image_median directory) |
    awk '{print $1 - $2}' | median | awk '{printf "%.1f", $1 * 1000}')

# Hits: CPU per request on one cached image.
one="/img20-2000x1500.jpg$q"
for run in $(seq "$RUNS"); do
    for mode in directory origin; do
        start "$mode"
        curl -s -o /dev/null "http://127.0.0.1:$port$one"
        wrk -t1 -c1 -d4s "http://127.0.0.1:$port$one" >/dev/null
        before=$(cpu_ticks "$pid")
        requests=$(wrk -t1 -c"$CONN" -d"${DUR}s" "http://127.0.0.1:$port$one" |
            awk '/requests in/ {print $1}')
        after=$(cpu_ticks "$pid")
        echo "$((after - before)) $requests" | awk '{printf "%.1f\n", $1 * 10000 / $2}' \
            >>"$work/hit-cpu-$mode"
        echo "$requests" >>"$work/hit-count-$mode"
        stop
    done
done

printf '%-44s %12s %12s\n' "" directory origin
printf '%-44s %12s %12s\n' "cold first request, median ms" "$local_ms" "$origin_ms"
printf '%-44s %12s %12s\n' "  origin minus directory, median per image" "" "$extra_ms"
printf '%-44s %12s %12s\n' "  plain fetch from nginx, median ms" "" "$fetch_ms"
printf '%-44s %12s %12s\n' "hit CPU per request, median us" \
    "$(median <"$work/hit-cpu-directory")" "$(median <"$work/hit-cpu-origin")"
printf '%-44s %12s %12s\n' "hits per run ($DUR s, -c$CONN), median" \
    "$(median <"$work/hit-count-directory")" "$(median <"$work/hit-count-origin")"
