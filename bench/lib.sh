# shellcheck shell=bash disable=SC2154
# bench/lib.sh: pieces the host benchmarks share; sourced, not run.
# Expects $work (the run's directory) and $BUILD (a build directory).

# mem PID: "RSS PSS" in MiB, summed over a process and its children.
mem() {
    for p in "$1" $(pgrep -P "$1"); do cat /proc/"$p"/smaps_rollup 2>/dev/null; done |
        awk '/^Rss:/ {r+=$2} /^Pss:/ {s+=$2} END {printf "%.1f %.1f", r/1024, s/1024}'
}

# build_host: the Release module and host in $BUILD.
build_host() {
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$BUILD" --target quorin quorin-host >/dev/null
}

# start_host PORT ARGS...: a copy of the module with its settings and an empty
# cache under $work/module, quorin-host on 127.0.0.1:PORT serving
# $work/images; sets host_pid and returns once it answers.
start_host() {
    local port=$1; shift
    mkdir -p "$work/module"
    cp "$BUILD/quorin.so" "$work/module/"
    scripts/write-settings.sh "$work/module"
    "$BUILD/quorin-host" --images "$work/images" --listen "127.0.0.1:$port" \
        --module "$work/module/quorin.so" --quiet "$@" >"$work/host.log" 2>&1 &
    host_pid=$!
    for _ in $(seq 100); do
        curl -s -o /dev/null "http://127.0.0.1:$port/healthz" && return 0
        kill -0 "$host_pid" 2>/dev/null || break
        sleep 0.1
    done
    cat "$work/host.log" >&2
    return 1
}

stop_host() {
    [ -n "${host_pid:-}" ] || return 0
    kill -TERM "$host_pid" 2>/dev/null || true
    wait "$host_pid" 2>/dev/null || true
    host_pid=
}

# percentile P: the P-th percentile (nearest rank) of the numbers on stdin.
percentile() { sort -g | awk -v p="$1" '{v[NR]=$1} END {if (NR) {i=int(NR*p/100+0.999999); print v[i<1?1:i]} else print "-"}'; }

# The peer is shared: never stop one that this script did not start.
refuse_if_peer_running() {
    local pidfile=/tmp/peer-nginx/nginx.pid
    if [ -s "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; then
        echo "the peer nginx is already running (pid $(cat "$pidfile")); try again when it is stopped" >&2
        exit 1
    fi
}

# The peer corpus in WORK/corpus, and the same files under the host's
# images directory WORK/images/resize so that both servers answer the same
# URLs (hard links: the host refuses links out of its images directory);
# WORK/urls.txt lists them with the query Q.
make_corpus() {
    local work="$1" q="$2"
    "$PEER/make-corpus.sh" "$work/corpus" >/dev/null
    mkdir -p "$work/images/resize"
    ln "$work/corpus"/* "$work/images/resize/"
    (cd "$work/corpus" && ls | sort | awk -v q="$q" '{print "/resize/" $0 q}') >"$work/urls.txt"
}

# A free TCP port on 127.0.0.1.
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# wait_for URL: returns once URL answers, or fails after 10 s.
wait_for() { for _ in $(seq 100); do curl -s -o /dev/null "$1" && return 0; sleep 0.1; done; return 1; }

# The processes a run started go in $pids; on exit they are stopped and
# $work is removed (KEEP=1 keeps it).
pids=()
stop_started() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    if [ -n "${KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}

# start_nginx_origin DIR ROOT ACCESS_LOG: a Debian nginx serving ROOT on a
# free port of 127.0.0.1 (origin_port), its configuration and logs in DIR,
# ACCESS_LOG a file or "off"; returns once it answers.
start_nginx_origin() {
    local dir=$1 root=$2 access=$3
    origin_port=$(free_port)
    mkdir -p "$dir/temp"
    cat >"$dir/nginx.conf" <<CONF
worker_processes 1;
error_log $dir/error.log;
events { worker_connections 256; }
http {
    access_log $access;
    client_body_temp_path $dir/temp; proxy_temp_path $dir/temp;
    fastcgi_temp_path $dir/temp; uwsgi_temp_path $dir/temp; scgi_temp_path $dir/temp;
    server { listen 127.0.0.1:$origin_port; root $root; }
}
CONF
    nginx -p "$dir" -c "$dir/nginx.conf" -g "daemon off; pid $dir/nginx.pid;" &
    pids+=($!)
    wait_for "http://127.0.0.1:$origin_port/"
}
