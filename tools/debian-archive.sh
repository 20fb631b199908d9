# shellcheck shell=bash
# Sourced by the scripts that make Debian trees (tools/i686-wine.sh, tools/package-test.sh):
# debian_archive CODENAME prints the address of the Debian archive this machine installs
# CODENAME's main component from, as apt reads it from the machine's own sources (any format);
# VELNR_DEBIAN_MIRROR overrides it.
debian_archive() {
    if [ -n "${VELNR_DEBIAN_MIRROR:-}" ]; then
        echo "$VELNR_DEBIAN_MIRROR"
        return 0
    fi
    local uri
    # shellcheck disable=SC2016
    uri=$(apt-get indextargets --format '$(REPO_URI)' "Release: $1" "Component: main" \
        "Identifier: Packages" "Target-Of: deb" | head -n 1)
    if [ -z "$uri" ]; then
        echo "no apt source of this machine serves $1 main; set VELNR_DEBIAN_MIRROR" >&2
        return 1
    fi
    echo "${uri%/}"
}
