#!/usr/bin/env bash
# The Debian packages of tools/package.sh on a clean system (as root):
#   package-test.sh
# In a fresh Debian tree (debootstrap, minbase, this machine's release and architecture):
# `apt-get install ./velnr_*.deb` must pull every dependency from the archive; velnr, from PATH
# and with no environment of ours, must denoise the bundled photograph to the same bytes as the
# build tree's velnr; with gimp-plugin-velnr built, gimp-console must find the filter's
# procedure; `apt-get remove --purge` must leave no file of ours.
# The tree is made once and cached outside the repository, in
# ${XDG_CACHE_HOME:-~/.cache}/velnr/debian (VELNR_PACKAGE_TEST_CACHE), with the packages that
# apt downloads (the archive is still asked for every one of them). Each test runs in an overlay
# of the tree whose changes are dropped afterwards, in a private mount namespace: nothing of it
# is left mounted however the test ends, and the cached tree never changes.
set -euo pipefail

self=$(readlink -f "$0")
repo=$(cd "$(dirname "$self")/.." && pwd)
cache=${VELNR_PACKAGE_TEST_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velnr/debian}
# shellcheck disable=SC1091
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
arch=$(dpkg --print-architecture)
tree=$cache/tree
tree_id="$codename $arch minbase, package lists"
# The procedure that the GIMP plug-in registers.
gimp_procedure=plug-in-vel-noise-reduction
# shellcheck source=tools/debian-archive.sh
. "$repo/tools/debian-archive.sh"

log() { echo "package-test: $*" >&2; }
fail() {
    log "$*"
    exit 1
}

# Runs a step with its output in the cache's log: says how long it took, or shows the log's
# end when it fails.
step() {
    local what=$1 begin=$SECONDS
    shift
    log "$what ..."
    if "$@" >>"$cache/test.log" 2>&1; then
        log "$what: $((SECONDS - begin)) s"
        return 0
    fi
    tail -n 30 "$cache/test.log" >&2
    fail "$what failed after $((SECONDS - begin)) s (log: $cache/test.log)"
}

# ROOT COMMAND...: COMMAND run inside ROOT with a clean environment.
in_root() {
    local root=$1
    shift
    chroot "$root" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/root \
        LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}

mount_system() { # ROOT
    mount -t proc proc "$1/proc"
    mount --rbind /dev "$1/dev"
    # Name resolution as this machine has it now, not as when the tree was made.
    cp -L /etc/resolv.conf "$1/etc/resolv.conf"
}

# apt as root in the tree (no sandbox user: the downloads folder is this machine's).
apt_in() { # ROOT ARGS...
    local root=$1
    shift
    in_root "$root" apt-get -o APT::Sandbox::User=root -o Dpkg::Use-Pty=0 "$@"
}

make_tree() {
    local new=$tree.new mirror
    mirror=$(debian_archive "$codename") || fail "no Debian archive to make the tree from"
    rm -rf "$new"
    mkdir -p "$new"
    step "debootstrap: $arch Debian $codename into $new" \
        timeout 2400 debootstrap --arch="$arch" --variant=minbase "$codename" "$new" "$mirror"
    step "reading the package lists in the tree" \
        timeout 1200 unshare --mount --propagation private "$self" __lists "$new"
    echo "$tree_id" >"$new/.velnr-tree"
    rm -rf "$tree"
    mv "$new" "$tree"
}

# The files of the packages DEB... (without the folders that other packages share).
package_files() {
    local deb
    for deb in "$@"; do
        dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|; s|/$||' | grep -v '^/\?$'
    done | sort -u
}

# Inside the test's mount namespace: SCRATCH REFERENCE DEB...
inside() {
    local scratch=$1 reference=$2
    shift 2
    local root=$scratch/root
    mkdir -p "$scratch/upper" "$scratch/work" "$root" "$cache/archives/partial"
    mount -t overlay overlay -o "lowerdir=$tree,upperdir=$scratch/upper,workdir=$scratch/work" "$root"
    mount_system "$root"
    mount --bind "$cache/archives" "$root/var/cache/apt/archives"
    local work=/tmp/velnr-test
    mkdir -p "$root$work/home"
    cp "$@" "$root$work/"
    cp "$repo/host/data/coffee.png" "$root$work/"

    local -a debs=() names=()
    local deb gimp=0
    for deb in "$@"; do
        debs+=("./$(basename "$deb")")
        names+=("$(dpkg-deb -f "$deb" Package)")
        [ "${names[-1]}" = gimp-plugin-velnr ] && gimp=1
    done
    local status=0
    check() { # WHAT COMMAND...: a check that fails the test but lets the others run
        local what=$1
        shift
        if "$@"; then
            log "ok: $what"
        else
            log "FAILED: $what"
            status=1
        fi
    }

    step "refreshing the tree's package lists" apt_in "$root" -q update
    # Only what the packages depend on: recommended packages are not needed to run velnr.
    # shellcheck disable=SC2016
    step "apt-get install ${debs[*]}" in_root "$root" sh -c \
        'cd "$1" && shift && apt-get -o APT::Sandbox::User=root -o Dpkg::Use-Pty=0 -y -q \
             --no-install-recommends install "$@"' - "$work" "${debs[@]}"

    local found
    found=$(in_root "$root" sh -c 'command -v velnr') || true
    check "velnr is on PATH ($found)" test "$found" = /usr/bin/velnr
    local version shown
    version=$(dpkg-deb -f "$1" Version)
    shown=$(in_root "$root" velnr --version) || true
    check "velnr --version says '$shown'" test "$shown" = "velnr ${version%-*}"
    # Settings of its own (a fresh home) on both sides: the defaults.
    local began=$SECONDS
    if in_root "$root" env HOME="$work/home" sh -c "cd $work && velnr -o denoised.png coffee.png" \
        >>"$cache/test.log" 2>&1; then
        check "velnr from PATH gives the build tree's bytes ($((SECONDS - began)) s)" \
            cmp "$reference" "$root$work/denoised.png"
    else
        check "velnr from PATH denoises the bundled photograph (log: $cache/test.log)" false
    fi

    if ((gimp)); then
        # Script-Fu fails the batch command when the procedure is not in the database.
        local script="(if (= 0 (car (gimp-procedural-db-proc-exists \"$gimp_procedure\"))) \
(error \"no procedure $gimp_procedure\"))"
        local said
        said=$(in_root "$root" env HOME="$work/home" timeout 600 gimp-console -i -d -f \
            -b "$script" -b '(gimp-quit 0)' 2>&1) || true
        printf '%s\n' "$said" >>"$cache/test.log"
        check "gimp-console finds the procedure $gimp_procedure" \
            grep -q 'batch command executed successfully' <<<"$said"
    else
        log "skipped: gimp-console's procedure $gimp_procedure (no gimp-plugin-velnr package was built)"
    fi

    step "apt-get remove --purge ${names[*]}" apt_in "$root" -y -q remove --purge "${names[@]}"
    local left
    left=$({
        package_files "$@" | while read -r path; do
        # Folders that other packages own stay; every file and folder of ours must go.
        if [ -e "$root$path" ] || [ -L "$root$path" ]; then
            if [ -d "$root$path" ] && ! [ -L "$root$path" ] &&
                in_root "$root" dpkg-query -S "$path" >/dev/null 2>&1; then
                continue
            fi
            echo "$path"
        fi
        done
        # Anything else in the tree named after us (outside the test's own folder).
        (cd "$scratch/upper" && find . -path "./${work#/}" -prune -o \
            \( -iname '*velnr*' -o -iname '*VELNoiseReduction*' -o -iname '*korvane*' \) -print) |
            sed 's|^\.||'
    } | sort -u)
    check "apt-get remove --purge leaves no file of ours${left:+: $(echo "$left" | tr '\n' ' ')}" \
        test -z "$left"

    umount -R "$root" || umount -R -l "$root"
    return $status
}

test_packages() {
    [ "$(id -u)" -eq 0 ] || fail "the package test needs root (debootstrap, chroot, mounts)"
    local tool
    for tool in debootstrap unshare chroot apt-get dpkg-deb; do
        command -v "$tool" >/dev/null || fail "$tool is missing (tools/install-deps.sh installs it)"
    done
    local -a debs=()
    local deb
    for deb in "$repo"/build/packages/velnr_*_"$arch".deb \
        "$repo"/build/packages/gimp-plugin-velnr_*_"$arch".deb; do
        [ -f "$deb" ] && debs+=("$deb")
    done
    [[ ${#debs[@]} -gt 0 && ${debs[0]} == */velnr_* ]] ||
        fail "no velnr package in build/packages: run tools/package.sh deb first"
    local velnr=$repo/build/release/host/velnr
    [ -x "$velnr" ] || fail "no $velnr (tools/package.sh deb builds it)"

    mkdir -p "$cache"
    : >"$cache/test.log"
    local start=$SECONDS
    if [ "$(cat "$tree/.velnr-tree" 2>/dev/null)" != "$tree_id" ]; then
        make_tree
    fi

    # A test killed outright leaves its scratch folder (never a mount): the next one removes
    # the folders of tests whose process has gone.
    local scratch=$cache/test.$$ stale
    for stale in "$cache"/test.*; do
        [ -d "$stale" ] && ! kill -0 "${stale##*.}" 2>/dev/null && rm -rf "$stale"
    done
    mkdir "$scratch"
    # shellcheck disable=SC2064
    trap "rm -rf '$scratch'" EXIT
    # The reference: the build tree's velnr, with settings of its own as well.
    mkdir -p "$scratch/home"
    (cd "$scratch" && env -i PATH="$PATH" HOME="$scratch/home" LANG=C.UTF-8 \
        "$velnr" -o reference.png "$repo/host/data/coffee.png") >>"$cache/test.log" 2>&1 ||
        fail "the build tree's velnr fails on the bundled photograph (log: $cache/test.log)"
    local status=0
    unshare --mount --propagation private "$self" __inside "$scratch" "$scratch/reference.png" \
        "${debs[@]}" || status=$?
    rm -rf "$scratch"
    log "package test $( ((status == 0)) && echo passed || echo FAILED) in $((SECONDS - start)) s"
    return $status
}

case "${1:-}" in
    "") test_packages ;;
    __lists)
        mount_system "$2"
        apt_in "$2" -q update
        apt_in "$2" clean
        umount -R "$2/proc" "$2/dev" 2>/dev/null || true
        ;;
    __inside)
        shift
        inside "$@"
        ;;
    *)
        sed -n '2,13p' "$self" | sed 's/^# \{0,1\}//' >&2
        exit 2
        ;;
esac
