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
# A test program that fails without printing a line never reached its main: Google Test
# prints its filter before anything runs. Wine starting a process now and then fails so
# (seen once in hundreds of suites); such a start is tried once more and noted in
# PREFIX.retries, which tools/windows-test.sh shows.
case " $* " in
*" --gtest_filter="*) ;;
*) exec wine "$@" ;;
esac
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
status=0
wine "$@" >"$out" 2>"$err" || status=$?
if [ "$status" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
    echo "$(date -u +%FT%TZ) exit $status before any output, started again: $*" >>"$WINEPREFIX.retries"
    status=0
    wine "$@" >"$out" 2>"$err" || status=$?
fi
cat "$out"
cat "$err" >&2
exit "$status"
