#!/bin/sh
# Runs a Windows program under Wine: the emulator ctest uses for the Windows
# tests. The Wine to use, its prefix and HOME come from the environment
# (windows_wine_env of scripts/wine_env.sh), else Debian's wine64.
#
# Now and then (seen once in some hundreds of starts, on a busy machine)
# Wine's loader ends at once, having run nothing and said nothing. A run
# that failed without a byte of output is such a start, never a test's
# verdict (a test program always says what failed), and is tried again.
loader=${WINELOADER:-/usr/lib/wine/wine64}
[ -x "$loader" ] || loader=wine64
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
attempt=1
while :; do
    status=0
    "$loader" "$@" >"$out" 2>"$err" || status=$?
    if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$attempt" -ge 3 ]; then
        break
    fi
    echo "wine-run: the loader ended at once with status $status and no output; again" >&2
    attempt=$((attempt + 1))
done
cat "$out"
cat "$err" >&2
exit "$status"
