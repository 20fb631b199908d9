#!/usr/bin/env bash
# Runs a Windows program that shows windows under Wine on a private virtual X display:
#   wine-xvfb-run.sh PREFIX PROGRAM [ARGS...]
# The display and the prefix's Wine server are started for this program and stopped after it.
set -euo pipefail
prefix="$1"
shift
here="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$(dirname "$prefix")"
# One program at a time per prefix: its server is stopped afterwards.
exec 8>"$prefix.run.lock"
flock 8
status=0
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$here/wine-run.sh" "$prefix" "$@" || status=$?
"$here/wine-run.sh" "$prefix" --stop
exit "$status"
