#!/usr/bin/env bash
# Builds the Windows program VELMORA_QUINDLE_7.exe, its libraries and its
# tests with Debian's MinGW-w64. scripts/windows_deps.sh installs the
# packages and unpacks the sources of the libraries; configuring builds
# libcurl, utf8proc and GoogleTest once into a cache outside the clone
# (cmake/WindowsDependencies.cmake). Everything is linked statically: no DLL
# but the system's beside a program, which the test
# ProgramsImportOnlySystemDlls checks.
#
#   scripts/build-windows.sh [CMAKE_OPTION ...]
#                                   # into build-windows (or $BUILD_DIR); the
#                                   # options go to cmake, such as
#                                   # -DVELMORA_MINISIGN_PUBLIC_KEY=RW...
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows_deps.sh
build=${BUILD_DIR:-build-windows}
cmake --preset windows -B "$build" "$@" >/dev/null
start=$(date +%s)
cmake --build "$build" -j2
echo "built for Windows in $(($(date +%s) - start)) s"
