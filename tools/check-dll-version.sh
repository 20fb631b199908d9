#!/usr/bin/env bash
# Checks the version resource of a Windows build of the plug-in, read back from the DLL itself:
#   check-dll-version.sh WINDRES DLL VERSION
# File and product version (numbers and texts) must be VERSION (MAJOR.MINOR.PATCH), and the
# product name, company and original file name the project's.
set -euo pipefail
windres=$1
dll=$2
version=$3

[[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] || {
    echo "check-dll-version: '$version' is not MAJOR.MINOR.PATCH" >&2
    exit 2
}
numbers="${BASH_REMATCH[1]}, ${BASH_REMATCH[2]}, ${BASH_REMATCH[3]}, 0"
# windres reads the DLL's resource section back as resource script text.
script=$("$windres" -J coff -i "$dll" -O rc 2>&1) || {
    case $script in
        *"no resource section"*) echo "$dll: no version resource (no resources at all)" >&2 ;;
        *) echo "$dll: windres cannot read its resources: $script" >&2 ;;
    esac
    exit 1
}

status=0
expect() { # WHAT EXPECTED: one line of the script must read exactly EXPECTED (spaces trimmed)
    if ! sed 's/^[ \t]*//; s/[ \t]*$//' <<<"$script" | grep -qxF -- "$2"; then
        local found
        found=$(grep -wF -- "$1" <<<"$script" | head -n 1 | sed 's/^[ \t]*//') || true
        echo "$dll: $1 is '${found:-missing}', expected '$2'" >&2
        status=1
    fi
}
grep -q 'VERSIONINFO' <<<"$script" || {
    echo "$dll: no version resource" >&2
    exit 1
}
expect "FILEVERSION" "FILEVERSION $numbers"
expect "PRODUCTVERSION" "PRODUCTVERSION $numbers"
expect "FileVersion" "VALUE \"FileVersion\", \"$version\""
expect "ProductVersion" "VALUE \"ProductVersion\", \"$version\""
expect "ProductName" 'VALUE "ProductName", "VEL Noise Reduction"'
expect "CompanyName" 'VALUE "CompanyName", "Korvane"'
expect "OriginalFilename" 'VALUE "OriginalFilename", "VELNoiseReduction.dll"'
if ((status == 0)); then
    echo "$(basename "$dll"): version $version (VEL Noise Reduction, Korvane)"
fi
exit $status
