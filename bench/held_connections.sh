#!/usr/bin/env bash
# bench/held_connections.sh: how quorin-host and the nginx peer (proxy_cache
# in front of image_filter) cope with many held connections, side by side on
# 127.0.0.1, each with its default options. For each server one client
# (bench/held_client.py) opens HELD connections: half send an unfinished
# request header, half a whole keep-alive request for a cached image, read
# the answer and idle. While they are all held, PROBES requests for that
# image on a new connection each are timed (connect to last byte), and the
# server's memory is read (RSS and PSS from smaps_rollup, the process and
# its children: nginx's master, workers and cache processes).
#
# The holding lasts a few seconds, well inside both servers' header and
# keep-alive timeouts (ours 10 s and 15 s, nginx 60 s and 75 s).
#
# Prints one table: row, quorin-host, nginx — connections held, answers to
# the held keep-alive requests, held ones still open after the probes, probe
# median and max ms (of the answered ones) and statuses, memory before and while holding.
#
# Knobs: HELD=2000 PROBES=10 PORT=18090 W=320 H=240 BUILD=build-release
#        PEER=/work/shared/peer KEEP=1 (keep the work directory)
#        PEER_WORKER_CONNECTIONS= (run the peer from a copy of its config with
#        this worker_connections; empty: the shared config as it is)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

HELD=${HELD:-2000} PROBES=${PROBES:-10} PORT=${PORT:-18090} W=${W:-320} H=${H:-240}
BUILD=${BUILD:-build-release} PEER=${PEER:-/work/shared/peer}
PEER_WORKER_CONNECTIONS=${PEER_WORKER_CONNECTIONS:-}
image="/resize/held.png?w=$W&h=$H"
peer_pidfile=/tmp/peer-nginx/nginx.pid

for tool in curl nginx python3; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done
# The client holds HELD sockets and each server as many; both inherit this.
[ "$(ulimit -n)" -ge $((HELD + 256)) ] || ulimit -n $((HELD + 256))

. bench/lib.sh
refuse_if_peer_running
build_host

work=$(mktemp -d /tmp/quorin-held.XXXXXX)
chmod 755 "$work"
host_pid='' peer_started='' client_pid=''
stop_all() {
    [ -z "$client_pid" ] || kill "$client_pid" 2>/dev/null || true
    stop_host
    [ -z "$peer_started" ] || "$peer_run" stop >/dev/null 2>&1 || true
    if [ -n "${KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap stop_all EXIT
trap 'exit 130' INT TERM

mkdir -p "$work/corpus" "$work/images/resize"
python3 bench/make_png.py "$work/corpus/held.png" 800 600
chmod 644 "$work/corpus/held.png"
ln "$work/corpus/held.png" "$work/images/resize/"

peer_run=$PEER/run-peer.sh
peer_conf=$PEER/nginx-peer.conf
if [ -n "$PEER_WORKER_CONNECTIONS" ]; then
    mkdir -p "$work/peer"
    cp "$PEER/run-peer.sh" "$work/peer/"
    sed "s/worker_connections [0-9]*;/worker_connections $PEER_WORKER_CONNECTIONS;/" \
        "$PEER/nginx-peer.conf" >"$work/peer/nginx-peer.conf"
    peer_run=$work/peer/run-peer.sh peer_conf=$work/peer/nginx-peer.conf
fi
peer_workers=$(awk '$1=="worker_processes" {print $2+0}' "$peer_conf")
peer_conns=$(grep -o 'worker_connections [0-9]*' "$peer_conf" | awk '{print $2}')

"$peer_run" start "$work/corpus" >/dev/null
peer_started=1
peer_pid=$(cat "$peer_pidfile")
start_host "$PORT"

# hold NAME PORT PID PARTIAL_PATH: one held-connection run against one server,
# results in $work/NAME.*.
hold() {
    local name=$1 port=$2 pid=$3 partial=$4 kind a b c d
    # Cached first, so that the held keep-alive requests and the probes are hits.
    curl -sS -o /dev/null "http://127.0.0.1:$port$image"
    curl -sS -o /dev/null "http://127.0.0.1:$port$image"
    mem "$pid" >"$work/$name.idle"
    coproc CLIENT { exec python3 bench/held_client.py "$port" "$HELD" "$partial" "$image" "$PROBES"; }
    client_pid=$CLIENT_PID # set by coproc
    : >"$work/$name.probes"
    while read -r -t 60 kind a b c d <&"${CLIENT[0]}"; do
        case $kind in
        held) echo "$a $b $c ${d:-none}" >"$work/$name.held" ;;
        probe) echo "$a $b" >>"$work/$name.probes" ;;
        still) echo "$a" >"$work/$name.still"; break ;;
        esac
    done
    mem "$pid" >"$work/$name.mem"
    echo "measured" >&"${CLIENT[1]}"
    wait "$client_pid" || true
    client_pid=
}
hold ours "$PORT" "$host_pid" /healthz
hold peer 18080 "$peer_pid" "$image"

field() { awk -v c="$2" '{print $c}' "$work/$1"; }
median() { sort -g | awk '{v[NR]=$1} END {if (NR) printf "%.3f", (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2); else print "-"}'; }
row() { printf '| %-44s | %18s | %18s |\n' "$@"; }
answered_ms() { awk '$2 != 0 {print $1}' "$work/$1.probes"; }
probe_statuses() { awk '{print $2}' "$work/$1.probes" | sort | uniq -c | awk '{printf "%s%s:%s", (NR > 1 ? "," : ""), $2, $1}'; }

echo
echo "quorin-host $(git -C "$root" rev-parse --short HEAD) (default options) vs $(nginx -v 2>&1 | sed 's/.*: //')" \
     "proxy_cache + image_filter; HELD=$HELD, half unfinished headers, half idle keep-alive;" \
     "probe GET $image x $PROBES; $(nproc) cores, shared machine"
if [ -n "$PEER_WORKER_CONNECTIONS" ]; then
    echo "nginx runs from a COPY of $PEER/nginx-peer.conf with worker_connections $peer_conns" \
         "(shared config unchanged), worker_processes $peer_workers"
else
    echo "nginx: the shared config as is, worker_processes $peer_workers x worker_connections $peer_conns"
fi
echo
row row quorin-host nginx
echo "|----------------------------------------------|--------------------|--------------------|"
row "connections held / asked" "$(field ours.held 1)/$HELD" "$(field peer.held 1)/$HELD"
row "held keep-alive requests answered (status:n)" "$(field ours.held 3) ($(field ours.held 4))" \
    "$(field peer.held 3) ($(field peer.held 4))"
row "held ones still open after the probes" "$(cat "$work/ours.still")" "$(cat "$work/peer.still")"
row "answered probes, median ms" "$(answered_ms ours | median)" "$(answered_ms peer | median)"
row "answered probes, max ms" "$(answered_ms ours | percentile 100)" "$(answered_ms peer | percentile 100)"
row "probe statuses (0: no answer)" "$(probe_statuses ours)" "$(probe_statuses peer)"
row "RSS before holding, MiB" "$(field ours.idle 1)" "$(field peer.idle 1)"
row "PSS before holding, MiB" "$(field ours.idle 2)" "$(field peer.idle 2)"
row "RSS while holding, MiB" "$(field ours.mem 1)" "$(field peer.mem 1)"
row "PSS while holding, MiB" "$(field ours.mem 2)" "$(field peer.mem 2)"
if grep -q 'worker_connections are not enough' /tmp/peer-nginx/logs/error.log 2>/dev/null; then
    echo
    echo "nginx error.log: $(grep -c 'worker_connections are not enough' /tmp/peer-nginx/logs/error.log)" \
         "x \"worker_connections are not enough\""
fi
