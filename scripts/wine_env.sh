# shellcheck shell=bash
# Sourced by the scripts that run Windows programs: a Wine of their own.

# A Wine of its own below folder $1: a fresh prefix and HOME, quiet, with
# WINELOADER and WINESERVER naming the loader and its server. Debian's
# wine64 without its recommends has no wrappers in /usr/bin: they are called
# by their own paths.
windows_wine_env() {
    local wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
    [ -x "$wine" ] || wine=$(command -v wine64)
    [ -x "$wineserver" ] || wineserver=$(command -v wineserver)
    export WINELOADER="$wine" WINESERVER="$wineserver"
    export HOME="$1/home" WINEPREFIX="$1/wineprefix" WINEDEBUG=-all
    # No Mono or Gecko: their installers would wait for a click.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$HOME" "$WINEPREFIX"
}

# Makes the prefix of windows_wine_env and waits until Wine has finished
# setting it up (which goes on in the background after the first program
# ends), then keeps one server running, so that each program starts warm.
# Stop it with "$WINESERVER" -k.
windows_wine_start() {
    local start
    start=$(date +%s)
    "$WINELOADER" wineboot --init >/dev/null 2>&1 || true
    "$WINESERVER" -w
    # Debian's Wine, started by its loader's path, does not find its own
    # fonts (Tahoma, and Marlett for the window menu's symbols) and falls
    # back to wider ones: the prefix gets them, so that dialogs measure and
    # look as on Windows.
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null ||
        echo "note: no Wine fonts in /usr/share/wine/fonts (package fonts-wine)" >&2
    "$WINESERVER" -p
    # Wine's own services start with the first program of a server and
    # stay; started here, they hold none of a later caller's pipes open
    # (ctest waits for those when it lists a program's tests).
    "$WINELOADER" cmd /c exit </dev/null >/dev/null 2>&1 || true
    echo "Wine prefix made in $(($(date +%s) - start)) s" >&2
}
