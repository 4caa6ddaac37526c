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
    address) sanitize=address,undefined ;;
    thread) sanitize=thread ;;
    *) echo "usage: scripts/sanitize.sh address|thread [ctest arguments]" >&2; exit 2 ;;
esac
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
build=${BUILD_DIR:-build-$kind}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1" \
    -DVELMORA_SANITIZE="$sanitize" -DVELMORA_WERROR=ON >/dev/null
cmake --build "$build" -j2
here=$(pwd)
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$here/scripts/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$here/scripts/sanitizer/tsan.supp"
[ $# -gt 0 ] || set -- -LE long
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" -j2 --output-on-failure "$@"
