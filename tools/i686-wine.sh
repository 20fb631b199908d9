#!/usr/bin/env bash
# 32-bit Wine for the i686 build's tests. The kernel of the machines here refuses 32-bit
# programs, so Debian's i386 Wine runs in an i386 Debian tree under user-mode emulation
# (qemu-i386 through binfmt_misc), with the repository mounted at its own path inside it.
#   i686-wine.sh setup               makes, once, and checks everything below (as root)
#   i686-wine.sh session COMMAND...  runs COMMAND here with the tree mounted and one Wine
#                                    session serving all the Windows programs it starts
#   i686-wine.sh run PROGRAM [ARGS]  runs a Windows program in the tree: in the current
#                                    session, or in one of its own (the i686 tests' launcher)
# The programs see the repository at its own path (and the rest of the tree): their files,
# and the folder they run in, belong there.
# Everything is cached in ${XDG_CACHE_HOME:-~/.cache}/velnr/i686 (VELNR_I686_CACHE), outside
# the repository, all from the Debian archive of the machine's own apt sources
# (VELNR_DEBIAN_MIRROR overrides it):
# - qemu-i386 from the release's backports: bookworm's qemu 7.2 tracks guest memory page by
#   page and takes minutes to start one Wine process, 10.0 a second or two;
# - its binfmt_misc entry "velnr-i386", with the F flag so that it also serves inside the tree;
# - the i386 tree (debootstrap, then wine and wine32) with a ready Wine prefix in /root/.wine.
# A session mounts the tree as an overlay whose changes are dropped afterwards, so every
# session starts from the same prefix. All mounts live in a private mount namespace: they end
# with the command however it ends, and nobody else ever sees them.
set -euo pipefail

self=$(readlink -f "$0")
repo=$(cd "$(dirname "$self")/.." && pwd)
cache=${VELNR_I686_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velnr/i686}
# shellcheck disable=SC1091
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
# shellcheck source=tools/debian-archive.sh
. "$repo/tools/debian-archive.sh"
# shellcheck source=tools/wine-retry.sh
. "$repo/tools/wine-retry.sh"
mirror=
emulator=$cache/qemu-i386
tree=$cache/tree
# What the tree holds; a tree made for another list is made again.
tree_id="$codename i386 minbase + wine wine32 (no recommends), prefix /root/.wine"
binfmt=/proc/sys/fs/binfmt_misc
# i386 ELF executables (as qemu's own binfmt configuration matches them).
elf_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
elf_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# Neither .NET nor an HTML engine is needed; menu entries for the programs neither.
wine_overrides="mscoree,mshtml=;winemenubuilder.exe=d"

fail() {
    echo "i686-wine: $*" >&2
    exit 1
}

log_step() { echo "i686-wine: $*" >&2; }

# Runs a set-up step with its output in the cache's log: says how long it took, or shows the
# log's end when it fails.
step() {
    local what=$1 begin=$SECONDS
    shift
    log_step "$what ..."
    if "$@" >>"$cache/setup.log" 2>&1; then
        log_step "$what: $((SECONDS - begin)) s"
        return 0
    fi
    tail -n 30 "$cache/setup.log" >&2
    log_step "$what failed after $((SECONDS - begin)) s (log: $cache/setup.log)"
    return 1
}
logged() { step "$@" || exit 1; }

# Environment of the programs in the tree: a clean one, plus what tests and Wine are told.
tree_env() {
    local name
    local -a env=(PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/root
        WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="$wine_overrides")
    for name in DISPLAY XAUTHORITY $(compgen -e | grep -E '^(VELNR|GTEST)_' || true); do
        [ -n "${!name+set}" ] && env+=("$name=${!name}")
    done
    printf '%s\0' "${env[@]}"
}

# ROOT COMMAND...: COMMAND run inside ROOT (whose /proc and /dev are mounted), in the current
# folder when the tree shows it (the repository's folders), else in /.
in_root() {
    local root=$1 folder=/
    shift
    local -a env
    mapfile -d '' env < <(tree_env)
    [ -d "$root$PWD" ] && folder=$PWD
    chroot "$root" /usr/bin/env -i -C "$folder" "${env[@]}" "$@"
}

mount_system() { # ROOT: what programs in the tree need of this machine
    mount -t proc proc "$1/proc"
    mount --rbind /dev "$1/dev"
}

fetch_emulator() {
    [ "$(cat "$emulator.id" 2>/dev/null)" = "$codename-backports" ] && [ -x "$emulator" ] && return 0
    local apt_dir=$cache/apt
    rm -rf "$apt_dir"
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial"
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $codename-backports main" \
        >"$apt_dir/sources.list"
    # A package list of its own: the machine's apt configuration stays as it is.
    local -a apt=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
        -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir" -o "Dir::Cache::archives=$apt_dir/archives"
        -o "APT::Sandbox::User=root")
    logged "fetching Debian's $codename-backports package list" apt-get "${apt[@]}" --error-on=any update
    # shellcheck disable=SC2016
    logged "downloading qemu-user from $codename-backports" \
        bash -c 'cd "$1" && shift && apt-get "$@" download qemu-user' - "$apt_dir" "${apt[@]}"
    dpkg-deb --fsys-tarfile "$apt_dir"/qemu-user_*.deb | tar -xO ./usr/bin/qemu-i386 >"$emulator.new" ||
        fail "no qemu-i386 in $codename-backports' qemu-user"
    chmod 755 "$emulator.new"
    "$emulator.new" --version | head -n 1 >&2 || fail "the downloaded qemu-i386 does not run"
    mv "$emulator.new" "$emulator"
    echo "$codename-backports" >"$emulator.id"
    rm -rf "$apt_dir"
}

# A 93-byte i386 program that only exits with 0: proves that i386 programs start.
write_probe() {
    printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0'
    printf '\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0'
    printf '\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x5d\0\0\0\x5d\0\0\0\x05\0\0\0\0\x10\0\0'
    printf '\xb8\x01\0\0\0\x31\xdb\xcd\x80'
}

register_emulator() {
    local entry=$binfmt/velnr-i386 other stale=0
    if [ ! -e "$binfmt/register" ]; then
        mount -t binfmt_misc binfmt_misc "$binfmt" ||
            fail "cannot mount binfmt_misc on $binfmt (root is needed), so i386 programs cannot run"
    fi
    [ "$(cat "$binfmt/status")" = enabled ] || fail "binfmt_misc is switched off ($binfmt/status)"
    # Entries registered later are tried first: ours must be the latest of those for i386.
    for other in "$binfmt"/*; do
        [ "$other" != "$entry" ] && grep -qs '^magic 7f454c4601010100000000000000000002000300' "$other" &&
            stale=1
    done
    if [ -e "$entry" ]; then
        if ((stale == 0)) && grep -qx enabled "$entry" && grep -qx "interpreter $emulator" "$entry" &&
            grep -q '^flags: .*F' "$entry"; then
            return 0
        fi
        echo -1 >"$entry"
    fi
    printf '%s' ":velnr-i386:M::$elf_magic:$elf_mask:$emulator:F" >"$binfmt/register" ||
        fail "cannot register $emulator for i386 programs in $binfmt"
    log_step "registered $emulator for i386 programs (binfmt_misc entry velnr-i386)"
}

check_i386_runs() {
    write_probe >"$cache/probe-i386"
    chmod 755 "$cache/probe-i386"
    "$cache/probe-i386" || fail "i386 programs still do not start through binfmt_misc"
}

make_tree() {
    local new=$tree.new
    rm -rf "$new"
    mkdir -p "$new"
    logged "debootstrap: i386 Debian $codename into $new" \
        timeout 2400 debootstrap --arch=i386 --variant=minbase "$codename" "$new" "$mirror"
    logged "installing wine and wine32 in the i386 tree" \
        timeout 2400 unshare --mount --propagation private "$self" __install "$new"
    if ! make_prefix "$new"; then
        log_step "once more, from an empty prefix"
        rm -rf "$new/root/.wine"
        make_prefix "$new" || fail "the Wine prefix could not be made, twice"
    fi
    echo "$tree_id" >"$new/.velnr-tree"
    rm -rf "$tree"
    mv "$new" "$tree"
}

# Wine's first start fills the prefix; it is used only once a program has run in it.
make_prefix() {
    step "making the Wine prefix in the i386 tree" \
        timeout 1200 unshare --mount --propagation private "$self" __prefix "$1"
}

setup() {
    [ "$(id -u)" -eq 0 ] || fail "setup needs root (binfmt_misc, debootstrap, chroot)"
    local tool
    for tool in debootstrap unshare chroot apt-get dpkg-deb; do
        command -v "$tool" >/dev/null || fail "$tool is missing (tools/install-deps.sh installs it)"
    done
    mkdir -p "$cache"
    : >"$cache/setup.log"
    local start=$SECONDS
    mirror=$(debian_archive "$codename") || fail "no Debian archive to set up from"
    fetch_emulator
    register_emulator
    check_i386_runs
    if [ "$(cat "$tree/.velnr-tree" 2>/dev/null)" != "$tree_id" ]; then
        make_tree
        log_step "set up in $((SECONDS - start)) s"
    fi
}

session() {
    [ -f "$tree/.velnr-tree" ] || fail "no i386 tree in $tree: run '$0 setup' first"
    # A session killed outright leaves its scratch folder (never a mount): the next one
    # removes the folders of sessions whose process has gone.
    local scratch=$cache/session.$$ stale
    for stale in "$cache"/session.*; do
        [ -d "$stale" ] && ! kill -0 "${stale##*.}" 2>/dev/null && rm -rf "$stale"
    done
    mkdir "$scratch"
    # shellcheck disable=SC2064
    trap "rm -rf '$scratch'" EXIT
    local status=0
    unshare --mount --propagation private "$self" __session "$scratch" "$@" || status=$?
    rm -rf "$scratch"
    return $status
}

# Inside the session's mount namespace.
inside_session() {
    local scratch=$1
    shift
    local root=$scratch/root
    mkdir -p "$scratch/upper" "$scratch/work" "$root"
    mount -t overlay overlay -o "lowerdir=$tree,upperdir=$scratch/upper,workdir=$scratch/work" "$root"
    mount_system "$root"
    mkdir -p "$root$repo"
    mount --bind "$repo" "$root$repo"
    if [ -n "${DISPLAY:-}" ] && [ -d /tmp/.X11-unix ]; then
        mkdir -p "$root/tmp/.X11-unix"
        mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
        if [ -n "${XAUTHORITY:-}" ] && [ -f "$XAUTHORITY" ]; then
            mkdir -p "$root$(dirname "$XAUTHORITY")"
            touch "$root$XAUTHORITY"
            mount --bind "$XAUTHORITY" "$root$XAUTHORITY"
        fi
    fi
    export VELNR_I686_ROOT=$root
    # One Wine program stays alive for the whole session (until its input closes): without it
    # each test program would start Wine's services afresh, seconds of emulation each time.
    mkfifo "$scratch/keeper"
    in_root "$root" wine cmd.exe <"$scratch/keeper" >/dev/null 2>&1 &
    exec 9>"$scratch/keeper"
    # The desktop's process, started here: Wine starts it with the first window otherwise, as
    # a child holding that program's standard error, and whoever reads that pipe to its end
    # (ctest listing a test program's cases) waits for the session's end.
    in_root "$root" wine explorer.exe /desktop </dev/null >/dev/null 2>&1 &
    local status=0
    if ! timeout 600 "$self" run cmd.exe /c exit 0 >/dev/null; then
        echo "i686-wine: Wine does not start in the i386 tree" >&2
        status=1
    else
        "$@" || status=$?
    fi
    exec 9>&-
    in_root "$root" wineserver -k 2>/dev/null || true
    in_root "$root" wineserver -w 2>/dev/null || true
    wait
    umount -R "$root" || umount -R -l "$root"
    return $status
}

case "${1:-}" in
    setup) setup ;;
    session)
        shift
        (($#)) || fail "usage: $0 session COMMAND [ARGS...]"
        session "$@"
        ;;
    run)
        shift
        (($#)) || fail "usage: $0 run PROGRAM [ARGS...]"
        if [ -z "${VELNR_I686_ROOT:-}" ]; then
            session "$self" run "$@"
        else
            retry_silent_start in_root "$VELNR_I686_ROOT" wine "$@"
        fi
        ;;
    __install)
        mount_system "$2"
        in_root "$2" apt-get update
        in_root "$2" env DEBIAN_FRONTEND=noninteractive \
            apt-get install -y --no-install-recommends wine wine32
        in_root "$2" apt-get clean
        ;;
    __prefix)
        mount_system "$2"
        in_root "$2" wineboot -i
        in_root "$2" wineserver -w
        in_root "$2" wine cmd.exe /c echo velnr-prefix-ready | tr -d '\r' | grep -qx velnr-prefix-ready
        in_root "$2" wineserver -w
        ;;
    __session)
        shift
        inside_session "$@"
        ;;
    *)
        sed -n '2,20p' "$self" | sed 's/^# \{0,1\}//' >&2
        exit 2
        ;;
esac
