#!/usr/bin/env bash
# Builds the program and its tests with sanitizers and runs the tests:
#
#   scripts/sanitize.sh address     AddressSanitizer with UndefinedBehaviorSanitizer
#   scripts/sanitize.sh thread      ThreadSanitizer
#
# Extra arguments go to ctest (default: all tests but those labelled "long").
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure_packages.sh
kind=${1:-address}
shift || true
case $kind in
    address) preset=asan ;;
    thread) preset=tsan ;;
    *) echo "usage: scripts/sanitize.sh address|thread [ctest arguments]" >&2; exit 2 ;;
esac
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
build=${BUILD_DIR:-build-$kind}
cmake --preset "$preset" -B "$build" >/dev/null
cmake --build "$build" -j2
[ $# -gt 0 ] || set -- -LE long
# The sanitizers' options are the test preset's.
ctest --preset "$preset" --test-dir "$build" "$@"
