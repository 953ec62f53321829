#!/usr/bin/env bash
# bench/balancer.sh: three quorin-hosts over one nginx origin, behind nginx
# as a balancer (packaging/nginx-balancer.conf), all on 127.0.0.1. A bounded
# load runs through the balancer; one host is stopped (SIGTERM with a drain)
# a third of the way in. Checks that every request got a whole 200 answer and
# that no image was converted on more than two hosts: the one its URL hashes
# to and, once that one stopped, the next on the ring.
#   bench/balancer.sh [REQUESTS]    (default 600; binaries from $BUILD, default build;
#                                    KEEP=1 keeps the logs)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
requests=${1:-600}
[ -x "$BUILD/quorin-host" ] && [ -f "$BUILD/quorin.so" ] ||
    { echo "build quorin-host and quorin in $BUILD first" >&2; exit 1; }
command -v nginx >/dev/null || { echo "needs nginx (scripts/install-deps.sh)" >&2; exit 1; }

work=$(mktemp -d /tmp/quorin-balancer.XXXXXX)
# nginx's workers run as nobody and read the images.
chmod 755 "$work"
. bench/lib.sh
trap stop_started EXIT

# The origin: nginx serving the sample images.
mkdir -p "$work/www"
"$BUILD/quorin-host" --make-samples "$work/www" >/dev/null
start_nginx_origin "$work/origin" "$work/www" "$work/origin/access.log"

# The hosts, each with its own module copy, cache and source copies.
host_ports=()
host_pids=()
hosts=3
for n in $(seq "$hosts"); do
    port=$(free_port)
    mkdir -p "$work/host$n/module"
    cp "$BUILD/quorin.so" "$work/host$n/module/"
    scripts/write-settings.sh "$work/host$n/module" >/dev/null
    "$BUILD/quorin-host" --origin "http://127.0.0.1:$origin_port" \
        --source-cache "$work/host$n/sources" --module "$work/host$n/module/quorin.so" \
        --listen "127.0.0.1:$port" --access-log "$work/host$n/access.log" \
        --drain-seconds 2 2>"$work/host$n/stderr.log" &
    host_pids+=($!)
    pids+=($!)
    host_ports+=("$port")
    wait_for "http://127.0.0.1:$port/healthz"
done

# The balancer, its upstream written from the hosts' states.
balancer_port=$(free_port)
mkdir -p "$work/balancer/temp"
write_balancer() { # the down flag of each host: "0 1 0" marks the second down
    local flags=($1) upstream="" i
    for ((i = 0; i < hosts; i++)); do
        upstream+="server 127.0.0.1:${host_ports[$i]} max_fails=1 fail_timeout=5s"
        [ "${flags[$i]}" = 1 ] && upstream+=" down"
        upstream+="; "
    done
    sed -e "s|@UPSTREAM@|$upstream|" -e "s|@DIR@|$work/balancer|g" \
        -e "s|@LISTEN@|127.0.0.1:$balancer_port|" packaging/nginx-balancer.conf \
        >"$work/balancer/nginx.conf"
}
balancer=(nginx -p "$work/balancer" -c "$work/balancer/nginx.conf")
write_balancer "$(printf '0 %.0s' $(seq "$hosts"))"
"${balancer[@]}" -g "daemon off; pid $work/balancer/nginx.pid;" &
pids+=($!)
wait_for "http://127.0.0.1:$balancer_port/balancer-healthz"

# Health: a host whose /healthz is not 200 (draining, stopped) is marked down.
follow_health() {
    local flags i code
    read -ra flags <<<"$(printf '0 %.0s' $(seq "$hosts"))"
    while :; do
        for ((i = 0; i < hosts; i++)); do
            code=$(curl -s -o /dev/null -w '%{http_code}' --max-time 1 \
                "http://127.0.0.1:${host_ports[$i]}/healthz" || true)
            if [ "$code" != 200 ] && [ "${flags[$i]}" = 0 ]; then
                flags[$i]=1
                write_balancer "${flags[*]}"
                "${balancer[@]}" -g "pid $work/balancer/nginx.pid;" -s reload 2>/dev/null
                echo "host $((i + 1)) answered /healthz with $code: marked down" >&2
            fi
        done
        sleep 0.2
    done
}
follow_health &
pids+=($!)

# The load: REQUESTS GETs over every sample at five sizes, 4 at a time, at
# most 120 s; the first host is stopped a third of the way in.
targets=()
for file in "$work"/www/*; do
    for w in 80 120 160 240 320; do targets+=("/$(basename "$file")?w=$w"); done
done
python3 - "$balancer_port" "$requests" "${host_pids[0]}" "${targets[@]}" <<'PY'
import os, signal, sys, threading, time, urllib.request
port, total, victim, targets = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4:]
deadline = time.monotonic() + 120
lock = threading.Lock()
state = {"next": 0, "ok": 0, "bad": []}
def worker():
    while time.monotonic() < deadline:
        with lock:
            i = state["next"]
            if i >= total: return
            state["next"] += 1
            if i == total // 3: os.kill(victim, signal.SIGTERM)
        target = targets[i % len(targets)]
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{port}{target}", timeout=30) as r:
                body = r.read()
                whole = r.status == 200 and len(body) > 0 and len(body) == int(r.headers["Content-Length"])
        except Exception as error:
            whole = False
            print(f"{target}: {error}", file=sys.stderr)
        with lock:
            if whole: state["ok"] += 1
            else: state["bad"].append(target)
threads = [threading.Thread(target=worker) for _ in range(4)]
for t in threads: t.start()
for t in threads: t.join()
print(f"answered whole: {state['ok']} of {total}; failed: {len(state['bad'])} {state['bad'][:5]}")
sys.exit(0 if state["ok"] == total else 1)
PY

# Conversions: how many hosts stored each image.
most=0
for target in "${targets[@]}"; do
    converting=0
    for n in $(seq "$hosts"); do
        grep -F "\"GET $target HTTP/1.1\" 200 " "$work/host$n/access.log" 2>/dev/null |
            grep -q '" stored ' && converting=$((converting + 1))
    done
    ((converting > most)) && most=$converting
done
stored=$(cat "$work"/host*/access.log | grep -c '" stored ' || true)
echo "images: ${#targets[@]}; conversions: $stored; most hosts converting one image: $most"
((most <= 2)) || { echo "an image was converted on more than two hosts" >&2; exit 1; }
echo "balancer: every request answered whole, each image converted on at most two hosts"
