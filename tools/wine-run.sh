#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix: wine-run.sh PREFIX PROGRAM [ARGS...].
# The Windows builds use it as their test launcher. A missing prefix is created first, once,
# even when several tests start together; tools/windows-test.sh removes it afterwards.
set -euo pipefail
export WINEPREFIX="$1"
shift
export WINEDEBUG=-all
# No Mono or Gecko installers: nothing here needs .NET or an HTML engine.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            wine wineboot -i >/dev/null 2>&1
        fi
    ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
