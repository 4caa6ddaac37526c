#!/usr/bin/env bash
# Takes the screenshots in docs/: the main window during a download of the
# demo package, with its window menu open, at a scale factor of 2 and in a
# dark palette, on a virtual display with a window manager (openbox), as a
# user would see them. Installs what it needs with apt-get.
#
#   scripts/screenshots.sh [OUTPUT_FOLDER]     (default: docs)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure_packages.sh
source scripts/virtual_display.sh
out=$(realpath -m "${1:-docs}")
ensure_packages "${BUILD_PACKAGES[@]}" xvfb xdotool imagemagick openbox qt6ct
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target VELMORA_QUINDLE_7 velmora-publish velmora_test_server >/dev/null

work=$(mktemp -d /tmp/velmora-shots.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$out"

head -c $((24 * 1024 * 1024)) /dev/urandom >"$work/velmora.exe"
"$build/tools/velmora-publish" --version 7.0-demo --part-size 1048576 "$work/velmora.exe" \
    "$work/www" >/dev/null
"$build/tests/velmora_test_server" "$work/www" $((1024 * 1024)) >"$work/address" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/address" ] && break; sleep 0.1; done

# Room for the window at a scale factor of 2.
VIRTUAL_SCREEN=1600x1200x24 start_virtual_display "$work"
pids+=("$VIRTUAL_DISPLAY_PID")
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
http_proxy="http://$(head -n1 "$work/address")"
export http_proxy no_proxy=""
unset QT_QPA_PLATFORM
mkdir -p "$HOME/Desktop"

# One run of the program in a fresh package folder: Download pressed, then
# `shoot` called with the main window's id. Extra arguments are environment
# settings for the program.
run() {  # shoot_function env...
    local shoot=$1 folder="$work/package-$RANDOM"
    shift
    mkdir -p "$folder"
    cp "$build/src/VELMORA_QUINDLE_7" "$folder/"
    rm -f "$HOME/Desktop/"*.desktop
    env "$@" "$folder/VELMORA_QUINDLE_7" &
    local app=$!
    local notice main
    notice=$(window "Velmora Quindle")
    xdotool windowactivate --sync "$notice" key Return
    main=$(window "Velmora Software Quindle")
    xdotool windowactivate --sync "$main" windowmove --sync "$main" 20 20
    sleep 0.5
    eval "$(xdotool getwindowgeometry --shell "$main")"
    # Positions in dialog units of the 291 x 277 dialog, relative to it (a
    # window manager's frame makes the absolute position unreliable).
    xdotool mousemove --window "$main" $((104 * WIDTH / 291)) $((132 * HEIGHT / 277)) click 1
    sleep 4
    "$shoot" "$main"
    xdotool windowactivate --sync "$main" key Escape
    wait "$app" || true
}
window_shot() {  # id file
    import -window "$1" -frame "$2"
    echo "screenshot: $2"
}
plain() { window_shot "$1" "$out/main-window.png"; }
scaled() { window_shot "$1" "$out/main-window-scale2.png"; }
dark() { window_shot "$1" "$out/main-window-dark.png"; }
tooltip() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    # Resting on the overall bar shows what is done, the rate and the time left.
    xdotool mousemove --window "$1" $((170 * WIDTH / 291)) $((98 * HEIGHT / 277))
    sleep 3
    import -window root -crop "$((WIDTH + 200))x$((HEIGHT + 80))+0+0" "$out/overall-tooltip.png"
    echo "screenshot: $out/overall-tooltip.png"
}
menu() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    # A right click on the window's background opens its window menu.
    xdotool mousemove --window "$1" $((150 * WIDTH / 291)) $((190 * HEIGHT / 277)) click 3
    sleep 1
    import -window root -crop "$((WIDTH + 280))x$((HEIGHT + 80))+0+0" "$out/window-menu.png"
    echo "screenshot: $out/window-menu.png"
    xdotool key Escape
}
run plain
run menu
run tooltip
run scaled QT_SCALE_FACTOR=2
# A dark palette, as qt6ct gives one to Qt programs on any desktop.
mkdir -p "$XDG_CONFIG_HOME/qt6ct"
printf '[Appearance]\ncolor_scheme_path=/usr/share/qt6ct/colors/darker.conf\ncustom_palette=true\nstyle=Fusion\n' \
    >"$XDG_CONFIG_HOME/qt6ct/qt6ct.conf"
run dark QT_QPA_PLATFORMTHEME=qt6ct
