#!/usr/bin/env bash
# bench/hit-syscalls.sh: the system calls one cache hit costs quorin-host,
# by name. Starts the host on 127.0.0.1 over one source image, makes the
# entry with one request (the miss), then traces the host with strace
# while curl sends the same request HITS times on one connection, and
# prints each call's count divided by HITS.
#
# Knobs: BUILD=build PORT=18191 HITS=200 W=320 H=240 IMAGE=sunrise.jpg (one
#        of the host's --make-samples set) TRACE= (a file to keep the
#        trace in)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build} PORT=${PORT:-18191} HITS=${HITS:-200} W=${W:-320} H=${H:-240}
IMAGE=${IMAGE:-sunrise.jpg} TRACE=${TRACE:-}
for tool in strace curl; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

. bench/lib.sh
work=$(mktemp -d /tmp/quorin-calls.XXXXXX)
host_pid=
trap 'stop_host; rm -rf "$work"' EXIT

"$BUILD/quorin-host" --make-samples "$work/images" >/dev/null
start_host "$PORT"
url="http://127.0.0.1:$PORT/$IMAGE?w=$W&h=$H"
curl -sS -o /dev/null "$url" # the miss
# Settled sources and entries only: what the host remembers about a file
# waits until its status-change time lies safely in the past.
sleep 4

strace -f -qq -o "$work/trace" -p "$host_pid" &
tracer=$!
sleep 1
urls=()
for _ in $(seq "$HITS"); do urls+=(-o /dev/null "$url"); done
codes=$(curl -sS --max-time 60 -w '%{http_code}\n' "${urls[@]}" | sort | uniq -c | xargs)
sleep 0.5
kill -INT "$tracer"
wait "$tracer" 2>/dev/null || true
[ -z "$TRACE" ] || cp "$work/trace" "$TRACE"

echo "$HITS hits on $IMAGE ($codes), calls per hit:"
# Each traced line is "TID name(args) = result"; futex and the tracer's
# own restarts are left in, as they are calls the host makes.
awk -v n="$HITS" '{
        name = $2; sub(/\(.*/, "", name)
        if (name ~ /^[a-z_0-9]+$/) count[name]++
    } END {
        for (c in count) { printf "%8.2f %s\n", count[c] / n, c; total += count[c] }
        printf "%8.2f total\n", total / n
    }' "$work/trace" | sort -k1,1gr
