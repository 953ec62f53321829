#!/usr/bin/env bash
# bench/hit-cpu.sh: CPU time the server spends per cache hit, quorin-host
# (with quorin.so) next to the nginx peer, in one run on 127.0.0.1.
#
# Servers: quorin-host (--quiet, its default threads) on PORT; the peer's
# front (proxy_cache in front of image_filter, 18080); the peer's plain
# sendfile server (18082) over the same converted files, stored from the
# front's answers as measure-peer.sh does. Both caches are warmed first:
# every URL asked twice (the second time must be 200 from the cache), then
# a pause so that quorin-host's memos of settled files apply, then a 1 s
# wrk warm-up before every measured run.
#
# Each measured run is `wrk -t$THREADS -c$CONN -d${DUR}s` on one server,
# for (a) one image repeated (ONE) and (b) all 20 images of the corpus in
# turn (the peer's rotate.lua). The server's CPU is utime + stime from
# /proc/PID/stat (all threads of a process, in clock ticks) of the server
# and its children (nginx: master, workers, cache manager and loader),
# read just before and just after wrk; a process that comes or goes in
# between is left out. CPU per request = that CPU / the requests wrk
# completed. As a check of the tick-based figure, each run's line also
# shows the same from the run time the scheduler counts in nanoseconds
# (/proc/PID/task/*/schedstat, summed over the threads present at both
# reads), and the busiest thread's share of that time: how the server
# spread wrk's connections over its threads or workers. The rounds
# alternate the servers; RUNS rounds.
#
# Prints one line per measured run, then a table of the medians (with the
# min-max over the rounds): µs CPU per request and req/s for each server,
# and the ratios quorin-host / nginx front and quorin-host / sendfile.
#
# With EARLIER=DIR (a build directory holding quorin-host and quorin.so,
# say an older commit's from a worktree), that build runs too, on PORT+1,
# alternating with the others, and a last table sets the two side by side.
#
# Knobs: DUR=10 RUNS=3 CONN=16 THREADS=2 PORT=18090 W=320 H=240
#        ONE=img20-2000x1500.jpg BUILD=build-release HOST_THREADS= EARLIER=
#        PEER=/work/shared/peer KEEP=1 (keep the work directory)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

DUR=${DUR:-10} RUNS=${RUNS:-3} CONN=${CONN:-16} THREADS=${THREADS:-2} PORT=${PORT:-18090}
W=${W:-320} H=${H:-240} ONE=${ONE:-img20-2000x1500.jpg} BUILD=${BUILD:-build-release}
HOST_THREADS=${HOST_THREADS:-} EARLIER=${EARLIER:-} PEER=${PEER:-/work/shared/peer}
q="?w=$W&h=$H"
peer_prefix=/tmp/peer-nginx peer_pidfile=/tmp/peer-nginx/nginx.pid
declare -A base=([quorin]=http://127.0.0.1:$PORT [nginx]=http://127.0.0.1:18080 [sendfile]=http://127.0.0.1:18082
    [earlier]=http://127.0.0.1:$((PORT + 1)))
servers=(quorin nginx sendfile)
if [ -n "$EARLIER" ]; then
    [ -x "$EARLIER/quorin-host" ] && [ -f "$EARLIER/quorin.so" ] ||
        { echo "EARLIER=$EARLIER holds no quorin-host and quorin.so" >&2; exit 1; }
    servers=(quorin earlier nginx sendfile)
fi

# What building and this run need (Debian packages; idempotent, quick when present).
scripts/install-deps.sh nginx libnginx-mod-http-image-filter wrk imagemagick procps >/dev/null
for tool in wrk curl convert nginx pgrep; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

. bench/lib.sh
refuse_if_peer_running
build_host

# World-readable: the peer's workers run as nobody and read the corpus.
work=$(mktemp -d /tmp/quorin-hitcpu.XXXXXX)
chmod 755 "$work"
host_pid='' peer_started='' earlier_pid=''
stop_all() {
    stop_host
    if [ -n "$earlier_pid" ]; then
        kill -TERM "$earlier_pid" 2>/dev/null || true
        wait "$earlier_pid" 2>/dev/null || true
    fi
    [ -z "$peer_started" ] || "$PEER/run-peer.sh" stop >/dev/null 2>&1 || true
    if [ -n "${KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap stop_all EXIT
trap 'exit 130' INT TERM

make_corpus "$work" "$q"
[ "$(wc -l <"$work/urls.txt")" -eq 20 ] || { echo "expected 20 corpus images" >&2; exit 1; }

"$PEER/run-peer.sh" start "$work/corpus" >/dev/null
peer_started=1
peer_pid=$(cat "$peer_pidfile")
host_args=()
[ -z "$HOST_THREADS" ] || host_args+=(--threads "$HOST_THREADS")
if [ -n "$EARLIER" ]; then
    # start_host starts $BUILD's host in $work/module: the earlier build
    # gets its own work directory.
    (work=$work/earlier BUILD=$EARLIER && mkdir -p "$work" && ln -s ../images "$work/images" &&
        start_host $((PORT + 1)) "${host_args[@]}" && echo "$host_pid" >"$work/pid")
    earlier_pid=$(cat "$work/earlier/pid")
fi
start_host "$PORT" "${host_args[@]}"
declare -A pid=([quorin]=$host_pid [earlier]=$earlier_pid [nginx]=$peer_pid [sendfile]=$peer_pid)

# Warm: each URL twice on the host and the front; the front's answers
# become the sendfile server's files. The second round must be all 200.
warm_codes=
for server in "${servers[@]}"; do
    [ "$server" = sendfile ] && continue
    while read -r u; do
        n=${u#/resize/} n=${n%%\?*}
        out=/dev/null
        [ "$server" = nginx ] && out=$peer_prefix/static/resize/$n
        curl -sS --max-time 60 -o "$out" "${base[$server]}$u"
    done <"$work/urls.txt"
    codes=$(while read -r u; do
        curl -sS --max-time 10 -o /dev/null -w '%{http_code}\n' "${base[$server]}$u"
    done <"$work/urls.txt" | sort | uniq -c | xargs)
    warm_codes+="$server $codes; "
done
codes=$(while read -r u; do
    curl -sS --max-time 10 -o /dev/null -w '%{http_code}\n' "${base[sendfile]}$u"
done <"$work/urls.txt" | sort | uniq -c | xargs)
warm_codes+="sendfile $codes"
for server in "${servers[@]}"; do
    case "$warm_codes;" in
    *"$server 20 200;"*) ;;
    *) echo "warming failed: $warm_codes" >&2; exit 1 ;;
    esac
done
# The host remembers a file's facts once its last change is 3 s old.
sleep 4

tick=$(getconf CLK_TCK)
# ticks PID: "pid utime+stime" for PID and each of its children, then
# "pid/tid run-ns" for each of their threads.
ticks() {
    local p t
    for p in "$1" $(pgrep -P "$1"); do
        [ -r /proc/"$p"/stat ] || continue
        # Fields after "(comm) ": state is 1, utime 12, stime 13.
        sed 's/^.*) //' /proc/"$p"/stat 2>/dev/null | awk -v p="$p" '{print p, $12 + $13}'
        for t in /proc/"$p"/task/*; do
            awk -v t="$p/${t##*/}" '{print t, $1}' "$t/schedstat" 2>/dev/null || true
        done
    done
}

# measure SCENARIO SERVER ROUND: one wrk run; appends
# "round us_per_request req_per_s requests cpu_s errors" to $work/SCENARIO.SERVER.
measure() {
    local scenario=$1 server=$2 round=$3 args
    if [ "$scenario" = one ]; then
        args=("${base[$server]}/resize/$ONE$q")
    else
        args=(-s "$PEER/rotate.lua" "${base[$server]}" -- "$work/urls.txt")
    fi
    timeout 30 wrk -t"$THREADS" -c"$CONN" -d1s "${args[@]}" >/dev/null
    ticks "${pid[$server]}" >"$work/before"
    timeout $((DUR + 30)) wrk -t"$THREADS" -c"$CONN" -d"${DUR}s" "${args[@]}" >"$work/wrk.out"
    ticks "${pid[$server]}" >"$work/after"
    local cpu ns busiest requests rps errors
    cpu=$(awk 'NR == FNR {b[$1] = $2; next} ($1 in b) && $1 !~ /\// {s += $2 - b[$1]} END {print s + 0}' \
        "$work/before" "$work/after")
    ns=$(awk 'NR == FNR {b[$1] = $2; next} ($1 in b) && $1 ~ /\// {s += $2 - b[$1]} END {printf "%.0f", s}' \
        "$work/before" "$work/after")
    # How the load spread: the busiest thread's share of the run time.
    busiest=$(awk 'NR == FNR {b[$1] = $2; next} ($1 in b) && $1 ~ /\// {d = $2 - b[$1]; s += d; if (d > m) m = d}
        END {printf "%.0f", s ? 100 * m / s : 0}' "$work/before" "$work/after")
    requests=$(awk '/requests in/ {print $1}' "$work/wrk.out")
    rps=$(awk '/^Requests\/sec/ {print $2}' "$work/wrk.out")
    errors=$(awk '/Non-2xx/ {e += $NF} /Socket errors/ {gsub(/[^0-9 ]/, " "); for (i = 1; i <= NF; i++) e += $i}
        END {print e + 0}' "$work/wrk.out")
    awk -v r="$round" -v c="$cpu" -v t="$tick" -v n="$requests" -v rps="$rps" -v e="$errors" -v ns="$ns" \
        -v b="$busiest" \
        'BEGIN {printf "%d %.2f %.0f %d %.2f %d %.2f %d\n", r, c / t / n * 1e6, rps, n, c / t, e, ns / 1000 / n, b}' \
        >>"$work/$scenario.$server"
    printf '  round %d %-5s %-8s %s\n' "$round" "$scenario" "$server" "$(tail -1 "$work/$scenario.$server" |
        awk '{printf "%6.2f us CPU/request (schedstat %6.2f)  %6.0f req/s  %8d requests  %6.2f s CPU  %d errors  busiest thread %d %%",
            $2, $7, $3, $4, $5, $6, $8}')"
    # Which errors: wrk's own lines, so that a run with errors says what
    # went wrong (timeouts, reads cut off, answers other than 2xx and 3xx).
    [ "$errors" -eq 0 ] || grep -E 'Socket errors|Non-2xx' "$work/wrk.out" | sed 's/^ */    /'
}

echo "quorin-host $(git -C "$root" rev-parse --short HEAD) vs $(nginx -v 2>&1 | sed 's/.*: //');" \
     "wrk -t$THREADS -c$CONN -d${DUR}s x $RUNS rounds; ${W}x$H; one=$ONE; $(nproc) cores, shared machine;" \
     "load $(cut -d' ' -f1-3 /proc/loadavg)"
[ -z "$EARLIER" ] || echo "earlier: $EARLIER, $(git -C "$EARLIER" rev-parse --short HEAD 2>/dev/null || echo "its own tree")"
echo "warm, second request per URL: $warm_codes"
for round in $(seq "$RUNS"); do
    for scenario in one all20; do
        for server in "${servers[@]}"; do measure "$scenario" "$server" "$round"; done
    done
done

# spread FILE COLUMN: "median min max" of a column.
spread() { awk -v c="$2" '{print $c}' "$1" | median_min_max; }
# median_min_max: "median min max" of the numbers on stdin.
median_min_max() {
    sort -g | awk '{v[NR] = $1} END {printf "%s %s %s", (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2), v[1], v[NR]}'
}
# label_of SCENARIO: its row's name in the tables.
label_of() { if [ "$1" = all20 ]; then echo "all 20 in turn"; else echo "one image ($ONE)"; fi; }
# row FIRST CELL...: a table row; head_row FIRST CELL...: the header row and
# the rule under it.
row() {
    printf '| %-32s' "$1"
    shift
    printf ' | %-22s' "$@"
    printf ' |\n'
}
head_row() {
    row "$@"
    printf '|%s' "$(printf '%.0s-' {1..34})"
    for _ in $(seq 2 $#); do printf '|%s' "$(printf '%.0s-' {1..24})"; done
    printf '|\n'
}
# cell MEDIAN MIN MAX FORMAT
cell() { awk -v m="$1" -v a="$2" -v b="$3" -v f="$4" 'BEGIN {printf f " (" f "-" f ")", m, a, b}'; }
# ratios SCENARIO OTHER [COLUMN]: "median min max" of quorin / OTHER per
# round, of COLUMN (2, the CPU per request, unless given).
ratios() {
    paste "$work/$1.quorin" "$work/$1.$2" | awk -v c="${3:-2}" '{print $c / $(c + NF / 2)}' | median_min_max
}

echo
echo "median (min-max) over $RUNS rounds; errors are summed"
head_row load "quorin-host µs CPU/req" "nginx front µs CPU/req" "nginx sendfile µs/req" \
    "quorin/nginx front" "quorin/sendfile" errors
for scenario in one all20; do
    # shellcheck disable=SC2046
    row "$(label_of "$scenario")" \
        "$(cell $(spread "$work/$scenario.quorin" 2) %.1f)" "$(cell $(spread "$work/$scenario.nginx" 2) %.1f)" \
        "$(cell $(spread "$work/$scenario.sendfile" 2) %.1f)" \
        "$(cell $(ratios "$scenario" nginx) %.2f)" "$(cell $(ratios "$scenario" sendfile) %.2f)" \
        "$(cat "$work/$scenario".* | awk '{e += $6} END {print e + 0}')"
done
for scenario in one all20; do
    printf 'check from schedstat, %s: µs CPU/req quorin-host %s, nginx front %s, sendfile %s; quorin/nginx front %s\n' \
        "$scenario" "$(spread "$work/$scenario.quorin" 7 | cut -d' ' -f1)" \
        "$(spread "$work/$scenario.nginx" 7 | cut -d' ' -f1)" "$(spread "$work/$scenario.sendfile" 7 | cut -d' ' -f1)" \
        "$(ratios "$scenario" nginx 7 | awk '{printf "%.2f", $1}')"
done
for scenario in one all20; do
    printf "busiest thread's share of the server's run time, %s: quorin-host %s %%, nginx front %s %%\n" \
        "$scenario" "$(spread "$work/$scenario.quorin" 8 | cut -d' ' -f1)" \
        "$(spread "$work/$scenario.nginx" 8 | cut -d' ' -f1)"
done
echo
head_row load "quorin-host req/s" "nginx front req/s" "nginx sendfile req/s" "quorin/nginx front"
for scenario in one all20; do
    # shellcheck disable=SC2046
    row "$(label_of "$scenario")" \
        "$(cell $(spread "$work/$scenario.quorin" 3) %.0f)" "$(cell $(spread "$work/$scenario.nginx" 3) %.0f)" \
        "$(cell $(spread "$work/$scenario.sendfile" 3) %.0f)" "$(cell $(ratios "$scenario" nginx 3) %.2f)"
done
if [ -n "$EARLIER" ]; then
    echo
    head_row load "earlier µs CPU/req" "quorin-host µs CPU/req" "quorin/earlier" "req/s quorin/earlier"
    for scenario in one all20; do
        # shellcheck disable=SC2046
        row "$(label_of "$scenario")" \
            "$(cell $(spread "$work/$scenario.earlier" 2) %.1f)" "$(cell $(spread "$work/$scenario.quorin" 2) %.1f)" \
            "$(cell $(ratios "$scenario" earlier) %.2f)" "$(cell $(ratios "$scenario" earlier 3) %.2f)"
    done
fi
