#!/usr/bin/env bash
# bench/http.sh: quorin-host with quorin.so next to the nginx peer (proxy_cache
# in front of image_filter), both on 127.0.0.1 with empty caches, measured the
# same way in one run. Prints one table: row, our figure, the peer's, ratio.
#
# Rows: cold first request per image (median, max); cache hits on one image
# and rotating over all 20 (wrk -t$THREADS -c$CONN: req/s, p50, p99, max);
# keep-alive hits on one connection (wrk -t1 -c1); resident memory (RSS and
# PSS from smaps_rollup, the process and its children) sampled halfway
# through the one-image hit load. Each wrk row runs RUNS times, alternating
# the two servers, after a 1 s warm-up; the table shows the median of each
# figure.
#
# Knobs: DUR=10 (s per wrk run) RUNS=3 CONN=16 THREADS=2 PORT=18090
#        W=320 H=240 ONE=img20-2000x1500.jpg BUILD=build-perf-http
#        HOST_THREADS= (quorin-host --threads; empty: its default)
#        PEER=/work/shared/peer KEEP=1 (keep the work directory)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

DUR=${DUR:-10} RUNS=${RUNS:-3} CONN=${CONN:-16} THREADS=${THREADS:-2} PORT=${PORT:-18090}
W=${W:-320} H=${H:-240} ONE=${ONE:-img20-2000x1500.jpg} BUILD=${BUILD:-build-perf-http}
HOST_THREADS=${HOST_THREADS:-} PEER=${PEER:-/work/shared/peer}
q="?w=$W&h=$H"
ours=http://127.0.0.1:$PORT peer=http://127.0.0.1:18080

for tool in wrk curl convert nginx; do
    command -v "$tool" >/dev/null || {
        echo "needs $tool: scripts/install-deps.sh nginx libnginx-mod-http-image-filter wrk imagemagick" >&2
        exit 1
    }
done

# build_host and mem come from here.
. bench/lib.sh
build_host

# Everything of one run lives here; world-readable, since the peer's
# workers run as nobody and read the corpus.
work=$(mktemp -d /tmp/quorin-http.XXXXXX)
chmod 755 "$work"
host_pid=
stop_all() {
    if [ -n "$host_pid" ]; then
        kill -TERM "$host_pid" 2>/dev/null || true
        wait "$host_pid" 2>/dev/null || true
    fi
    "$PEER/run-peer.sh" stop >/dev/null 2>&1 || true
    if [ -n "${KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap stop_all EXIT
trap 'exit 130' INT TERM

make_corpus "$work" "$q"

# A copy of the built module with its settings beside it and an empty cache.
mkdir -p "$work/module"
cp "$BUILD/quorin.so" "$work/module/"
scripts/write-settings.sh "$work/module"

"$PEER/run-peer.sh" start "$work/corpus" >/dev/null
peer_pid=$(cat /tmp/peer-nginx/nginx.pid)

host_args=(--images "$work/images" --listen "127.0.0.1:$PORT" --module "$work/module/quorin.so" --quiet)
[ -z "$HOST_THREADS" ] || host_args+=(--threads "$HOST_THREADS")
"$BUILD/quorin-host" "${host_args[@]}" >"$work/host.log" 2>&1 &
host_pid=$!
for _ in $(seq 100); do
    curl -s -o /dev/null "$ours/metrics" && break
    kill -0 "$host_pid" 2>/dev/null || { cat "$work/host.log" >&2; exit 1; }
    sleep 0.1
done

median() { sort -g | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
ms() { awk -v v="$1" 'BEGIN {u=v; sub(/[0-9.]+/, "", u); x=v+0; if (u=="us") x/=1000; else if (u=="s") x*=1000; printf "%.3f", x}'; }

# Cold: one first request per image, then the same URLs again (should hit).
cold() {  # cold NAME BASE
    while read -r u; do
        curl -sS -o /dev/null -w '%{time_total} %{http_code}\n' "$2$u"
    done <"$work/urls.txt" >"$work/$1.cold"
    while read -r u; do
        curl -sS -o /dev/null -w '%{http_code}\n' "$2$u"
    done <"$work/urls.txt" >"$work/$1.warm"
}
cold ours "$ours"
cold peer "$peer"

# wrk NAME SERVER THREADS CONNECTIONS ARGS...: one measured run appended to
# NAME.SERVER as "req/s p50 p99 max errors"; samples memory when NAME is hit_one.
measure() {
    local name=$1 server=$2 threads=$3 connections=$4; shift 4
    local out=$work/$name.$server.wrk pid=$host_pid
    [ "$server" = peer ] && pid=$peer_pid
    wrk -t"$threads" -c"$connections" -d1s "$@" >/dev/null
    local sampler=
    if [ "$name" = hit_one ]; then
        (sleep $((DUR / 2 + 1)); mem "$pid" >>"$work/mem.$server") &
        sampler=$!
    fi
    wrk -t"$threads" -c"$connections" -d"${DUR}s" --latency "$@" >"$out"
    [ -z "$sampler" ] || wait "$sampler"
    printf '%s %s %s %s %s\n' "$(awk '/^Requests\/sec/ {print $2}' "$out")" \
        "$(ms "$(awk '$1=="50%" {print $2}' "$out")")" "$(ms "$(awk '$1=="99%" {print $2}' "$out")")" \
        "$(ms "$(awk '$1=="Latency" {print $4}' "$out")")" \
        "$(awk '/Non-2xx/ {e+=$NF} /Socket errors/ {gsub(/[^0-9 ]/, " "); for (i=1; i<=NF; i++) e+=$i} END {print e+0}' "$out")" \
        >>"$work/$name.$server"
}
for _ in $(seq "$RUNS"); do
    for server in ours peer; do
        base=$ours
        [ "$server" = peer ] && base=$peer
        measure hit_one "$server" "$THREADS" "$CONN" "$base/resize/$ONE$q"
        measure hit_all20 "$server" "$THREADS" "$CONN" -s "$PEER/rotate.lua" "$base" -- "$work/urls.txt"
        measure keepalive_c1 "$server" 1 1 "$base/resize/$ONE$q"
    done
done

# The table. Ratio is ours / peer: above 1 is better for req/s, below 1 is
# better for times and memory.
column_of() { awk -v c="$2" '{print $c}' "$1" | median; }
num() { awk -v v="$1" 'BEGIN {if (v ~ /^[0-9]+$/) print v; else if (v + 0 >= 1000) printf "%.0f", v; else printf "%.3f", v}'; }
row() {  # row LABEL OURS PEER
    printf '| %-40s | %12s | %12s | %6s |\n' "$1" "$(num "$2")" "$(num "$3")" \
        "$(awk -v a="$2" -v b="$3" 'BEGIN {if (b + 0 == 0) print "-"; else printf "%.2f", a / b}')"
}
cold_ms() { awk '{print $1 * 1000}' "$work/$1.cold"; }
statuses() { cat "$work/$1.cold" "$work/$1.warm" | awk '{print $NF}' | sort | uniq -c | xargs; }

echo
echo "quorin-host $(git -C "$root" rev-parse --short HEAD) vs $(nginx -v 2>&1 | sed 's/.*: //') proxy_cache + image_filter;" \
     "${W}x$H; one=$ONE; wrk ${DUR}s x $RUNS runs (medians); $(nproc) cores, shared machine"
echo "statuses, cold then again: ours $(statuses ours); peer $(statuses peer)"
echo
printf '| %-40s | %12s | %12s | %6s |\n' row quorin-host nginx ratio
echo "|------------------------------------------|--------------|--------------|--------|"
row "cold first request, median ms" "$(cold_ms ours | median)" "$(cold_ms peer | median)"
row "cold first request, max ms" "$(cold_ms ours | sort -g | tail -1)" "$(cold_ms peer | sort -g | tail -1)"
for name in hit_one hit_all20 keepalive_c1; do
    case $name in
    hit_one) label="hit one image -c$CONN" ;;
    hit_all20) label="hit all 20 in turn -c$CONN" ;;
    keepalive_c1) label="keep-alive hit one image -c1" ;;
    esac
    row "$label: req/s" "$(column_of "$work/$name.ours" 1)" "$(column_of "$work/$name.peer" 1)"
    row "$label: p50 ms" "$(column_of "$work/$name.ours" 2)" "$(column_of "$work/$name.peer" 2)"
    row "$label: p99 ms" "$(column_of "$work/$name.ours" 3)" "$(column_of "$work/$name.peer" 3)"
    row "$label: max ms" "$(column_of "$work/$name.ours" 4)" "$(column_of "$work/$name.peer" 4)"
    row "$label: errors" "$(awk '{e+=$5} END {print e}' "$work/$name.ours")" \
        "$(awk '{e+=$5} END {print e}' "$work/$name.peer")"
done
row "RSS under hit load, MiB" "$(column_of "$work/mem.ours" 1)" "$(column_of "$work/mem.peer" 1)"
row "PSS under hit load, MiB" "$(column_of "$work/mem.ours" 2)" "$(column_of "$work/mem.peer" 2)"
