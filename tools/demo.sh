#!/usr/bin/env bash
# The main job, from a fresh machine: installs what is missing, builds velnr and the plug-in
# (release), adds seeded synthetic noise to the bundled photograph, denoises it with velnr,
# and writes the result and a before/after picture, printing where they are and the PSNR of
# the noisy and the denoised picture against the clean one.
#
#   tools/demo.sh [PRESET]     PRESET: a velnr --preset value (default "Remove noise - strong")
#
# VELNR_DEMO_DIR chooses the output folder (default build/demo).
set -euo pipefail
cd "$(dirname "$0")/.."

preset=${1:-"Remove noise - strong"}
out=${VELNR_DEMO_DIR:-build/demo}
clean=host/data/coffee.png
sigma=0.06   # noise standard deviation on the 0..1 scale (about 15 of 255)
seed=20261206

tools/install-deps.sh
echo "Building velnr and the plug-in (release)..."
cmake --preset release >/dev/null
cmake --build --preset release --target velnr velnr-demo >/dev/null
bin=build/release/host

mkdir -p "$out"
rm -f "$out/settings.ini" "$out/noisy.png" "$out/denoised.png" "$out/before-after.png"
"$bin/velnr-demo" noise "$clean" "$out/noisy.png" "$sigma" "$seed"

# A settings file of the demo's own, so the user's settings neither change nor matter.
"$bin/velnr" --settings "$out/settings.ini" --preset "$preset" -q \
    -o "$out/denoised.png" "$out/noisy.png"
"$bin/velnr-demo" side-by-side "$out/noisy.png" "$out/denoised.png" "$out/before-after.png"

noisy_psnr=$("$bin/velnr-demo" psnr "$clean" "$out/noisy.png")
denoised_psnr=$("$bin/velnr-demo" psnr "$clean" "$out/denoised.png")
cat <<REPORT

VEL Noise Reduction demo ($clean, noise sigma $sigma, seed $seed, preset "$preset")
  noisy picture:     $out/noisy.png      PSNR $noisy_psnr dB
  denoised picture:  $out/denoised.png   PSNR $denoised_psnr dB
  before | after:    $out/before-after.png
REPORT
