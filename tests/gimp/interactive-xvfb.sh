#!/usr/bin/env bash
# velnr-gimp's interactive call inside GIMP on a private virtual X display, its dialog
# answered as a user would:
#   interactive-xvfb.sh GIMP_CONSOLE VELNR_GIMP LIBRARY GIMP_PLUG_IN_DIR VELNR_DEMO PICTURE
# (an 8-bit picture: velnr-demo compares on the 8-bit scale).
# One GIMP session: a non-interactive run with given values (they become the last values),
# then an interactive call confirmed with Return, which must give the same pixels, then one
# cancelled with Escape, which must leave the picture as it was.
set -euo pipefail
gimp_console="$1" plugin=$(realpath "$2") library=$(realpath "$3") gimp_plug_ins="$4" demo="$5" picture="$6"
work=$(mktemp -d)
xvfb=
gimp=
cleanup() {
    [ -z "$gimp" ] || kill "$gimp" 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    [ -n "${VELNR_KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*" >&2
    cat "$work/gimp.log" >&2 || true
    exit 1
}

# Only the plug-in in its folder, the library beside it; of GIMP's own, what the batch uses.
mkdir -p "$work/plug-ins/velnr-gimp" "$work/gimp-plug-ins"
cp "$plugin" "$work/plug-ins/velnr-gimp/"
ln -s "$(dirname "$library")"/libVELNoiseReduction*.so "$work/plug-ins/velnr-gimp/"
for p in script-fu file-png; do ln -s "$gimp_plug_ins/$p" "$work/gimp-plug-ins/$p"; done
echo "(plug-in-path \"$work/gimp-plug-ins:$work/plug-ins\")" >"$work/gimprc"
cp "$picture" "$work/in.png"

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb HOME="$work" \
    XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data" \
    GIMP2_DIRECTORY="$work/gimp"
unset WAYLAND_DISPLAY VELNR_PLUGIN
# The plug-in is built with AddressSanitizer: the toolkits' process-wide caches would fail its
# leak check.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

save() {
    echo "(file-png-save2 RUN-NONINTERACTIVE img (car (gimp-image-get-active-drawable img))
                          \"$work/$1\" \"out\" 0 9 0 0 0 0 0 0 0)"
}
filter() {  # run mode, arguments, output
    echo "(let* ((img (car (gimp-file-load RUN-NONINTERACTIVE \"$work/in.png\" \"in\")))
                 (drw (car (gimp-image-get-active-drawable img))))
            (plug-in-vel-noise-reduction $1 img drw $2)
            $(save "$3") (gimp-image-delete img))"
}
zeros="0 0 0 0 0 0 0 0 0"
"$gimp_console" -i -n -d -f -g "$work/gimprc" \
    -b "$(filter RUN-NONINTERACTIVE "-3 2 12 15 1 1 1 1 3" silent.png)" \
    -b "$(filter RUN-INTERACTIVE "$zeros" confirmed.png)" \
    -b "$(filter RUN-INTERACTIVE "$zeros" cancelled.png)" \
    -b '(gimp-quit 0)' >"$work/gimp.log" 2>&1 &
gimp=$!

# Waits for the settings dialog, answers it with a key and waits until it is gone.
answer() {
    local window
    window=$(timeout 120 xdotool search --sync --name '^VEL Noise Reduction 1.0$' | head -n 1) ||
        fail "no settings dialog appeared"
    xdotool windowfocus --sync "$window"
    xdotool key "$1"
    for _ in $(seq 600); do
        xdotool search --name '^VEL Noise Reduction 1.0$' >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    fail "the dialog stayed open after $1"
}
answer Return
answer Escape
wait "$gimp" || fail "gimp-console ended with status $?"
gimp=

# Equal pixels: a PSNR without end (the files' bytes may differ in GIMP's own chunks).
same() { [ "$("$demo" psnr "$work/$1" "$work/$2" 2>&1)" = inf ]; }
[ -s "$work/silent.png" ] || fail "the non-interactive run saved nothing"
! same in.png silent.png || fail "the non-interactive run changed nothing"
same silent.png confirmed.png || fail "Return: not the non-interactive run's pixels"
# Script-Fu goes on after a cancelled call (GIMP_PDB_CANCEL is no error to it): the picture
# saved then must be the unfiltered one.
same in.png cancelled.png || fail "Escape: the picture changed"
echo "Return and Escape behave"
