#!/usr/bin/env bash
# The command line in a terminal without any display: --help and --version
# of the program and of the publisher print to standard output and succeed,
# and an option the program does not take is named on standard error while
# the program starts all the same.
#
#   command_line_e2e.sh PROGRAM PUBLISHER VERSION
set -euo pipefail
program=$1 publisher=$2 version=$3
work=$(mktemp -d)
child=
cleanup() {
    [ -z "$child" ] || kill "$child" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
headless() { env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$@"; }

# Runs a command without a display; it must succeed and say nothing on
# standard error. Its output is left in $work/out.
answers() {
    local status=0
    headless "$@" >"$work/out" 2>"$work/err" || status=$?
    [ "$status" = 0 ] || fail "$* ended with $status: $(cat "$work/err")"
    [ -s "$work/err" ] && fail "$* wrote to standard error: $(cat "$work/err")"
    return 0
}

answers "$program" --help
[ "$(head -n1 "$work/out")" = "Usage: VELMORA_QUINDLE_7 [-site HOST] [-dir FOLDER]" ] ||
    fail "the program's help begins: $(head -n1 "$work/out")"
for named in "-site HOST" "-dir FOLDER" "/site, /dir" "--help" "--version"; do
    grep -qF -- "$named" "$work/out" || fail "the program's help does not name $named"
done
answers "$program" --version
[ "$(cat "$work/out")" = "VELMORA_QUINDLE_7 (Velmora Quindle) $version" ] ||
    fail "the program's version: $(cat "$work/out")"

# An answer that cannot be written is no success.
if [ -w /dev/full ]; then
    status=0
    headless "$program" --version >/dev/full 2>/dev/null || status=$?
    [ "$status" != 0 ] || fail "--version into a full disk ended with 0"
fi

answers "$publisher" --help
[ "$(head -n1 "$work/out")" = "usage: velmora-publish --version TEXT [--package main|tobrin|vessa]" ] ||
    fail "the publisher's help begins: $(head -n1 "$work/out")"
for named in "--part-size BYTES" "--sign SECRET_KEY" "--help"; do
    grep -qF -- "$named" "$work/out" || fail "the publisher's help does not name $named"
done
answers "$publisher" --version
[ "$(cat "$work/out")" = "velmora-publish (Velmora Quindle) $version" ] ||
    fail "the publisher's version: $(cat "$work/out")"

# An unknown option: warned of, and the program starts in place (its name
# says it is the copy in a package folder) up to taking that folder's lock
# before its window. Offscreen, and every request refused on loopback.
mkdir -p "$work/package" "$work/home"
cp "$program" "$work/package/VELMORA_QUINDLE_7"
HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config" \
    GSETTINGS_BACKEND=memory http_proxy="http://127.0.0.1:9" no_proxy="" \
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
    "$work/package/VELMORA_QUINDLE_7" -x -site >"$work/out" 2>"$work/err" &
child=$!
for _ in $(seq 200); do [ -e "$work/package/velmora.lock" ] && break; sleep 0.05; done
[ -e "$work/package/velmora.lock" ] || fail "the program did not start: $(cat "$work/err")"
kill -0 "$child" 2>/dev/null || fail "the program ended at once"
grep -qx 'VELMORA_QUINDLE_7: unknown option "-x" ignored' "$work/err" ||
    fail "no warning of -x: $(cat "$work/err")"
grep -qx 'VELMORA_QUINDLE_7: option "-site" without a value ignored' "$work/err" ||
    fail "no warning of -site: $(cat "$work/err")"
[ -s "$work/out" ] && fail "a start wrote to standard output: $(cat "$work/out")"
echo "command line: ok"
