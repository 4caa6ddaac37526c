# shellcheck shell=bash
# Sourced by the scripts: installs Debian packages that are missing.
# Usage: ensure_packages pkg...

ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What building the program needs (read by the scripts that source this).
# shellcheck disable=SC2034
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libcurl4-openssl-dev libgcrypt20-dev
                libutf8proc-dev libglib2.0-dev libgtest-dev)
# What the tests need besides: a virtual display and a way to press keys in
# it, for the test that starts the program as a user does; mkfs.xfs for the
# join on a file system that shares blocks (where the machine can mount one);
# minisign, to check the publisher's signatures as a maker would; GIO's
# proxy resolvers, GNOME's proxy settings, a PAC runner and a session bus,
# for the desktop's proxy settings; the validators of desktop entries and
# AppStream metadata; dpkg-shlibdeps, which cpack runs for the packages'
# dependencies, and lintian, which checks the packages.
# shellcheck disable=SC2034
TEST_PACKAGES=(xvfb xdotool xfsprogs exfatprogs exfat-fuse minisign glib-networking gsettings-desktop-schemas
               libproxy1-plugin-webkit dbus-bin dbus-daemon desktop-file-utils appstream
               dpkg-dev lintian)
