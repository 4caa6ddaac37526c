#!/usr/bin/env bash
# Builds the program and runs its tests, installing the Debian packages the
# build needs when they are missing. Arguments go to ctest; without any, all
# tests run but those labelled "long" (the hundred kill trials).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure_packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DVELMORA_WERROR=ON ${CMAKE_ARGS:-}
cmake --build "$build" -j2
[ $# -gt 0 ] || set -- -LE long
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" -j2 --output-on-failure "$@"
