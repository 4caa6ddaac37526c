#!/usr/bin/env bash
# Builds the Windows program VELMORA_QUINDLE_7.exe, its libraries and its
# tests with Debian's MinGW-w64, installing
# and building what they need first (scripts/windows_deps.sh: MinGW, Wine,
# libgcrypt for MinGW, libcurl and GoogleTest cross-built once into a cache).
# Everything is linked statically: no DLL but the system's beside a program.
#
#   scripts/build-windows.sh [CMAKE_OPTION ...]
#                                   # into build-windows (or $BUILD_DIR); the
#                                   # options go to cmake, such as
#                                   # -DVELMORA_MINISIGN_PUBLIC_KEY=RW...
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows_deps.sh
windows_deps
build=${BUILD_DIR:-build-windows}
cmake -S . -B "$build" -G Ninja -DVELMORA_WERROR=ON -DVELMORA_BUILD_WINDOWS=ON \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DVELMORA_CURL_MINGW="$VELMORA_CURL_MINGW" "$@" >/dev/null
start=$(date +%s)
cmake --build "$build" -j2
echo "built for Windows in $(($(date +%s) - start)) s"
# Each program must run alone on any Windows.
status=0
for program in "$build"/src/*.exe "$build"/tests/*.exe; do
    _wd_check_imports "$program" || status=1
done
exit $status
