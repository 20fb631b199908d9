# shellcheck shell=bash
# Sourced by the Wine launchers. retry_silent_start COMMAND... runs a Windows program and gives
# its output and exit status. A test program that fails without printing a line never reached
# its main (Google Test prints its filter before anything runs): Wine starting a process now and
# then fails so. Such a start is tried once more and noted in VELNR_WINE_RETRY_LOG, which
# tools/windows-test.sh shows at the end. Other programs run once, as they are.
retry_silent_start() {
    case " $* " in
    *" --gtest_filter="*) ;;
    *)
        "$@"
        return
        ;;
    esac
    local out err status=0
    out=$(mktemp) err=$(mktemp)
    "$@" >"$out" 2>"$err" || status=$?
    if [ "$status" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
        echo "$(date -u +%FT%TZ) exit $status before any output, started again: $*" \
            >>"${VELNR_WINE_RETRY_LOG:-/dev/stderr}"
        status=0
        "$@" >"$out" 2>"$err" || status=$?
    fi
    cat "$out"
    cat "$err" >&2
    rm -f "$out" "$err"
    return "$status"
}
