#!/usr/bin/env bash
# Renders every dialog to PNG files for review:
#   build/dialogs/qt/*.png      the Qt backend, headless (offscreen platform); the settings
#                               dialog shows the bundled photograph host/data/coffee.png
#   build/dialogs/win32/*.png   the Win32 backend under Wine on a private Xvfb display, when
#                               the win64 preset is configured and Wine and Xvfb are installed
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset debug >/dev/null
cmake --build --preset debug --target velnr_render_dialogs
QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
    build/debug/tools/render-dialogs/velnr_render_dialogs build/dialogs/qt host/data/coffee.png

if [ "${1:-}" = "--win32" ]; then
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 --target velnr_render_dialogs
    exe=$(find build/win64 -name velnr_render_dialogs.exe | head -n 1)
    prefix="$PWD/build/win64/wineprefix-dialogs"
    # Wine and its server live inside the virtual X server and end before it does.
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        status=0
        tools/wine-run.sh "$1" "$2" "build\dialogs\win32" "host\data\coffee.png" || status=$?
        tools/wine-run.sh "$1" --stop
        exit $status' render "$prefix" "$exe"
    rm -rf "$prefix" "$prefix.lock"
fi
