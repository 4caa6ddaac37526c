#!/usr/bin/env bash
# Builds the Windows libraries and tests (scripts/build-windows.sh) and runs
# them under Wine through ctest, the window tests on a virtual display.
# Arguments go to ctest; without any, all tests run but those labelled
# "long".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh
source scripts/ensure_packages.sh
source scripts/wine_env.sh
source scripts/virtual_display.sh
# The window tests draw on a virtual display, with a window manager, in
# Wine's own fonts.
ensure_packages xvfb xdotool openbox fonts-wine
build=${BUILD_DIR:-build-windows}

# A Wine of its own for the run: a fresh prefix and HOME, one server kept
# running so that each test program starts warm.
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-wine.XXXXXX")
windows_wine_env "$work"
cleanup() {
    "$WINESERVER" -k 2>/dev/null || true
    [ -z "${WINDOW_MANAGER_PID:-}" ] || kill "$WINDOW_MANAGER_PID" 2>/dev/null || true
    [ -z "${VIRTUAL_DISPLAY_PID:-}" ] || kill "$VIRTUAL_DISPLAY_PID" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
start_virtual_display "$work"
start_window_manager "$work"
windows_wine_start
[ $# -gt 0 ] || set -- -LE long
ctest --preset windows --test-dir "$build" "$@"
