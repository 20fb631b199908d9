#!/usr/bin/env bash
# Builds the fuzz targets (preset `fuzz`: clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60), at lowest priority,
# JOBS targets at a time (default 1). New inputs go to build/fuzz/work/<target>/, findings to
# build/fuzz/findings/; the seeds in tests/fuzz/corpus/ and the kept findings in
# tests/fuzz/regressions/ are read, never written; tests/fuzz/<target>.dict, where there is
# one, is the target's dictionary. Prints each target's final figures and fails when any
# target found something. FUZZ_SEED fixes libFuzzer's random seed, so that a short run from
# the same corpus repeats itself.
#   tools/fuzz.sh [SECONDS] [TARGET...]
#   tools/fuzz.sh --seeds     rewrites the image and ICC profile seeds of tests/fuzz/corpus/
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${BUILD_JOBS:-$(nproc)}"
bin=build/fuzz/tests/fuzz
if [ "${1:-}" = "--seeds" ]; then
    exec "$bin/fuzz_seed_corpus" tests/fuzz/corpus
fi

seconds=${1:-60}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
    targets=(fuzz_settings_store fuzz_presets fuzz_read_tiff fuzz_read_png fuzz_read_jpeg
             fuzz_open_plugin fuzz_icc_profile)
fi
jobs=${JOBS:-1}
# The targets write their inputs to files; on a memory file system every save's flush to disk
# costs nothing.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi

run_one() {
    local target=$1 work=build/fuzz/work/$1 findings=build/fuzz/findings
    mkdir -p "$work" "$findings"
    local inputs=("$work" "tests/fuzz/corpus/$target")
    [ -d "tests/fuzz/regressions/$target" ] && inputs+=("tests/fuzz/regressions/$target")
    local dict=()
    [ -f "tests/fuzz/$target.dict" ] && dict=(-dict="tests/fuzz/$target.dict")
    # Image files stay small enough for a few strips; 4 GB is the most any input may take (a legitimate Deflate bomb of 16 KB decodes to about that).
    nice -n 19 "$bin/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
        ${FUZZ_SEED:+-seed="$FUZZ_SEED"} -max_len=16384 -print_final_stats=1 -artifact_prefix="$findings/$target-" \
        "${dict[@]}" "${inputs[@]}" >"build/fuzz/$target.log" 2>&1
}

failed=0
pids=()
names=()
for target in "${targets[@]}"; do
    run_one "$target" &
    pids+=($!)
    names+=("$target")
    if ((${#pids[@]} >= jobs)); then
        wait "${pids[0]}" || { echo "FINDING: ${names[0]} (build/fuzz/${names[0]}.log)"; failed=1; }
        pids=("${pids[@]:1}")
        names=("${names[@]:1}")
    fi
done
for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || { echo "FINDING: ${names[$i]} (build/fuzz/${names[$i]}.log)"; failed=1; }
done

for target in "${targets[@]}"; do
    log=build/fuzz/$target.log
    runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | awk '{print $2}')
    last=$(grep -E '^#[0-9]+' "$log" | tail -1 | grep -oE 'cov: [0-9]+ ft: [0-9]+' || true)
    printf '%-22s %6ss  runs %-10s %s\n' "$target" "$seconds" "${runs:-?}" "${last:-}"
done
exit "$failed"
