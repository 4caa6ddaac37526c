#!/bin/sh
# Runs a Windows program under Wine: the emulator ctest uses for the Windows
# tests. The Wine to use, its prefix and HOME come from the environment
# (scripts/windows_deps.sh, windows_wine_env), else Debian's wine64.
loader=${WINELOADER:-/usr/lib/wine/wine64}
[ -x "$loader" ] || loader=wine64
exec "$loader" "$@"
