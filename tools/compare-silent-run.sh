#!/usr/bin/env bash
# Runs the same silent runs in the Linux and the Windows build of the plug-in and compares the
# output bits:
#   compare-silent-run.sh LINUX_HOST LINUX_LIBRARY WINE_RUN WINEPREFIX WINDOWS_HOST WINDOWS_DLL WORK
# Exits 77 (skipped) when the Linux build is missing, unless VELNR_REQUIRE_LINUX_BUILD is set.
set -euo pipefail
linux_host=$1 linux_library=$2 wine_run=$3 prefix=$4 windows_host=$5 windows_dll=$6 work=$7

if [ ! -x "$linux_host" ] || [ ! -f "$linux_library" ]; then
    echo "no Linux build at $linux_host / $linux_library (cmake --build --preset debug)" >&2
    [ -n "${VELNR_REQUIRE_LINUX_BUILD:-}" ] && exit 1
    exit 77
fi
mkdir -p "$work/linux" "$work/windows"
echo "Linux:"
"$linux_host" "$linux_library" "$work/linux/result.raw" "$work/linux"
echo "Windows:"
# The Windows program gets Windows paths: Wine maps the Unix root to drive Z:.
"$wine_run" "$prefix" "$windows_host" "Z:${windows_dll//\//\\}" \
    "Z:${work//\//\\}\\windows\\result.raw" "Z:${work//\//\\}\\windows"
if ! cmp "$work/linux/result.raw" "$work/windows/result.raw"; then
    echo "the Linux and Windows libraries give different output bits" >&2
    exit 1
fi
echo "identical: $(stat -c %s "$work/linux/result.raw") bytes"
