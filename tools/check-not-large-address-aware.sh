#!/usr/bin/env bash
# Checks that a 32-bit Windows program keeps the 2 GiB address space of hosts that are not
# large address aware, then runs COMMAND (when given) in its place:
#   check-not-large-address-aware.sh OBJDUMP EXE [COMMAND...]
set -euo pipefail
objdump=$1
exe=$2
shift 2

dump=$("$objdump" -p "$exe")
# The file header's flags, one per line below its "Characteristics 0x..." line.
# (Read to the end: a reader that stops early would kill the writer with SIGPIPE.)
flags=$(awk '/^Characteristics/ {t=1; next} t && /^\t/ {print; next} {t=0}' <<<"$dump")
if [[ $flags != *"32 bit words"* ]]; then
    echo "$exe: not a 32-bit program, or no file header flags in '$objdump -p'" >&2
    exit 1
fi
if [[ $flags == *"large address aware"* ]]; then
    echo "$exe is large address aware: it would see more than 2 GiB" >&2
    exit 1
fi
echo "$exe: not large address aware (2 GiB of address space)"
(($#)) || exit 0
exec "$@"
