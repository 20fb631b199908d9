#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Quiet and idempotent:
# apt-get runs only when something is missing.
set -euo pipefail

packages=(
    # toolchain and test frameworks
    cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
    # the fuzz targets: clang with libFuzzer and its sanitizers (tools/fuzz.sh)
    clang libclang-rt-14-dev
    # the command-line host's image and metadata libraries
    libtiff-dev libpng-dev libjpeg-dev libcli11-dev libexiv2-dev
    # the preview's display colour management
    liblcms2-dev
    # Windows cross builds (MinGW-w64 with POSIX threads, objdump for the DLL tables) and
    # Wine to run the 64-bit test suite
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64 xvfb xauth
    # the dialogs' Qt window backend (its display check talks to X through xcb)
    qt6-base-dev libxcb1-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "error: missing packages and not root; install them with: apt-get install ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >/dev/null
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
