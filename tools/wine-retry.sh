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
    # The output streams as it comes (a test that hangs still shows how far it got); it is
    # also kept, to tell a silent start. Google Test's stderr joins its stdout, as in CTest's log.
    local out status attempt
    out=$(mktemp)
    for attempt in 1 2; do
        set +e
        "$@" 2>&1 | tee "$out"
        status=${PIPESTATUS[0]}
        set -e
        if [ "$status" -eq 0 ] || [ -s "$out" ] || [ "$attempt" -eq 2 ]; then
            break
        fi
        echo "$(date -u +%FT%TZ) exit $status before any output, started again: $*" \
            >>"${VELNR_WINE_RETRY_LOG:-/dev/stderr}"
    done
    rm -f "$out"
    return "$status"
}
