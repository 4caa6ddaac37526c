#!/usr/bin/env bash
# Velmora Quindle on a demo package, without any real server: builds the
# program, publishes a generated 24 MiB package signed with a throwaway key
# that the demo build trusts, serves it on 127.0.0.1 at a
# modest speed (so that there is time to press Stop and Download again), and
# opens the program in a throwaway package folder, pointed at the local
# server through http_proxy. Installs what it needs with apt-get.
#
#   scripts/demo.sh            opens the window; you press Download, Stop, ...
#   scripts/demo.sh --auto     drives the window itself and takes screenshots
#   scripts/demo.sh --windows [--auto]
#                              the same with the Windows program under Wine
#                              (scripts/demo_windows.sh)
#
# Without a display (no $DISPLAY) it runs on a virtual one (Xvfb) and tells
# you how to look at it.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${1:-}" = "--windows" ] && { shift; exec scripts/demo_windows.sh "$@"; }
source scripts/ensure_packages.sh
source scripts/virtual_display.sh
auto=false
[ "${1:-}" = "--auto" ] && auto=true

extra=()
[ -z "${DISPLAY:-}" ] || $auto && extra+=(xvfb xdotool imagemagick)
ensure_packages "${BUILD_PACKAGES[@]}" minisign "${extra[@]}"
# The demo's program trusts a throwaway key of its own, made once: the
# package it downloads is signed with it, and every part is checked against
# the signed checksums. Its build is kept apart from the tests', which build
# without a key.
build=${BUILD_DIR:-build-demo}
mkdir -p "$build"
[ -f "$build/demo.key" ] || minisign -G -W -p "$build/demo.pub" -s "$build/demo.key" >/dev/null
cmake -S . -B "$build" -G Ninja -DVELMORA_BUILD_TESTS=ON \
    -DVELMORA_MINISIGN_PUBLIC_KEY="$(sed -n 2p "$build/demo.pub")" >/dev/null
cmake --build "$build" -j2 --target VELMORA_QUINDLE_7 velmora-publish velmora_test_server

demo=$(mktemp -d /tmp/velmora-demo.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    echo "The demo's files stay in $demo (remove it when done)."
}
trap cleanup EXIT

# A stand-in installer: a shell script with 24 MiB of data after its end.
{
    printf '#!/bin/sh\necho "The Velmora demo installer ran." > "%s/installer-ran.txt"\nexit 0\n' "$demo"
    head -c $((24 * 1024 * 1024)) /dev/urandom
} >"$demo/velmora.exe"
"$build/tools/velmora-publish" --version 7.0-demo --part-size 1048576 --sign "$build/demo.key" \
    "$demo/velmora.exe" "$demo/www"

"$build/tests/velmora_test_server" "$demo/www" $((1536 * 1024)) >"$demo/address" &
pids+=($!)
for _ in $(seq 100); do [ -s "$demo/address" ] && break; sleep 0.1; done
address=$(head -n1 "$demo/address")
echo "Serving the demo package at http://$address (1.5 MiB/s)"

if [ -z "${DISPLAY:-}" ] || $auto; then
    start_virtual_display "$demo"
    pids+=("$VIRTUAL_DISPLAY_PID")
    echo "No display of yours is used: the window is on the virtual display $DISPLAY."
    echo "See it with: import -display $DISPLAY -window root shot.png"
fi

# The package folder, and desktop and download folders of the demo's own.
mkdir -p "$demo/package" "$demo/Desktop" "$demo/Downloads" "$demo/config"
printf 'XDG_DESKTOP_DIR="%s/Desktop"\nXDG_DOWNLOAD_DIR="%s/Downloads"\n' "$demo" "$demo" \
    >"$demo/config/user-dirs.dirs"
cp "$build/src/VELMORA_QUINDLE_7" "$demo/package/"
export XDG_CONFIG_HOME="$demo/config" http_proxy="http://$address" no_proxy=""
unset QT_QPA_PLATFORM

if ! $auto; then
    echo "Starting the program in $demo/package. Press Download; Stop and Download again"
    echo "resume at the first unfinished part; the install button opens the joined installer."
    "$demo/package/VELMORA_QUINDLE_7"
    exit 0
fi

# --auto: the same by itself, with a screenshot at every step.
"$demo/package/VELMORA_QUINDLE_7" &
app=$!
pids+=("$app")
shot() { import -window root "$demo/$1.png"; echo "screenshot: $demo/$1.png"; }
notice=$(window "Velmora Quindle")   # the desktop launcher was created
xdotool windowfocus --sync "$notice"; sleep 0.3; xdotool key Return
main=$(window "Velmora Software Quindle")
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$main")"
# Presses the button at (x, y) in dialog units of the 291 x 277 main dialog.
press() { xdotool mousemove $((X + $1 * WIDTH / 291)) $((Y + $2 * HEIGHT / 277)) click 1; }
shot 1-opened
press 104 132; sleep 5; shot 2-downloading     # Download
press 158 132; sleep 1; shot 3-stopped         # Stop
press 104 132; sleep 3; shot 4-resumed         # Download again: resumes
while [ ! -f "$demo/package/7.0-demo/velmora.exe" ]; do sleep 0.5; done
sleep 1; shot 5-finished
press 243 218; sleep 1                          # the install button
[ -f "$demo/installer-ran.txt" ] && cat "$demo/installer-ran.txt"
cmp -s "$demo/velmora.exe" "$demo/package/7.0-demo/velmora.exe" && echo "velmora.exe is byte-identical to the published installer."
press 243 251                                   # Done
wait "$app" || true
