#!/usr/bin/env bash
# bench/formats.sh: JPEG, WebP and AVIF at the host's defaults over the peer
# corpus, in process (bench/format_bench.cpp): for each, the median answer
# size, the median conversion time (on the clock and in processor time)
# and the median PSNR against the lossless answer, at 320x240 and at 1280
# pixels a side; then AVIF at the encoder's own default speed (6) and at
# the speeds around the host's, for the choice of --avif-speed.
#
# Knobs: CORPUS=/tmp/peer-corpus (made with the peer rig's make-corpus.sh
#        when missing) PEER=/work/shared/peer REPEATS=3 SPEEDS="6 8 7 5"
#        BUILD=build-release
set -euo pipefail
cd "$(dirname "$0")/.."
CORPUS=${CORPUS:-/tmp/peer-corpus} PEER=${PEER:-/work/shared/peer}
REPEATS=${REPEATS:-3} SPEEDS=${SPEEDS:-6 8 7 5} BUILD=${BUILD:-build-release}

[ -f "$CORPUS/img20-2000x1500.jpg" ] || "$PEER/make-corpus.sh" "$CORPUS" >/dev/null
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target quorin_format_bench >/dev/null

for box in 320x240 1280; do
    # shellcheck disable=SC2086
    "$BUILD/bench/quorin_format_bench" "$CORPUS" "$box" "$REPEATS" $SPEEDS
    echo
done
