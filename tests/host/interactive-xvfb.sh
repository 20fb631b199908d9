#!/usr/bin/env bash
# velnr --interactive on a private virtual X display, its dialog answered as a user would:
#   interactive-xvfb.sh VELNR PICTURE
# Enter confirms the dialog: the processed file equals a silent run's and --save-settings
# stores the confirmed values. Escape cancels: nothing is written and the file is skipped.
set -euo pipefail
velnr="$1"
picture="$2"
work=$(mktemp -d)
xvfb=
cleanup() {
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"  # the toolkit's caches

# Runs velnr -i with extra options and answers its dialog with a key; prints its status.
answer() {
    local key="$1" window status=0
    shift
    "$velnr" -i -q "$@" "$picture" 2>"$work/err" &
    local pid=$!
    window=$(timeout 60 xdotool search --sync --name '^VEL Noise Reduction 1.0$' | head -n 1)
    xdotool windowfocus --sync "$window"
    xdotool key "$key"
    wait "$pid" || status=$?
    echo "$status"
}
fail() {
    echo "FAILED: $*" >&2
    cat "$work/err" >&2
    exit 1
}

status=$(answer Escape -o "$work/cancelled.png")
[ "$status" = 3 ] || fail "cancel: status $status, not 3"
[ ! -e "$work/cancelled.png" ] || fail "cancel: a file was written"
grep -q "cancelled in the plug-in's dialog" "$work/err" || fail "cancel: not reported"

status=$(answer Return -o "$work/confirmed.png" --settings "$work/settings.ini" --save-settings)
[ "$status" = 0 ] || fail "OK: status $status"
grep -q '^Luma Threshold=-2' "$work/settings.ini" || fail "OK: the settings were not saved"
"$velnr" -q -o "$work/silent.png" "$picture" 2>"$work/err" || fail "silent run"
cmp -s "$work/confirmed.png" "$work/silent.png" || fail "OK: not the silent run's pixels"
echo "cancel and OK behave"
