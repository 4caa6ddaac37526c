#!/usr/bin/env bash
# Compiles the shared sources of the window's layers (widgets, ui, app) for
# Windows with Debian's MinGW-w64, installing it when missing: a platform
# call in shared code fails here. The layers below them are built and
# tested for Windows by scripts/test-windows.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure_packages.sh
ensure_packages cmake ninja-build g++-mingw-w64-x86-64-posix libgcrypt-mingw-w64-dev
build=${BUILD_DIR:-build-windows-check}
cmake -S cmake/windows-check -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" | grep "Shared sources" || true
start=$(date +%s)
cmake --build "$build" -j2
echo "compiled for Windows in $(($(date +%s) - start)) s"
