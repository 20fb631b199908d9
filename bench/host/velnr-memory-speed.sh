#!/usr/bin/env bash
# velnr's peak resident memory on a 24 MP 16-bit TIFF, and its wall time against another
# build's, the two run alternately in one sitting (run by hand, on a quiet machine):
#   bench/host/velnr-memory-speed.sh BUILD [OTHER_BUILD] [ROUNDS]
# BUILD and OTHER_BUILD are build folders holding host/velnr (e.g. build/release of two
# worktrees); the first of them with bench/host/velnr_bench_tiff makes the picture. ROUNDS
# defaults to 5.
# Default settings, the output written as the input was (Deflate), metadata copied.
set -euo pipefail

build=$(realpath "${1:?usage: velnr-memory-speed.sh BUILD [OTHER_BUILD] [ROUNDS]}")
other=${2:+$(realpath "$2")}
rounds=${3:-5}
for b in "$build" ${other:+"$other"}; do
    [ -x "$b/host/velnr" ] || { echo "no $b/host/velnr" >&2; exit 2; }
done
maker=
for b in "$build" ${other:+"$other"}; do
    [ -n "$maker" ] || [ ! -x "$b/bench/host/velnr_bench_tiff" ] || maker=$b/bench/host/velnr_bench_tiff
done
[ -n "$maker" ] || { echo "neither build has bench/host/velnr_bench_tiff" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
"$maker" "$work/in.tif"

# One run: wall seconds and peak resident KiB. The last run's output is written back to disk
# first, so that no run pays for the one before it.
run() {
    rm -f "$work/out.tif"
    sync
    /usr/bin/time -f "%e %M" -o "$work/time" "$1/host/velnr" -q --force -o "$work/out.tif" \
        "$work/in.tif"
    cat "$work/time"
}

"$build/host/velnr" -q --force -o "$work/out.tif" "$work/in.tif"  # warms the file cache
total=0 other_total=0 peak=0 other_peak=0
# Alternately first and second (ABBA), which cancels what the order costs.
one() {
    read -r t m < <(run "$build")
    total=$(echo "$total + $t" | bc)
    peak=$((m > peak ? m : peak))
}
another() {
    [ -n "$other" ] || return 0
    read -r t m < <(run "$other")
    other_total=$(echo "$other_total + $t" | bc)
    other_peak=$((m > other_peak ? m : other_peak))
}
for ((i = 1; i <= rounds; ++i)); do
    if ((i % 2)); then one; another; else another; one; fi
done
mib() { echo "$(($1 / 1024)) MiB"; }
echo "picture: 6000 x 4000 16-bit RGB TIFF, Deflate, $(($(stat -c %s "$work/in.tif") / 1048576)) MiB; $rounds rounds"
echo "peak resident memory: $(mib "$peak")  ($build)"
if [ -n "$other" ]; then
    echo "peak resident memory: $(mib "$other_peak")  ($other)"
    echo "wall time: $(printf "%.3f" "$(echo "scale=4; $other_total / $total" | bc)")x faster than $other"
fi
