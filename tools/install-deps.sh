#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Quiet and idempotent:
# apt-get runs only when something is missing.
set -euo pipefail

packages=(
    # toolchain and test frameworks
    cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
    # unpacking Debian source packages and building them (lcms2 for Windows, below)
    dpkg-dev make
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
    # answering velnr's interactive dialog on a virtual display in the tests
    xdotool
    # the i386 Debian tree whose 32-bit Wine runs the i686 suite (tools/i686-wine.sh)
    debootstrap
    # the dialogs' Qt window backend (its display check talks to X through xcb)
    qt6-base-dev libxcb1-dev
    # the downloads (tools/package.sh): velnr(1) from --help, the packages' check
    help2man lintian
    # the GIMP plug-in (gimp/) and GIMP itself for its tests (gimp-console)
    libgimp2.0-dev gimp
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

# Little CMS 2 for the Windows builds: Debian has no MinGW build of it, so cmake/Lcms2.cmake
# builds it for each target from Debian's own source package, at the version of the installed
# liblcms2-dev (the Linux build's), unpacked outside the repository in
# ${XDG_CACHE_HOME:-~/.cache}/velnr/lcms2 (the default of VELNR_LCMS2_SOURCE there). Without
# root this only warns: the Linux builds do not need it.
enable_source_entries() {
    # Source entries beside the binary entries of this release's suites (the archive the
    # machine installs from); other archives are left as they are.
    local codename list new
    # shellcheck disable=SC1091
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    # shellcheck disable=SC2016
    local deb822='
        my $c = quotemeta $ENV{CODENAME};
        if (/^Suites:.*(?<!\S)$c(?:-\S+)?(?!\S)/mi && !/^Enabled:\s*no\b/mi
            && !/^Types:.*(?<!\S)deb-src(?!\S)/mi) {
            s/^(Types:.*?)[ \t]*$/$1 deb-src/mi;
        }'
    # shellcheck disable=SC2016
    local one_line='
        my $c = quotemeta $ENV{CODENAME};
        my $add = "";
        while (/^deb([ \t]+.*?)[ \t]*$/mg) {
            my $rest = $1;
            (my $plain = $rest) =~ s/^\s*\[[^\]]*\]//;
            my @f = split " ", $plain;
            next unless @f >= 2 && $f[1] =~ /^$c(?:-\S+)?$/;
            my $src = "deb-src$rest";
            $add .= "$src\n" unless /^\Q$src\E[ \t]*$/m || index($add, "$src\n") >= 0;
        }
        $_ .= (/\n\z/ || $_ eq "" ? "" : "\n") . $add;'
    for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
        /etc/apt/sources.list.d/*.sources; do
        [ -f "$list" ] || continue
        case $list in
            *.sources) new=$(CODENAME=$codename perl -00 -pe "$deb822" "$list") || return 1 ;;
            *) new=$(CODENAME=$codename perl -0777 -pe "$one_line" "$list") || return 1 ;;
        esac
        if [ "$new" != "$(cat "$list")" ]; then
            [ "$(id -u)" -eq 0 ] || { echo "no deb-src entries in $list, and not root" >&2; return 1; }
            echo "Enabling source packages in $list"
            printf '%s\n' "$new" >"$list" || return 1
        fi
    done
}

fetch_lcms2_source() {
    local version dir fetch log
    version=$(dpkg-query -W -f='${Version}' liblcms2-dev) || return 1
    dir=${XDG_CACHE_HOME:-$HOME/.cache}/velnr/lcms2
    [ "$(cat "$dir/.debian-version" 2>/dev/null)" != "$version" ] || return 0
    enable_source_entries || return 1
    if ! grep -qx "Version: $version" <<<"$(apt-cache showsrc --only-source lcms2 2>/dev/null)"; then
        [ "$(id -u)" -eq 0 ] || { echo "the package lists hold no lcms2 $version source, and not root" >&2; return 1; }
        apt-get update -qq >/dev/null || return 1
    fi
    echo "Fetching Debian's lcms2 $version source into $dir"
    mkdir -p "$(dirname "$dir")" || return 1
    fetch=$(mktemp -d "$dir.XXXXXX") || return 1
    if ! log=$(cd "$fetch" && apt-get source -q "lcms2=$version" 2>&1); then
        printf '%s\n' "$log" >&2
        rm -rf "$fetch"
        return 1
    fi
    rm -rf "$dir" && mv "$fetch"/lcms2-*/ "$dir" && rm -rf "$fetch" || return 1
    echo "$version" >"$dir/.debian-version"
}

if ! fetch_lcms2_source; then
    if [ "$(id -u)" -eq 0 ]; then
        echo "error: could not fetch Debian's lcms2 source for the Windows builds" >&2
        exit 1
    fi
    echo "warning: Debian's lcms2 source (for the Windows builds) is missing; run this script as root" >&2
fi
