#!/usr/bin/env bash
# bench/conversion_storm.sh: a storm of conversions of one big PNG against
# quorin-host on 127.0.0.1, and what it does to a cache hit meanwhile. Makes
# a SIZE x SIZE RGB PNG (noise, a few MB on disk, SIZE*SIZE*3 bytes decoded)
# and a 200x200 one, caches the small one once, then fires COUNT curls at
# once for COUNT different widths of the big one (w=100, 101, ...; each
# --max-time MAX_TIME) and, until they are all done, requests the cached
# small image every HIT_EVERY seconds on a new connection, timing each, and
# samples the host's VmRSS (bench/hit_sampler.py).
#
# Prints: the conversion memory budget used (--conversion-memory, or the
# host's default: a quarter of MemTotal), the storm's statuses (200/503/
# other), whether the host is still alive, its peak RSS (VmHWM at the end and
# the largest sampled VmRSS) against budget + 200 MB, the hit latencies (p50,
# p99, max, count, statuses) and the storm's total time.
#
# Knobs: COUNT=64 SIZE=9000 MEMORY= (bytes for --conversion-memory; empty:
#        the host's default) HIT_EVERY=0.02 MAX_TIME=120 PORT=18091
#        BUILD=build-release KEEP=1 (keep the work directory)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

COUNT=${COUNT:-64} SIZE=${SIZE:-9000} MEMORY=${MEMORY:-} HIT_EVERY=${HIT_EVERY:-0.02}
MAX_TIME=${MAX_TIME:-120} PORT=${PORT:-18091} BUILD=${BUILD:-build-release}
base=http://127.0.0.1:$PORT hit="/small.png?w=100"

for tool in curl python3; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

. bench/lib.sh
build_host

work=$(mktemp -d /tmp/quorin-storm.XXXXXX)
host_pid='' sampler_pid='' storm_pids=()
stop_all() {
    for p in "${storm_pids[@]}" $sampler_pid; do kill "$p" 2>/dev/null || true; done
    stop_host
    if [ -n "${KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap stop_all EXIT
trap 'exit 130' INT TERM

mkdir -p "$work/images"
python3 bench/make_png.py "$work/images/big.png" "$SIZE" "$SIZE"
python3 bench/make_png.py "$work/images/small.png" 200 200

host_args=()
if [ -n "$MEMORY" ]; then
    budget=$MEMORY budget_from="--conversion-memory $MEMORY"
    host_args+=(--conversion-memory "$MEMORY")
else  # what the host takes by default: a quarter of physical memory
    budget=$(($(awk '/^MemTotal:/ {print $2}' /proc/meminfo) * 1024 / 4))
    budget_from="host default, MemTotal / 4"
fi
start_host "$PORT" "${host_args[@]}"

status_of() { curl -sS -o /dev/null --max-time 10 -w '%{http_code}' "$base$hit"; }
warm="$(status_of) $(status_of)"

# The sampler first, so that its start-up does not eat into a short storm.
python3 bench/hit_sampler.py "$PORT" "$hit" "$HIT_EVERY" $((MAX_TIME + 20)) "$host_pid" "$work/stop" \
    >"$work/samples" &
sampler_pid=$!
for _ in $(seq 100); do
    grep -q '^hit' "$work/samples" 2>/dev/null && break
    sleep 0.05
done
before=$(wc -l <"$work/samples")  # only the samples during the storm count
start=$(date +%s.%N)
for i in $(seq 0 $((COUNT - 1))); do
    curl -sS -o /dev/null --max-time "$MAX_TIME" -w '%{http_code}\n' "$base/big.png?w=$((100 + i))" \
        >"$work/storm.$i" 2>/dev/null &
    storm_pids+=($!)
done
for p in "${storm_pids[@]}"; do wait "$p" 2>/dev/null || true; done
touch "$work/stop"
wait "$sampler_pid" || true
sampler_pid=''
storm_pids=()
storm_s=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN {printf "%.2f", e - s}')

alive=no hwm_kb=''
if kill -0 "$host_pid" 2>/dev/null && [ "$(status_of)" = 200 ]; then alive=yes; fi
hwm_kb=$(awk '$1 == "VmHWM:" {print $2}' /proc/"$host_pid"/status 2>/dev/null || true)
statuses=$(cat "$work"/storm.* | awk '{k = ($1 == 200 || $1 == 503) ? $1 : "other"; n[k]++; if (k == "other") o[$1]++}
    END {printf "200: %d, 503: %d, other: %d", n[200], n[503], n["other"]
         for (c in o) printf " (%s x%d)", c == "000" ? "no answer" : c, o[c]}')
mib() { awk -v k="$1" 'BEGIN {if (k == "") print "-"; else printf "%.1f", k / 1024}'; }
limit_kb=$((budget / 1024 + 200 * 1024))
tail -n +$((before + 1)) "$work/samples" >"$work/samples.storm"
awk '$1 == "rss" {print $2}' "$work/samples.storm" >"$work/rss"
awk '$1 == "hit" {print $2, $3}' "$work/samples.storm" >"$work/hits"
peak_kb=$(sort -g "$work/rss" | tail -1)
[ -z "$hwm_kb" ] || [ "$hwm_kb" -lt "${peak_kb:-0}" ] || peak_kb=$hwm_kb
hit_ms() { awk '{print $1}' "$work/hits"; }

echo
echo "quorin-host $(git -C "$root" rev-parse --short HEAD); $COUNT concurrent conversions of a ${SIZE}x$SIZE PNG" \
     "($(stat -c %s "$work/images/big.png") bytes, w=100..$((99 + COUNT))); hit $hit every ${HIT_EVERY}s;" \
     "$(nproc) cores, shared machine"
echo "conversion memory budget: $budget bytes ($(mib $((budget / 1024))) MiB; $budget_from)"
echo "small image before the storm, miss then hit: $warm"
echo "storm statuses: $statuses"
echo "storm total time: ${storm_s} s"
echo "host alive after the storm (and answers the hit): $alive"
echo "peak RSS: VmHWM $(mib "$hwm_kb") MiB, largest sampled VmRSS $(mib "$(sort -g "$work/rss" | tail -1)") MiB;" \
     "budget + 200 MB = $(mib "$limit_kb") MiB: $([ "${peak_kb:-0}" -le "$limit_kb" ] && echo within || echo OVER)"
echo "hit latency during the storm: p50 $(hit_ms | percentile 50) ms, p99 $(hit_ms | percentile 99) ms," \
     "max $(hit_ms | percentile 100) ms, count $(wc -l <"$work/hits"), statuses" \
     "$(awk '{print $2}' "$work/hits" | sort | uniq -c | awk '{printf "%s%s:%s", (NR > 1 ? "," : ""), $2, $1}')"
