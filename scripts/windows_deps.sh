# shellcheck shell=bash
# Sourced by the scripts that build for Windows, for what only the shell may
# do: install MinGW-w64, libgcrypt for MinGW, Wine and the tools; add deb-src
# entries if there are none; unpack the curl and utf8proc source packages into
# the cache (VELMORA_DEPS_CACHE, else ~/.cache/velmora); export VELMORA_DEPS_CACHE
# and VELMORA_{CURL,UTF8PROC,GTEST}_{VERSION,SOURCE} for cmake/WindowsDependencies.cmake.

# shellcheck source=scripts/ensure_packages.sh
source "$(dirname "${BASH_SOURCE[0]}")/ensure_packages.sh"
_wd_log() { echo "windows deps: $*" >&2; }
_wd_sudo() { if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi; }

# "PACKAGE VERSION" of each binary package named: its candidate's source version
# (a binary-only rebuild says "Source: name (version)"). One call: apt is slow.
_wd_source_versions() {
    { apt-cache show --no-all-versions "$@" 2>/dev/null || true; } | awk '
        function out() { if (package != "") print package, (source != "" ? source : version); package = "" }
        /^Package:/ { out(); package = $2; source = version = "" }
        /^Source:/ && $3 != "" { gsub(/[()]/, "", $3); source = $3 }
        /^Version:/ { version = $2 }
        END { out() }'
}

# Without any deb-src entry, ours: the twin of each enabled "deb" entry of
# this release's suites (bookworm, bookworm-updates, ...), one-line or
# deb822, options and all. Other vendors' repositories are left out.
_wd_ensure_deb_src() {
    local suite lines stanzas f
    grep -rqsE '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/ && return
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    lines=$(sed -nE "s/^[[:space:]]*deb([[:space:]]+(\[[^]]*\][[:space:]]+)?[^[:space:]]+[[:space:]]+$suite(-[a-z]+)?[[:space:]].*)$/deb-src\1/p" \
        /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true)
    stanzas=$(awk -v suite="$suite" '
        function flush() {
            if (n && types ~ /(^|[ \t])deb([ \t]|$)/ && enabled !~ /^[ \t]*(no|false)/ &&
                (" " suites " ") ~ ("[ \t]" suite "(-[a-z]+)?[ \t]")) {
                print "Types: deb-src"; for (i = 1; i <= n; i++) print lines[i]; print ""
            }
            n = 0; types = suites = enabled = ""
        }
        FNR == 1 || /^[ \t]*$/ { flush() }
        /^[ \t]*(#|$)/ { next }
        { key = tolower($1); value = $0; sub(/^[^:]*:/, "", value) }
        key == "types:" { types = value; next }
        key == "suites:" { suites = value } key == "enabled:" { enabled = tolower(value) }
        { lines[++n] = $0 }
        END { flush() }' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
    [ -n "$stanzas$lines" ] || { _wd_log "no Debian 'deb' entry for $suite to mirror as deb-src"; return 1; }
    for f in sources:"$stanzas" list:"$lines"; do  # format:entries
        [ -z "${f#*:}" ] || printf '# Added by velmora scripts/windows_deps.sh, to cross-build libcurl and utf8proc.\n%s\n' \
            "${f#*:}" | _wd_sudo tee "/etc/apt/sources.list.d/velmora-deb-src.${f%%:*}" >/dev/null
    done
}

# Prints "VERSION FOLDER" of source package $1 behind binary package $2 (its
# line in $4 from _wd_source_versions), unpacked below $3, fetched if missing.
_wd_source() {
    local version dir  # and work, which the EXIT trap still sees
    version=$(awk -v package="$2" '$1 == package { print $2; exit }' <<<"$4")
    if [ ! -d "$3/$1-${version//:/_}" ] &&
        ! apt-cache showsrc "$1" 2>/dev/null | grep -x "Version: $version" >/dev/null; then
        _wd_ensure_deb_src
        _wd_sudo apt-get update -qq >&2
        version=$(_wd_source_versions "$2" | awk '{ print $2; exit }')  # perhaps newer now
    fi
    [ -n "$version" ] || { _wd_log "apt knows no package $2"; return 1; }
    dir=$3/$1-${version//:/_}
    if [ ! -d "$dir" ]; then
        _wd_log "fetching the $1 $version source package"
        work=$(mktemp -d "$3/.fetch.XXXXXX")
        trap 'rm -rf "$work"' EXIT  # this runs in a subshell of its own
        chown _apt "$work" 2>/dev/null || true  # apt fetches as _apt if it can
        (cd "$work" && apt-get source -qq "$1=$version" >/dev/null) &&
            mv -T "$(find "$work" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n1)" "$dir"
    fi
    [ -f "$dir/CMakeLists.txt" ] || { _wd_log "no $1 $version source in $dir"; return 1; }
    echo "$version $dir"
}

# Prints "NAME VERSION SOURCE" of curl, utf8proc and GoogleTest.
_wd_prepare() (
    set -euo pipefail; shopt -s inherit_errexit
    local sources=$VELMORA_DEPS_CACHE/sources versions curl utf8proc gtest
    ensure_packages g++-mingw-w64-x86-64-posix libgcrypt-mingw-w64-dev libgpg-error-mingw-w64-dev \
        wine64 xvfb dpkg-dev cmake ninja-build googletest >&2
    mkdir -p "$sources"; exec 9>"$sources/.lock"; flock 9  # one fetcher at a time
    versions=$(_wd_source_versions curl libutf8proc2)
    curl=$(_wd_source curl curl "$sources" "$versions")
    utf8proc=$(_wd_source utf8proc libutf8proc2 "$sources" "$versions")
    gtest=$(dpkg-query -W -f='${Version}' googletest)
    printf 'CURL %s\nUTF8PROC %s\nGTEST %s /usr/src/googletest\n' "$curl" "$utf8proc" "$gtest"
)

export VELMORA_DEPS_CACHE=${VELMORA_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora}
_wd_out=$(_wd_prepare); _wd_status=$?  # not after ||, which would turn its set -e off
[ "$_wd_status" -eq 0 ] || return 1
while read -r _wd_name _wd_version _wd_dir; do
    export "VELMORA_${_wd_name}_VERSION=$_wd_version" "VELMORA_${_wd_name}_SOURCE=$_wd_dir"
done <<<"$_wd_out"
