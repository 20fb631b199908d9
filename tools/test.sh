#!/usr/bin/env bash
# Runs every test: installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the whole suite, builds the release preset and checks
# its output bits and its soak run, runs the threading tests again under ThreadSanitizer, runs
# each fuzz target briefly, runs the Windows part (tools/windows-test.sh), then makes the
# downloads and tests the Debian package on a clean Debian system (tools/package-test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

jobs=$(nproc)

cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs"
ctest --preset debug

# The optimised build (what the demo and users run, benchmarks included) must compile cleanly
# and give the same output bits as the sanitizer build.
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
ctest --preset release -R 'Golden|Portable'
# 1,000 runs and 200 load/unload cycles of the optimised library: memory, threads and open
# descriptors must stay flat (a few seconds).
build/release/bench/soak/velnr_soak build/release/plugin/libVELNoiseReduction.so

cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan

# A short smoke of every fuzz target (FUZZ_SECONDS each), from a fixed seed so that it repeats
# itself; the long runs are tools/fuzz.sh's.
FUZZ_SEED=${FUZZ_SEED:-1} tools/fuzz.sh "${FUZZ_SECONDS:-20}"

# Windows: both DLLs cross-built, their tables checked, the suite run under Wine, and the
# Windows results compared bit for bit with the Linux library's.
tools/windows-test.sh

# The downloads (Debian packages, Windows zip: lintian, DLL tables and versions checked), and
# the packages installed, run and purged in a fresh Debian tree (cached; under a minute warm).
tools/package.sh
tools/package-test.sh
