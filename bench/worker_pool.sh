#!/usr/bin/env bash
# bench/worker_pool.sh: cold conversions with the conversion workers against
# the build before them (conversions in the server's own process), side by
# side in one run. Both are Release builds of quorin-host with quorin.so,
# serving the peer's 20-image corpus (../shared/peer/make-corpus.sh) as
# /resize/NAME?w=W&h=H. Each round starts both hosts in turn with an empty
# cache and asks every image once (every request a conversion), with curl
# timing each; the hosts alternate which goes first. Prints the median and
# the 90th percentile of each side's cold requests over all rounds and the
# ratio (workers / in-process: below 1.10 meets the target), and checks that
# the second request for each image is a hit (200).
#
# Knobs: ROUNDS=5 W=320 H=240 PORT=18093 BUILD=build-perf-workers
#        BASE= (the in-process commit; default: the parent of the commit that
#        added the workers) BASE_BUILD=build-perf-inprocess
#        PEER=/work/shared/peer KEEP=1 (keep the work directory)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

ROUNDS=${ROUNDS:-5} W=${W:-320} H=${H:-240} PORT=${PORT:-18093}
BUILD=${BUILD:-build-perf-workers} BASE_BUILD=${BASE_BUILD:-build-perf-inprocess}
PEER=${PEER:-/work/shared/peer}
BASE=${BASE:-$(git log --diff-filter=A --format=%H -1 -- host/worker_main.cpp)^}
BASE=$(git rev-parse --short "$BASE")
q="?w=$W&h=$H"

for tool in curl convert; do
    command -v "$tool" >/dev/null || { echo "needs $tool: scripts/install-deps.sh imagemagick" >&2; exit 1; }
done

# mem, build_host, start_host, stop_host and percentile come from here.
. bench/lib.sh
build_host
# The commit before the workers, from its own tree, built once per commit.
if [ "$(cat "$BASE_BUILD/commit" 2>/dev/null)" != "$BASE" ]; then
    rm -rf "$BASE_BUILD" && mkdir -p "$BASE_BUILD/src"
    git archive "$BASE" | tar -x -C "$BASE_BUILD/src"
    (cd "$BASE_BUILD/src" && BUILD="$root/$BASE_BUILD/build" && build_host)
    echo "$BASE" >"$BASE_BUILD/commit"
fi

work=$(mktemp -d /tmp/quorin-workers.XXXXXX)
host_pid=
trap 'stop_host; if [ -n "${KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi' EXIT
trap 'exit 130' INT TERM

"$PEER/make-corpus.sh" "$work/corpus" >/dev/null
mkdir -p "$work/images/resize"
ln "$work/corpus"/* "$work/images/resize/"
(cd "$work/corpus" && ls | sort | awk -v q="$q" '{print "/resize/" $0 q}') >"$work/urls.txt"

# cold SIDE BUILD_DIR: one round of SIDE, from an empty cache.
cold() {
    rm -rf "$work/module"
    BUILD=$2 start_host "$PORT"
    while read -r u; do
        curl -sS -o /dev/null -w '%{time_total}\n' "http://127.0.0.1:$PORT$u"
    done <"$work/urls.txt" >>"$work/$1.cold"
    while read -r u; do
        curl -sS -o /dev/null -w '%{http_code}\n' "http://127.0.0.1:$PORT$u"
    done <"$work/urls.txt" >>"$work/$1.again"
    stop_host
}
for round in $(seq "$ROUNDS"); do
    if [ $((round % 2)) -eq 1 ]; then
        cold workers "$BUILD"; cold inprocess "$BASE_BUILD/build"
    else
        cold inprocess "$BASE_BUILD/build"; cold workers "$BUILD"
    fi
done

ms() { awk '{print $1 * 1000}' "$work/$1.cold" | percentile "$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
hits() { sort "$work/$1.again" | uniq -c | xargs; }
echo
echo "quorin-host $(git rev-parse --short HEAD) (conversion workers) vs $BASE (in-process);" \
     "${W}x$H; $ROUNDS rounds x 20 images, cold; $(nproc) cores, shared machine"
echo "second requests (status:count): workers $(hits workers); in-process $(hits inprocess)"
echo
printf '| %-28s | %10s | %10s | %6s |\n' row workers in-process ratio
echo "|------------------------------|------------|------------|--------|"
for p in 50 90; do
    label="cold request, p$p ms"
    [ "$p" = 50 ] && label="cold request, median ms"
    printf '| %-28s | %10.3f | %10.3f | %6s |\n' "$label" "$(ms workers $p)" "$(ms inprocess $p)" \
        "$(ratio "$(ms workers $p)" "$(ms inprocess $p)")"
done
