#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix: wine-run.sh PREFIX PROGRAM [ARGS...].
# The Windows builds use it as their test launcher. A missing prefix is created first, once,
# even when several tests start together; "wine-run.sh PREFIX --prepare" only creates it, and
# "wine-run.sh PREFIX --stop" ends the prefix's Wine server and waits until it has gone.
# tools/windows-test.sh removes the prefix afterwards.
set -euo pipefail
export WINEPREFIX="$1"
shift
if [ "${1:-}" = "--stop" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    exit 0
fi
export WINEDEBUG=-all
# No Mono or Gecko installers: nothing here needs .NET or an HTML engine.
export WINEDLLOVERRIDES="mscoree,mshtml="
ready="$WINEPREFIX/.velnr-prefix-ready"
if [ ! -f "$ready" ]; then
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        if [ ! -f "$ready" ]; then
            wine wineboot -i >/dev/null 2>&1
            touch "$ready"
        fi
    ) 9>"$WINEPREFIX.lock"
fi
if [ "${1:-}" = "--prepare" ]; then
    exit 0
fi
# shellcheck source=tools/wine-retry.sh
. "$(dirname "$(readlink -f "$0")")/wine-retry.sh"
retry_silent_start wine "$@"
