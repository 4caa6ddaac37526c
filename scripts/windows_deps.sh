#!/usr/bin/env bash
# The third-party pieces of the Windows build, from Debian's archive alone:
# MinGW-w64 (POSIX threads flavour), libgcrypt for MinGW, Wine and Xvfb from
# packages; libcurl (from Debian's curl source package), utf8proc (from
# Debian's utf8proc source package) and GoogleTest (from Debian's googletest
# package) cross-built once, static, into a cache outside the clone that is
# keyed by their source versions.
#
#   source scripts/windows_deps.sh   # installs and builds what is missing,
#                                    # exports VELMORA_CURL_MINGW,
#                                    # VELMORA_UTF8PROC_MINGW and
#                                    # VELMORA_GTEST_MINGW (the prefixes)
#   scripts/windows_deps.sh          # the same, printing the prefixes
#   scripts/windows_deps.sh --selftest
#                                    # proves both under Wine: a static
#                                    # program fetching from a loopback
#                                    # server, and a one-test GoogleTest run
#
# The cache lies in ${XDG_CACHE_HOME:-$HOME/.cache}/velmora (or
# VELMORA_DEPS_CACHE); VELMORA_DEPS_JOBS overrides the build's job count.

_wd_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/ensure_packages.sh
source "$_wd_root/scripts/ensure_packages.sh"

_WD_TRIPLE=x86_64-w64-mingw32
_WD_PACKAGES=(g++-mingw-w64-x86-64-posix libgcrypt-mingw-w64-dev libgpg-error-mingw-w64-dev
              wine64 xvfb dpkg-dev cmake ninja-build googletest)

_wd_log() { echo "windows deps: $*" >&2; }

_wd_cache() { echo "${VELMORA_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora}"; }

# Two cores are shared with whatever else builds here: one job while other
# compilers run, two otherwise.
_wd_jobs() {
    if [ -n "${VELMORA_DEPS_JOBS:-}" ]; then
        echo "$VELMORA_DEPS_JOBS"
    elif pgrep -x 'cc1|cc1plus' >/dev/null 2>&1; then
        echo 1
    else
        echo 2
    fi
}

_wd_sudo() { if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi; }

# The source version behind the candidate of binary package $1, from the
# local package lists (no network: a cached build is found offline). A
# binary-only rebuild names its source version in "Source: name (version)".
_wd_source_version() {
    apt-cache show --no-all-versions "$1" 2>/dev/null | awk '
        /^Source:/ && $3 != "" { gsub(/[()]/, "", $3); source = $3 }
        /^Version:/ { version = $2 }
        END { if (source != "") print source; else if (version != "") print version }'
}

# A folder name from a Debian version (an epoch's ":" is no friend of paths).
_wd_key() { echo "${1//:/_}"; }

_wd_codename() { (. /etc/os-release && echo "${VERSION_CODENAME:-}"); }

# Whether an enabled deb-src entry for suite $1 exists, in either format.
_wd_has_deb_src() {
    local suite=$1 f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        grep -Eq "^[[:space:]]*deb-src[[:space:]]+(\[[^]]*\][[:space:]]+)?[^[:space:]]+[[:space:]]+$suite([[:space:]]|$)" "$f" \
            && return 0
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk -v suite="$suite" '
            function check() {
                if (types ~ /(^|[ \t])deb-src([ \t]|$)/ && enabled !~ /^[ \t]*(no|false)/ &&
                    (" " suites " ") ~ ("[ \t]" suite "[ \t]"))
                    found = 1
                types = suites = enabled = ""
            }
            /^[ \t]*$/ { check(); next }
            tolower($1) == "types:" { sub(/^[^:]*:/, ""); types = $0 }
            tolower($1) == "suites:" { sub(/^[^:]*:/, ""); suites = $0 }
            tolower($1) == "enabled:" { sub(/^[^:]*:/, ""); enabled = tolower($0) }
            END { check(); exit !found }' "$f" && return 0
    done
    return 1
}

# deb-src twins of the enabled "deb" entries for suite $1 and its -updates,
# -security ... suites: one-line entries from *.list, deb822 stanzas from
# *.sources (Debian 12 images keep theirs in debian.sources). Other vendors'
# repositories name other suites and are left out.
_wd_deb_src_lines() {
    local suite=$1 f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        sed -nE "s/^[[:space:]]*deb([[:space:]]+(\[[^]]*\][[:space:]]+)?[^[:space:]]+[[:space:]]+$suite(-[a-z]+)?[[:space:]].*)$/deb-src\1/p" "$f"
    done
}
_wd_deb_src_stanzas() {
    local suite=$1 f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk -v suite="$suite" '
            function flush() {
                if (n && types ~ /(^|[ \t])deb([ \t]|$)/ && enabled !~ /^[ \t]*(no|false)/ &&
                    (" " suites " ") ~ ("[ \t]" suite "(-[a-z]+)?[ \t]")) {
                    print "Types: deb-src"
                    for (i = 1; i <= n; i++) print lines[i]
                    print ""
                }
                n = 0; types = suites = enabled = ""
            }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { flush(); next }
            tolower($1) == "types:" { sub(/^[^:]*:/, ""); types = $0; next }
            tolower($1) == "suites:" { s = $0; sub(/^[^:]*:/, "", s); suites = s }
            tolower($1) == "enabled:" { e = $0; sub(/^[^:]*:/, "", e); enabled = tolower(e) }
            { lines[++n] = $0 }
            END { flush() }' "$f"
    done
}

# Adds a deb-src entry of our own, unless one for this suite is there.
_wd_ensure_deb_src() {
    local suite
    suite=$(_wd_codename)
    [ -n "$suite" ] || { _wd_log "no VERSION_CODENAME in /etc/os-release"; return 1; }
    _wd_has_deb_src "$suite" && return 0
    local lines stanzas
    lines=$(_wd_deb_src_lines "$suite")
    stanzas=$(_wd_deb_src_stanzas "$suite")
    if [ -n "$stanzas" ]; then
        _wd_log "adding deb-src for $suite: /etc/apt/sources.list.d/velmora-deb-src.sources"
        printf '# Added by velmora scripts/windows_deps.sh: Debian source packages, to cross-build libcurl and utf8proc.\n%s\n' \
            "$stanzas" | _wd_sudo tee /etc/apt/sources.list.d/velmora-deb-src.sources >/dev/null
    fi
    if [ -n "$lines" ]; then
        _wd_log "adding deb-src for $suite: /etc/apt/sources.list.d/velmora-deb-src.list"
        printf '# Added by velmora scripts/windows_deps.sh: Debian source packages, to cross-build libcurl and utf8proc.\n%s\n' \
            "$lines" | _wd_sudo tee /etc/apt/sources.list.d/velmora-deb-src.list >/dev/null
    fi
    if [ -z "$stanzas$lines" ]; then
        _wd_log "no Debian 'deb' entry for $suite to mirror as deb-src"
        return 1
    fi
}

# Whether apt knows source package $1 at version $2.
_wd_has_source() {
    apt-cache showsrc "$1" 2>/dev/null | grep -x "Version: $2" >/dev/null
}

# Options of curl 7.88's CMake build: a static libcurl that speaks plain HTTP
# and nothing else, so the program links no library beyond the system's.
# CURL_STATICLIB follows from BUILD_SHARED_LIBS=OFF (and is set on the
# exported target); the threaded resolver keeps a stalled lookup off the
# caller's thread, with Windows threads on MinGW whatever its flavour.
_WD_CURL_OPTIONS=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF
    -DHTTP_ONLY=ON -DENABLE_UNIX_SOCKETS=OFF
    -DCURL_ENABLE_SSL=OFF -DCURL_USE_OPENSSL=OFF -DCURL_USE_SCHANNEL=OFF
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF
    -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DCURL_USE_GSSAPI=OFF
    -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_USE_LIBPSL=OFF
    -DUSE_NGHTTP2=OFF -DUSE_NGTCP2=OFF -DUSE_QUICHE=OFF -DUSE_MSH3=OFF
    -DENABLE_ARES=OFF -DENABLE_THREADED_RESOLVER=ON
)

# Builds Debian's source package $1 at version $2 for MinGW with CMake and
# the options after it, and installs it into $3 (absent), with a note of
# what it was built from. A function _wd_check_$1, where there is one, looks
# at the configured build ($work/build) before it is built, and
# _wd_describe_$1 adds to the note.
_wd_build_source_package() (
    set -euo pipefail
    local package=$1 version=$2 prefix=$3 work src jobs
    shift 3
    work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-$package-mingw.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    # apt fetches as _apt where it can reach the folder.
    chown _apt "$work" 2>/dev/null || true
    (cd "$work" && apt-get source -qq "$package=$version" >/dev/null)
    src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name "$package-*" | head -n1)
    [ -f "$src/CMakeLists.txt" ] || { echo "no $package source in $work" >&2; exit 1; }
    jobs=$(_wd_jobs)
    _wd_log "building $package $version for MinGW (-j$jobs)"
    cmake -S "$src" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$_wd_root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$work/configure.log" 2>&1 \
        || { cat "$work/configure.log" >&2; exit 1; }
    if declare -F "_wd_check_$package" >/dev/null; then
        "_wd_check_$package" "$work"
    fi
    cmake --build "$work/build" -j"$jobs" >"$work/build.log" 2>&1 \
        || { tail -n 50 "$work/build.log" >&2; exit 1; }
    DESTDIR="$work/stage" cmake --install "$work/build" >/dev/null
    {
        echo "$package source package: $version"
        echo "compiler: $("$_WD_TRIPLE-gcc-posix" --version | head -n1)"
        echo "cmake options: $*"
        if declare -F "_wd_describe_$package" >/dev/null; then
            "_wd_describe_$package" "$work" "$work/stage$prefix"
        fi
    } >"$work/stage$prefix/velmora-build.txt"
    mkdir -p "$(dirname "$prefix")"
    mv "$work/stage$prefix" "$prefix"
)

# The threaded resolver must be in, with Windows threads.
_wd_check_curl() {
    grep -q '^#define USE_THREADS_WIN32 1' "$1/build/lib/curl_config.h" \
        || { echo "libcurl configured without the threaded resolver" >&2; exit 1; }
}

_wd_describe_curl() {
    grep -E '^-- (Enabled features|Enabled protocols|Enabled SSL backends)' "$1/configure.log" || true
    grep -E '^Libs.private:' "$2/lib/pkgconfig/libcurl.pc" || true
}

# utf8proc: one C file and its tables, static.
_WD_UTF8PROC_OPTIONS=(-DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF)

# Builds GoogleTest into $1 (absent) from /usr/src/googletest.
_wd_build_gtest() (
    set -euo pipefail
    local prefix=$1 version=$2 work jobs
    work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-gtest-mingw.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    jobs=$(_wd_jobs)
    _wd_log "building GoogleTest $version for MinGW (-j$jobs)"
    # The tests use GoogleTest alone, so GoogleMock is left out.
    local options=(-DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=OFF
                   -Dgtest_build_tests=OFF -Dgtest_build_samples=OFF)
    cmake -S /usr/src/googletest -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$_wd_root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >"$work/configure.log" 2>&1 \
        || { cat "$work/configure.log" >&2; exit 1; }
    cmake --build "$work/build" -j"$jobs" >"$work/build.log" 2>&1 \
        || { tail -n 50 "$work/build.log" >&2; exit 1; }
    DESTDIR="$work/stage" cmake --install "$work/build" >/dev/null
    {
        echo "googletest package: $version"
        echo "compiler: $("$_WD_TRIPLE-g++-posix" --version | head -n1)"
        echo "cmake options: ${options[*]}"
    } >"$work/stage$prefix/velmora-build.txt"
    mkdir -p "$(dirname "$prefix")"
    mv "$work/stage$prefix" "$prefix"
)

# Installs and builds what is missing; prints the prefixes of libcurl,
# GoogleTest and utf8proc, one per line.
_wd_prepare() (
    set -euo pipefail
    local start phase cache
    start=$(date +%s)
    ensure_packages "${_WD_PACKAGES[@]}" >&2
    _wd_log "packages ready in $(($(date +%s) - start)) s"

    cache=$(_wd_cache)
    mkdir -p "$cache"
    # One builder at a time; a second waits and then finds the result.
    exec 9>"$cache/.lock"
    flock 9

    local curl_version curl_prefix
    curl_version=$(_wd_source_version curl)
    if [ -z "$curl_version" ]; then
        _wd_sudo apt-get update -qq >&2
        curl_version=$(_wd_source_version curl)
    fi
    [ -n "$curl_version" ] || { _wd_log "apt knows no curl package"; exit 1; }
    curl_prefix="$cache/curl-mingw-$(_wd_key "$curl_version")"
    if [ ! -f "$curl_prefix/lib/libcurl.a" ]; then
        phase=$(date +%s)
        _wd_ensure_deb_src >&2
        if ! _wd_has_source curl "$curl_version"; then
            _wd_sudo apt-get update -qq >&2
            # The update may have brought a newer curl: build that one.
            curl_version=$(_wd_source_version curl)
            curl_prefix="$cache/curl-mingw-$(_wd_key "$curl_version")"
        fi
        if [ ! -f "$curl_prefix/lib/libcurl.a" ]; then
            _wd_has_source curl "$curl_version" \
                || { _wd_log "no curl source package $curl_version in the deb-src lists"; exit 1; }
            rm -rf "$curl_prefix"
            _wd_build_source_package curl "$curl_version" "$curl_prefix" "${_WD_CURL_OPTIONS[@]}" >&2
            _wd_log "libcurl $curl_version built in $(($(date +%s) - phase)) s"
        fi
    fi

    local gtest_version gtest_prefix
    gtest_version=$(dpkg-query -W -f='${Version}' googletest)
    gtest_prefix="$cache/gtest-mingw-$(_wd_key "$gtest_version")"
    if [ ! -f "$gtest_prefix/lib/libgtest.a" ]; then
        phase=$(date +%s)
        rm -rf "$gtest_prefix"
        _wd_build_gtest "$gtest_prefix" "$gtest_version" >&2
        _wd_log "GoogleTest $gtest_version built in $(($(date +%s) - phase)) s"
    fi

    local utf8proc_version utf8proc_prefix
    utf8proc_version=$(_wd_source_version libutf8proc2)
    [ -n "$utf8proc_version" ] || { _wd_log "apt knows no utf8proc package"; exit 1; }
    utf8proc_prefix="$cache/utf8proc-mingw-$(_wd_key "$utf8proc_version")"
    if [ ! -f "$utf8proc_prefix/lib/libutf8proc.a" ]; then
        phase=$(date +%s)
        _wd_ensure_deb_src >&2
        _wd_has_source utf8proc "$utf8proc_version" || _wd_sudo apt-get update -qq >&2
        rm -rf "$utf8proc_prefix"
        _wd_build_source_package utf8proc "$utf8proc_version" "$utf8proc_prefix" \
            "${_WD_UTF8PROC_OPTIONS[@]}" >&2
        _wd_log "utf8proc $utf8proc_version built in $(($(date +%s) - phase)) s"
    fi
    _wd_log "ready in $(($(date +%s) - start)) s"
    echo "$curl_prefix"
    echo "$gtest_prefix"
    echo "$utf8proc_prefix"
)

# Sets and exports VELMORA_CURL_MINGW, VELMORA_GTEST_MINGW and
# VELMORA_UTF8PROC_MINGW.
windows_deps() {
    local out
    out=$(_wd_prepare) || return 1
    VELMORA_CURL_MINGW=$(sed -n 1p <<<"$out")
    VELMORA_GTEST_MINGW=$(sed -n 2p <<<"$out")
    VELMORA_UTF8PROC_MINGW=$(sed -n 3p <<<"$out")
    export VELMORA_CURL_MINGW VELMORA_GTEST_MINGW VELMORA_UTF8PROC_MINGW
}

# A Wine of its own below folder $1: a fresh prefix and HOME, quiet, with
# WINELOADER and WINESERVER naming the loader and its server. Debian's
# wine64 without its recommends has no wrappers in /usr/bin: they are called
# by their own paths.
windows_wine_env() {
    local wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
    [ -x "$wine" ] || wine=$(command -v wine64)
    [ -x "$wineserver" ] || wineserver=$(command -v wineserver)
    export WINELOADER="$wine" WINESERVER="$wineserver"
    export HOME="$1/home" WINEPREFIX="$1/wineprefix" WINEDEBUG=-all
    # No Mono or Gecko: their installers would wait for a click.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$HOME" "$WINEPREFIX"
}

# Makes the prefix of windows_wine_env and waits until Wine has finished
# setting it up (which goes on in the background after the first program
# ends), then keeps one server running, so that each program starts warm.
# Stop it with "$WINESERVER" -k.
windows_wine_start() {
    local start
    start=$(date +%s)
    "$WINELOADER" wineboot --init >/dev/null 2>&1 || true
    "$WINESERVER" -w
    # Debian's Wine, started by its loader's path, does not find its own
    # fonts (Tahoma, and Marlett for the window menu's symbols) and falls
    # back to wider ones: the prefix gets them, so that dialogs measure and
    # look as on Windows.
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null ||
        echo "note: no Wine fonts in /usr/share/wine/fonts (package fonts-wine)" >&2
    "$WINESERVER" -p
    # Wine's own services start with the first program of a server and
    # stay; started here, they hold none of a later caller's pipes open
    # (ctest waits for those when it lists a program's tests).
    "$WINELOADER" cmd /c exit </dev/null >/dev/null 2>&1 || true
    echo "Wine prefix made in $(($(date +%s) - start)) s" >&2
}

# Windows system DLLs, the only imports a self-contained program may have.
_WD_SYSTEM_DLLS=" kernel32.dll ntdll.dll msvcrt.dll ws2_32.dll bcrypt.dll advapi32.dll crypt32.dll wldap32.dll winhttp.dll winmm.dll
                  user32.dll shell32.dll ole32.dll iphlpapi.dll secur32.dll normaliz.dll
                  comctl32.dll comdlg32.dll gdi32.dll shlwapi.dll oleaut32.dll uxtheme.dll "

# Prints the DLLs that $1 imports; fails on any that is not the system's.
_wd_check_imports() {
    local dlls dll bad=0
    dlls=$("$_WD_TRIPLE-objdump" -p "$1" | awk '/DLL Name:/ { print $3 }')
    echo "$(basename "$1") imports: $(tr '\n' ' ' <<<"$dlls")"
    for dll in $dlls; do
        case "$_WD_SYSTEM_DLLS" in
            *" ${dll,,} "*) ;;
            *) echo "  not a system DLL: $dll" >&2; bad=1 ;;
        esac
    done
    return $bad
}

# The proof: both pieces build into static programs that run under Wine.
windows_deps_selftest() (
    set -euo pipefail
    windows_deps
    ensure_packages python3 >&2
    local tmp server_pid="" display_pid="" wine wineserver
    tmp=$(mktemp -d "${TMPDIR:-/tmp}/velmora-windeps-selftest.XXXXXX")
    windows_wine_env "$tmp"
    wine=$WINELOADER
    wineserver=$WINESERVER
    # shellcheck disable=SC2317  # called by the trap
    cleanup() {
        "$wineserver" -k 2>/dev/null || true
        [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
        [ -n "$display_pid" ] && kill "$display_pid" 2>/dev/null
        wait 2>/dev/null
        rm -rf "$tmp"
    }
    trap cleanup EXIT

    # A static C++ program that fetches one URL with the cached libcurl.
    cat >"$tmp/fetch.cpp" <<'EOF'
#include <curl/curl.h>

#include <cstdio>
#include <string>

static size_t keep(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fetch URL EXPECTED\n");
        return 2;
    }
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return 3;
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    std::printf("libcurl %s, threaded resolver: %s\n", info->version,
                (info->features & CURL_VERSION_ASYNCHDNS) ? "yes" : "no");
    CURL* easy = curl_easy_init();
    std::string body;
    char error[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(easy, CURLOPT_URL, argv[1]);
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");  // straight to the loopback server
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, (long)CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, keep);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    CURLcode result = curl_easy_perform(easy);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(easy);
    curl_global_cleanup();
    if (result != CURLE_OK) {
        std::printf("fetch failed: %s\n", error[0] ? error : curl_easy_strerror(result));
        return 1;
    }
    std::printf("HTTP %ld, %zu bytes\n", status, body.size());
    bool ok = status == 200 && body == argv[2] &&
              (info->features & CURL_VERSION_ASYNCHDNS) != 0;
    std::printf("%s\n", ok ? "fetch ok" : "fetch wrong");
    return ok ? 0 : 1;
}
EOF
    "$_WD_TRIPLE-g++-posix" -std=c++20 -O2 -static -DCURL_STATICLIB -I"$VELMORA_CURL_MINGW/include" \
        "$tmp/fetch.cpp" -o "$tmp/fetch.exe" \
        "$VELMORA_CURL_MINGW/lib/libcurl.a" -lws2_32 -lbcrypt -ladvapi32 -lcrypt32

    # A one-test program, built the way the project's CMake will find GoogleTest.
    mkdir -p "$tmp/gtest"
    cat >"$tmp/gtest/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.16)
project(windows_deps_gtest CXX)
find_package(GTest CONFIG REQUIRED)
add_executable(one_test one_test.cpp)
target_link_libraries(one_test GTest::gtest_main)
target_link_options(one_test PRIVATE -static)
EOF
    cat >"$tmp/gtest/one_test.cpp" <<'EOF'
#include <gtest/gtest.h>

TEST(WindowsDeps, RunsUnderWine) { EXPECT_EQ(4, 2 + 2); }
EOF
    cmake -S "$tmp/gtest" -B "$tmp/gtest/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$_wd_root/cmake/mingw-w64-x86_64.cmake" \
        -DGTest_DIR="$VELMORA_GTEST_MINGW/lib/cmake/GTest" >"$tmp/gtest.log" 2>&1 \
        || { cat "$tmp/gtest.log" >&2; exit 1; }
    cmake --build "$tmp/gtest/build" -j"$(_wd_jobs)" >>"$tmp/gtest.log" 2>&1 \
        || { cat "$tmp/gtest.log" >&2; exit 1; }

    local status=0
    _wd_check_imports "$tmp/fetch.exe" || status=1
    _wd_check_imports "$tmp/gtest/build/one_test.exe" || status=1

    # Wine: a virtual display for what it opens, and one server for the run.
    exec 3>"$tmp/display"
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 >"$tmp/xvfb.log" 2>&1 &
    display_pid=$!
    exec 3>&-
    for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
    [ -s "$tmp/display" ] || { cat "$tmp/xvfb.log" >&2; exit 1; }
    DISPLAY=":$(cat "$tmp/display")"
    export DISPLAY
    "$wineserver" -p
    local phase
    phase=$(date +%s)
    "$wine" wineboot -i >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
    echo "Wine prefix made in $(($(date +%s) - phase)) s"

    # The loopback server, on a port of the system's choosing.
    mkdir -p "$tmp/www"
    local expected="velmora windows deps selftest $$"
    printf '%s' "$expected" >"$tmp/www/index.html"
    python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$tmp/www" >"$tmp/server.log" 2>&1 &
    server_pid=$!
    local port=""
    for _ in $(seq 100); do
        port=$(sed -nE 's/^Serving HTTP on 127\.0\.0\.1 port ([0-9]+).*/\1/p' "$tmp/server.log")
        [ -n "$port" ] && break
        sleep 0.1
    done
    [ -n "$port" ] || { cat "$tmp/server.log" >&2; exit 1; }

    echo "--- fetch.exe http://127.0.0.1:$port/ under Wine"
    "$wine" "$tmp/fetch.exe" "http://127.0.0.1:$port/" "$expected" | tr -d '\r' || status=1
    echo "--- one_test.exe under Wine"
    local output
    output=$("$wine" "$tmp/gtest/build/one_test.exe" | tr -d '\r') || status=1
    echo "$output"
    grep -qx '\[  PASSED  \] 1 test\.' <<<"$output" || status=1
    if [ $status -eq 0 ]; then
        echo "windows deps selftest: 2 passed, 0 failed"
    else
        echo "windows deps selftest: failed"
    fi
    exit $status
)

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    case "${1:-}" in
        --selftest) windows_deps_selftest ;;
        "") windows_deps
            echo "VELMORA_CURL_MINGW=$VELMORA_CURL_MINGW"
            echo "VELMORA_GTEST_MINGW=$VELMORA_GTEST_MINGW"
            echo "VELMORA_UTF8PROC_MINGW=$VELMORA_UTF8PROC_MINGW" ;;
        *) echo "usage: $0 [--selftest]" >&2; exit 2 ;;
    esac
else
    windows_deps || return 1
    _wd_log "VELMORA_CURL_MINGW=$VELMORA_CURL_MINGW"
    _wd_log "VELMORA_GTEST_MINGW=$VELMORA_GTEST_MINGW"
    _wd_log "VELMORA_UTF8PROC_MINGW=$VELMORA_UTF8PROC_MINGW"
fi
