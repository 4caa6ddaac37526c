#!/usr/bin/env bash
# Builds the Windows tests with Debian's MinGW-w64 and runs them under Wine,
# installing and building what they need (scripts/windows_deps.sh). So far:
# the file seam's contract test against the Windows mapping.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows_deps.sh
windows_deps
build=${BUILD_DIR:-build-windows-tests}
cmake -S cmake/windows-tests -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DVELMORA_GTEST_MINGW="$VELMORA_GTEST_MINGW" >/dev/null
cmake --build "$build" -j2

# A Wine of its own for the run: a fresh prefix and HOME, one server kept
# running so that each test program starts warm.
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-wine.XXXXXX")
windows_wine_env "$work"
cleanup() {
    "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
"$WINESERVER" -p
# Bounded: a Wine that waits for something would otherwise hold CI.
timeout 600 "$WINELOADER" "$build/velmora_file_system_tests.exe"
