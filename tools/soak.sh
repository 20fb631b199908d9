#!/usr/bin/env bash
# Soak run of the optimised plug-in library: 1,000 silent runs in one process, then 200
# load/run/unload cycles, with resident memory, threads and open descriptors printed along
# the way; fails when one of them grew. tools/soak.sh [RUNS [CYCLES]]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target velnr_soak VELNoiseReduction >/dev/null
exec build/release/bench/soak/velnr_soak build/release/plugin/libVELNoiseReduction.so "$@"
