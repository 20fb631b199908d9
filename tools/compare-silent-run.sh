#!/usr/bin/env bash
# Runs the same silent runs in the Linux and the Windows build of the plug-in and compares the
# output bits:
#   compare-silent-run.sh LINUX_HOST LINUX_LIBRARY WINDOWS_HOST WINDOWS_DLL WORK LAUNCHER...
# LAUNCHER... runs a Windows program given after it (tools/wine-run.sh PREFIX, or
# tools/i686-wine.sh run for the 32-bit build).
# The engine's exp and cos numbers (velnr_numeric_tables, beside each host) are compared
# first: a difference there names the cause of a difference in the pixels.
# Exits 77 (skipped) when the Linux build is missing, unless VELNR_REQUIRE_LINUX_BUILD is set.
set -euo pipefail
linux_host=$1 linux_library=$2 windows_host=$3 windows_dll=$4 work=$5
shift 5
launcher=("$@")
linux_tables=$(dirname "$linux_host")/velnr_numeric_tables
windows_tables=$(dirname "$windows_host")/velnr_numeric_tables.exe

if [ ! -x "$linux_host" ] || [ ! -f "$linux_library" ] || [ ! -x "$linux_tables" ]; then
    echo "no Linux build at $(dirname "$linux_host") (cmake --build --preset debug)" >&2
    [ -n "${VELNR_REQUIRE_LINUX_BUILD:-}" ] && exit 1
    exit 77
fi
# Windows programs get Windows paths: Wine maps the Unix root to drive Z:.
to_windows() { echo "Z:${1//\//\\}"; }
mkdir -p "$work/linux" "$work/windows"

"$linux_tables" "$work/linux/tables.raw"
"${launcher[@]}" "$windows_tables" "$(to_windows "$work/windows/tables.raw")"
if ! cmp "$work/linux/tables.raw" "$work/windows/tables.raw"; then
    echo "the engine's exp or cos values differ between Linux and Windows" >&2
    exit 1
fi

echo "Linux:"
"$linux_host" "$linux_library" "$work/linux/result.raw" "$work/linux"
echo "Windows:"
"${launcher[@]}" "$windows_host" "$(to_windows "$windows_dll")" \
    "$(to_windows "$work/windows/result.raw")" "$(to_windows "$work/windows")"
if ! cmp "$work/linux/result.raw" "$work/windows/result.raw"; then
    echo "the Linux and Windows libraries give different output bits" >&2
    exit 1
fi
echo "identical: $(stat -c %s "$work/linux/result.raw") bytes of results," \
     "$(stat -c %s "$work/linux/tables.raw") bytes of engine numbers"
