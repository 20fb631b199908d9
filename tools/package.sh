#!/usr/bin/env bash
# Makes the downloads, all named and stamped with the CMake project's version, in build/packages:
#   package.sh [deb|zip|all]   (all by default)
# - deb: the Debian packages from the release build (cpack): velnr (velnr, the library and its
#   dialogs' module), and gimp-plugin-velnr when the build has the GIMP plug-in; lintian must
#   find nothing but the packages' listed overrides;
# - zip: VELNoiseReduction-VERSION-windows.zip with x86/ and x64/VELNoiseReduction.dll, a
#   README.txt for Windows users and the copyright notice; the zipped DLLs' tables and version
#   resources are checked.
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
case $what in deb | zip | all) ;; *)
    echo "usage: $0 [deb|zip|all]" >&2
    exit 2
    ;;
esac

jobs=$(nproc)
out=$PWD/build/packages
mkdir -p "$out"

log() { echo "package: $*" >&2; }
fail() {
    log "$*"
    exit 1
}

# The release build with the Debian layout: prefix /usr, the library in its multiarch folder.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
cmake --preset release -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR="lib/$multiarch" >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
[ -n "$version" ] || fail "no project version in build/release/CMakeCache.txt"

make_deb() {
    local -a targets=(velnr velnr-man velnr-package-doc)
    if ninja -C build/release -t targets all | grep -q '^velnr-gimp:'; then
        targets+=(velnr-gimp)
    fi
    command -v help2man >/dev/null || fail "help2man is missing (tools/install-deps.sh installs it)"
    cmake --build --preset release -j "$jobs" --target "${targets[@]}"
    local shown
    shown=$(build/release/host/velnr --version)
    [ "$shown" = "velnr $version" ] || fail "velnr --version says '$shown', the project is $version"

    rm -f build/release/packages/*.deb "$out"/*.deb
    (cd build/release && cpack -G DEB >cpack.log 2>&1) || {
        tail -n 30 build/release/cpack.log >&2
        fail "cpack failed (log: build/release/cpack.log)"
    }
    local deb status=0 package_version
    for deb in build/release/packages/*.deb; do
        package_version=$(dpkg-deb -f "$deb" Version)
        [ "${package_version%-*}" = "$version" ] ||
            fail "$(basename "$deb") has version $package_version, the project is $version"
        # Warnings count as errors; the overrides shipped in the package are honoured.
        lintian --fail-on error,warning "$deb" || status=1
        cp "$deb" "$out/"
        log "$out/$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
    done
    ((status == 0)) || fail "lintian found problems in the packages"
}

dll_of() { echo "build/$1/bin/VELNoiseReduction.dll"; }

make_zip() {
    local preset
    for preset in win32 win64; do
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" -j "$jobs" --target VELNoiseReduction
    done
    local stage name=VELNoiseReduction-$version-windows
    stage=$(mktemp -d)
    # shellcheck disable=SC2064
    trap "rm -rf '$stage'" RETURN
    # The files at the zip's top: Windows unpacks it into a folder named after it.
    mkdir -p "$stage/$name/x86" "$stage/$name/x64"
    i686-w64-mingw32-strip --strip-unneeded -o "$stage/$name/x86/VELNoiseReduction.dll" "$(dll_of win32)"
    x86_64-w64-mingw32-strip --strip-unneeded -o "$stage/$name/x64/VELNoiseReduction.dll" "$(dll_of win64)"
    local text
    for text in README.txt COPYRIGHT.txt; do
        # Windows' own line ends, for Notepad.
        sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "packaging/windows/$text" >"$stage/$name/$text"
    done
    rm -f "$out/$name.zip"
    (cd "$stage/$name" && cmake -E tar cf "$out/$name.zip" --format=zip x86 x64 README.txt COPYRIGHT.txt)

    # What a user unpacks is what is checked.
    local check=$stage/check
    mkdir "$check"
    mkdir "$check/$name"
    (cd "$check/$name" && cmake -E tar xf "$out/$name.zip")
    tools/check-dll-tables.sh i686-w64-mingw32-objdump "$check/$name/x86/VELNoiseReduction.dll"
    tools/check-dll-tables.sh x86_64-w64-mingw32-objdump "$check/$name/x64/VELNoiseReduction.dll"
    tools/check-dll-version.sh i686-w64-mingw32-windres "$check/$name/x86/VELNoiseReduction.dll" "$version"
    tools/check-dll-version.sh x86_64-w64-mingw32-windres "$check/$name/x64/VELNoiseReduction.dll" "$version"
    log "$out/$name.zip: $(cd "$check/$name" && find . -type f | sed "s|^\./||" | sort | tr "\n" " ")"
}

case $what in
    deb) make_deb ;;
    zip) make_zip ;;
    all)
        make_deb
        make_zip
        ;;
esac
