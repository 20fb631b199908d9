#!/usr/bin/env bash
# The Windows part of the tests (called by tools/test.sh after the Linux builds):
# - builds the 32-bit plug-in DLL (the one hosts load) and checks its export and import tables;
# - builds the 64-bit DLL and the test suite, and runs it under Wine in a private prefix
#   inside the build folder, created here and removed afterwards. Among the tests: the same
#   silent runs in the Linux and the Windows library must give identical output bits (the
#   Linux side comes from the debug build, build/debug). Xvfb gives Wine a display.
# Only 64-bit Wine is available, so the i686 DLL is built and inspected but not run.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
start=$SECONDS

echo "== Windows i686: plug-in DLL and its tables"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs" --target VELNoiseReduction
tools/check-dll-tables.sh i686-w64-mingw32-objdump build/win32/bin/VELNoiseReduction.dll

echo "== Windows x86_64: plug-in DLL and test suite under Wine"
cmake --preset win64 -DVELNR_LINUX_BUILD_DIR="$PWD/build/debug" >/dev/null
cmake --build --preset win64 -j "$jobs"

prefix="$PWD/build/win64/wineprefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stop_wine() {
    tools/wine-run.sh "$prefix" --stop
    rm -rf "$prefix" "$prefix.lock"
}
trap stop_wine EXIT
stop_wine
# Dialogs need a display even under Wine, so every Wine process, from the prefix's creation
# on, runs in one virtual X server; the Wine server ends before the X server does. One
# persistent Wine server serves the whole suite instead of one per test.
VELNR_REQUIRE_LINUX_BUILD=1 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    mkdir -p "$WINEPREFIX"
    wineserver -p
    status=0
    tools/wine-run.sh "$WINEPREFIX" --prepare && ctest --preset win64 || status=$?
    tools/wine-run.sh "$WINEPREFIX" --stop
    exit $status'

echo "== Windows part took $((SECONDS - start)) s"
