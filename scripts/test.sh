#!/usr/bin/env bash
# Builds the program and runs its tests, installing the Debian packages the
# build needs when they are missing. Arguments go to ctest; without any, all
# tests run but those labelled "long" (the hundred kill trials).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure_packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

build=${BUILD_DIR:-build}
# Extra cmake options may come in CMAKE_ARGS, split at blanks.
read -ra extra <<<"${CMAKE_ARGS:-}"
cmake --preset linux -B "$build" "${extra[@]}"
cmake --build "$build" -j2
[ $# -gt 0 ] || set -- -LE long
ctest --preset linux --test-dir "$build" "$@"
