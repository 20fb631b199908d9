#!/usr/bin/env bash
# The Windows part of the tests (called by tools/test.sh after the Linux builds), for both
# DLLs: builds the DLL and the test suite, checks the DLL's export and import tables, and runs
# the suite under Wine. Among the tests: the same silent runs in the Linux and the Windows
# library must give identical output bits (the Linux side comes from the debug build,
# build/debug). Xvfb gives Wine a display.
# - x86_64: this machine's Wine, in a private prefix inside the build folder, created here and
#   removed afterwards;
# - i686 (the DLL hosts load): the kernel here runs no 32-bit program, so tools/i686-wine.sh
#   sets up (once, cached outside the repository) an i386 Debian tree whose Wine runs under
#   user-mode emulation, and runs the suite there, then (test preset win32-big) a 45 MP picture
#   in a host that is not large address aware. A set-up that cannot be made fails here.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
start=$SECONDS
export VELNR_WINE_RETRY_LOG=$PWD/build/wine-retries.log
rm -f "$VELNR_WINE_RETRY_LOG"
show_retries() {
    if [ -s "$VELNR_WINE_RETRY_LOG" ]; then
        echo "== Wine programs started again after failing before any output:"
        cat "$VELNR_WINE_RETRY_LOG"
    fi
}

echo "== Windows x86_64: plug-in DLL and test suite under Wine"
cmake --preset win64 -DVELNR_LINUX_BUILD_DIR="$PWD/build/debug" >/dev/null
cmake --build --preset win64 -j "$jobs"

prefix="$PWD/build/win64/wineprefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stop_wine() {
    tools/wine-run.sh "$prefix" --stop
    rm -rf "$prefix" "$prefix.lock"
}
trap 'stop_wine; show_retries' EXIT
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
trap show_retries EXIT
stop_wine
x86_64_seconds=$((SECONDS - start))

echo "== Windows i686: plug-in DLL and test suite under 32-bit Wine (emulated)"
i686_start=$SECONDS
tools/i686-wine.sh setup
cmake --preset win32 -DVELNR_LINUX_BUILD_DIR="$PWD/build/debug" >/dev/null
cmake --build --preset win32 -j "$jobs"
tools/check-dll-tables.sh i686-w64-mingw32-objdump build/win32/bin/VELNoiseReduction.dll
VELNR_REQUIRE_LINUX_BUILD=1 xvfb-run -a -s "-screen 0 1024x768x24" \
    tools/i686-wine.sh session ctest --preset win32
# The 45 MP picture in a host limited to 2 GiB of address space, once: minutes of emulation.
big_start=$SECONDS
VELNR_REQUIRE_LINUX_BUILD=1 xvfb-run -a -s "-screen 0 1024x768x24" \
    tools/i686-wine.sh session ctest --preset win32-big
echo "== i686 45 MP picture took $((SECONDS - big_start)) s"

echo "== Windows part took $((SECONDS - start)) s (x86_64 ${x86_64_seconds} s, i686 $((SECONDS - i686_start)) s)"
