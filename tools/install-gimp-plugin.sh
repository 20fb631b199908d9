#!/usr/bin/env bash
# Installs velnr-gimp for the current user: the plug-in and the library beside it (where it
# looks first) in GIMP 2.10's own plug-in folder.
#   tools/install-gimp-plugin.sh            builds the release preset, then installs from it
#   tools/install-gimp-plugin.sh BUILD_DIR  installs what BUILD_DIR holds, as it is
# GIMP2_DIRECTORY chooses another GIMP folder (default ~/.config/GIMP/2.10).
set -euo pipefail
cd "$(dirname "$0")/.."

gimp_dir=${GIMP2_DIRECTORY:-${XDG_CONFIG_HOME:-$HOME/.config}/GIMP/2.10}
if [ ! -d "$gimp_dir" ]; then
    # A plug-in folder made before GIMP's first start would keep GIMP from setting up its own.
    echo "error: $gimp_dir does not exist: start GIMP 2.10 once, then run this again" >&2
    exit 1
fi

if [ $# -ge 1 ]; then
    build=$1
else
    tools/install-deps.sh
    cmake --preset release >/dev/null
    cmake --build --preset release --target velnr-gimp VELNoiseReduction VELNoiseReductionUi
    build=build/release
fi
files=("$build/gimp/velnr-gimp" "$build/plugin/libVELNoiseReduction.so"
       "$build/plugin/libVELNoiseReductionUi.so")
for f in "${files[@]}"; do
    [ -f "$f" ] || { echo "error: $f is missing (is $build a build folder with GIMP found?)" >&2; exit 1; }
done

target=$gimp_dir/plug-ins/velnr-gimp
mkdir -p "$target"
# Through temporary names, so that a GIMP running the plug-in meanwhile never sees half a file.
for f in "${files[@]}"; do
    install -m 755 "$f" "$target/.$(basename "$f").new"
    mv -f "$target/.$(basename "$f").new" "$target/$(basename "$f")"
done
echo "installed into $target; restart GIMP: Filters > Enhance > VEL Noise Reduction..."
