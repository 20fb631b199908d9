#!/usr/bin/env bash
# Checks a Windows build of the plug-in as a host will load it:
#   check-dll-tables.sh OBJDUMP DLL
# - the export table holds exactly the names of plugin/VELNoiseReduction.def, undecorated;
# - the import table names only DLLs that every Windows system has (the compiler's runtime
#   is linked in, never imported).
set -euo pipefail
objdump=$1
dll=$2

expected_exports=$(grep -E '^    [A-Za-z_]+$' "$(dirname "$0")/../plugin/VELNoiseReduction.def" |
    tr -d ' ' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
# Windows' own DLLs; the C runtime msvcrt.dll ships with every Windows version.
system_dlls="advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msimg32.dll \
msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll \
version.dll winmm.dll"

dump=$("$objdump" -p "$dll")
status=0

# Export names follow the "[Ordinal/Name Pointer] Table" heading as "[   0] Name".
exports=$(printf '%s\n' "$dump" |
    awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^[ \t]*\[ *[0-9]+\]/ {print $NF; next} t {t=0}' |
    LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
if [ "$exports" != "$expected_exports" ]; then
    echo "$dll: exports are '$exports', expected '$expected_exports'" >&2
    status=1
fi

imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
if [ -z "$imports" ]; then
    echo "$dll: no import table found" >&2
    status=1
fi
for dll_name in $imports; do
    case " $system_dlls " in
        *" $dll_name "*) ;;
        *)
            echo "$dll: imports $dll_name, which is not a system DLL" >&2
            status=1
            ;;
    esac
done

if [ $status -eq 0 ]; then
    echo "$(basename "$dll"): exports $exports; imports $(echo $imports | tr '\n' ' ')"
fi
exit $status
