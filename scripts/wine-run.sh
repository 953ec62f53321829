#!/usr/bin/env bash
# Runs a Windows program under Wine: the emulator of the Windows build's
# tests. WINEPREFIX names the prefix (created on first use). Wine's server and
# the prefix's services are started once, detached from the caller's output:
# a test runner that waits for its pipes to close would otherwise wait for
# them too. The server ends by itself a minute after its last program.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} DISPLAY=
mkdir -p "$WINEPREFIX"
{
    flock 9
    # Exit status 0: this call started the server, so the services are not
    # up yet. Neither may inherit the lock.
    if wineserver -p60 </dev/null >/dev/null 2>&1 9>&-; then
        wine wineboot --init </dev/null >/dev/null 2>&1 9>&-
    fi
} 9>"$WINEPREFIX/.start.lock"
exec wine "$@"
