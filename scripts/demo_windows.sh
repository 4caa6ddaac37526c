#!/usr/bin/env bash
# The Windows demo: VELMORA_QUINDLE_7.exe under Wine, downloading the same
# kind of demo package as scripts/demo.sh from a server on 127.0.0.1. The
# Windows program trusts the Linux demo's throwaway key (build-demo/demo.pub)
# and is built into build-demo-windows; the publisher and the test server
# are the Linux demo build's. The stand-in installer is a small Windows
# program (tools/stand_in_installer) with 24 MiB of random bytes after it,
# so the package has many parts and the install button has something to run.
# Wine gets a fresh prefix and HOME in the demo folder; the program starts
# from that prefix's Downloads folder, as a user's fresh download does.
#
#   scripts/demo.sh --windows           you press OK, Download, Stop, ...
#   scripts/demo.sh --windows --auto    drives it itself and takes screenshots
#                                       (also into docs/windows-*.png)
#
# Without a display (no $DISPLAY), and always with --auto, it runs on a
# virtual one (Xvfb, with openbox to manage the windows).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/ensure_packages.sh
source scripts/virtual_display.sh
auto=false
for arg in "$@"; do
    case $arg in
        --auto) auto=true ;;
        *) echo "usage: scripts/demo.sh --windows [--auto]" >&2; exit 2 ;;
    esac
done
started=$(date +%s)
elapsed() { echo "$(($(date +%s) - started)) s"; }
say() { echo "[$(elapsed)] $*"; }
fail() { echo "[$(elapsed)] FAILED: $*" >&2; exit 1; }

virtual=false
[ -z "${DISPLAY:-}" ] || $auto && virtual=true
extra=()
$virtual && extra+=(xvfb xdotool imagemagick openbox)
$auto && extra+=(xdotool imagemagick x11-utils)
ensure_packages "${BUILD_PACKAGES[@]}" minisign fonts-wine "${extra[@]}"

# The Linux demo's build: its key, its publisher and its server.
build=${BUILD_DIR:-build-demo}
mkdir -p "$build"
[ -f "$build/demo.key" ] || minisign -G -W -p "$build/demo.pub" -s "$build/demo.key" >/dev/null
key=$(sed -n 2p "$build/demo.pub")
cmake -S . -B "$build" -G Ninja -DVELMORA_BUILD_TESTS=ON -DVELMORA_MINISIGN_PUBLIC_KEY="$key" >/dev/null
timeout 1800 cmake --build "$build" -j2 --target velmora-publish velmora_test_server

# The Windows program, trusting the same key. windows_deps.sh installs
# MinGW-w64 and Wine and readies the libraries' sources as it is sourced.
source scripts/windows_deps.sh
source scripts/wine_env.sh
winbuild=${WINDOWS_BUILD_DIR:-build-demo-windows}
case $winbuild in build-demo-windows*) ;; *) fail "the Windows build folder must be build-demo-windows*" ;; esac
phase=$(date +%s)
cmake -S . -B "$winbuild" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DVELMORA_BUILD_TESTS=OFF -DVELMORA_MINISIGN_PUBLIC_KEY="$key" >/dev/null
timeout 1800 cmake --build "$winbuild" -j2 --target VELMORA_QUINDLE_7
program="$winbuild/src/VELMORA_QUINDLE_7.exe"
cmake -P cmake/CheckImports.cmake -- "$program"
# The stand-in installer: a real Windows program, since the shell opens it.
mkdir -p "$winbuild/stand_in_installer"
stand_in="$winbuild/stand_in_installer/stand_in_installer.exe"
x86_64-w64-mingw32-gcc-posix -std=c11 -Wall -Wextra -Werror -Os -s -static -mwindows \
    tools/stand_in_installer/stand_in_installer.c -o "$stand_in"
say "Windows program and stand-in installer built in $(($(date +%s) - phase)) s"

demo=$(mktemp -d /tmp/velmora-demo-windows.XXXXXX)
pids=()
wine_ready=false
cleanup() {
    local status=$?
    set +e
    # Wine first, while its display is still there.
    if $wine_ready; then timeout 30 "$WINESERVER" -k >/dev/null 2>&1; fi
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null; done
    wait 2>/dev/null
    [ $status -eq 0 ] || echo "The Windows demo failed after $(elapsed)." >&2
    echo "The demo's files stay in $demo (remove it when done)."
}
trap cleanup EXIT

# The installer with 24 MiB after its end, published and signed as the
# Linux demo does.
{
    cat "$stand_in"
    head -c $((24 * 1024 * 1024)) /dev/urandom
} >"$demo/velmora.exe"
"$build/tools/velmora-publish" --version 7.0-demo --part-size 1048576 --sign "$build/demo.key" \
    "$demo/velmora.exe" "$demo/www"

"$build/tests/velmora_test_server" "$demo/www" $((1536 * 1024)) >"$demo/address" &
pids+=($!)
for _ in $(seq 100); do [ -s "$demo/address" ] && break; sleep 0.1; done
[ -s "$demo/address" ] || fail "the test server did not start"
address=$(head -n1 "$demo/address")
say "Serving the demo package at http://$address (1.5 MiB/s)"

if $virtual; then
    start_virtual_display "$demo"
    pids+=("$VIRTUAL_DISPLAY_PID")
    start_window_manager "$demo"
    pids+=("$WINDOW_MANAGER_PID")
    say "No display of yours is used: the windows are on the virtual display $DISPLAY."
    echo "See it with: import -display $DISPLAY -window root shot.png"
fi

# A Wine of the demo's own. Its HOME has the desktop and download folders
# that Wine links the prefix's Desktop and Downloads to; Wine's menu builder
# stays off, so no launcher leaves the demo folder.
windows_wine_env "$demo"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" \
    XDG_CACHE_HOME="$HOME/.cache"
mkdir -p "$HOME/Desktop" "$HOME/Downloads" "$XDG_CONFIG_HOME"
printf 'XDG_DESKTOP_DIR="%s/Desktop"\nXDG_DOWNLOAD_DIR="%s/Downloads"\n' "$HOME" "$HOME" \
    >"$XDG_CONFIG_HOME/user-dirs.dirs"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
export -f windows_wine_start
wine_ready=true
timeout 300 bash -c windows_wine_start || fail "the Wine prefix was not made within 300 s"

# A Windows path of the prefix, as a Unix path.
unix_path() { readlink -f "$(timeout 60 "$WINELOADER" winepath -u "$1" 2>/dev/null | tr -d '\r')"; }
profile=$(timeout 60 "$WINELOADER" cmd /c echo %USERPROFILE% 2>/dev/null | tr -d '\r')
[ -n "$profile" ] || fail "Wine told no user profile"
downloads=$(unix_path "$profile\\Downloads")
desktop=$(unix_path "$profile\\Desktop")
appdata=$(timeout 60 "$WINELOADER" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
start_menu=$(unix_path "$appdata\\Microsoft\\Windows\\Start Menu\\Programs")
[ "$downloads" = "$(readlink -f "$HOME/Downloads")" ] ||
    echo "note: Wine's Downloads is $downloads, not $HOME/Downloads" >&2
say "The prefix's Downloads ($profile\\Downloads) is $downloads"

# As a user's download: not under the copy's name, or it would take itself
# for the copy and skip the folder question.
cp "$program" "$downloads/velmora-setup.exe"
package=$(unix_path 'C:\VelmoraDownload')
export http_proxy="http://$address" no_proxy=""
# Windows' variables ignore case: none of these may stand beside http_proxy.
unset HTTP_PROXY NO_PROXY ALL_PROXY all_proxy
# Where the stand-in installer leaves its note.
VELMORA_DEMO_OUTPUT=$(timeout 60 "$WINELOADER" winepath -w "$demo" 2>/dev/null | tr -d '\r')
export VELMORA_DEMO_OUTPUT

# Processes of this prefix whose command line holds $1.
prefix_pids() {
    local dir pid
    for dir in /proc/[0-9]*; do
        pid=${dir#/proc/}
        grep -qzxF "WINEPREFIX=$WINEPREFIX" "$dir/environ" 2>/dev/null || continue
        grep -qzF "$1" "$dir/cmdline" 2>/dev/null && echo "$pid"
    done
    return 0
}

start_program() {
    (cd "$downloads" && exec "$WINELOADER" "$profile\\Downloads\\velmora-setup.exe") \
        >"$demo/program.log" 2>&1 &
    pids+=($!)
}

if ! $auto; then
    say "Starting the program from $profile\\Downloads. It asks for the package folder,"
    echo "copies itself there and starts the copy: press Download; Stop and Download again"
    echo "resume at the first unfinished part; the install button runs the stand-in"
    echo "installer, which leaves $demo/installer-ran.txt."
    start_program
    # Until neither the download nor the copy runs (at most an hour).
    sleep 5
    for _ in $(seq 3600); do
        [ -z "$(prefix_pids velmora-setup.exe)$(prefix_pids VELMORA_QUINDLE_7)" ] && break
        sleep 1
    done
    exit 0
fi

# --auto: the same by itself, with a screenshot at every step.
mkdir -p "$demo/shots"
shot_number=0
shot() {  # name: the whole screen, into the demo folder
    shot_number=$((shot_number + 1))
    last_shot="$demo/shots/$(printf '%02d' $shot_number)-$1.png"
    import -window root "$last_shot"
    say "screenshot: $last_shot"
}
# The window manager's frame around window $1 (the window itself without one).
frame_of() {
    local id=$1 parent root_id
    root_id=$(xwininfo -root | awk '/Window id:/ { print $4 }')
    while parent=$(xwininfo -children -id "$id" | awk '/Parent window id:/ { print $4 }') &&
        [ -n "$parent" ] && [ $((parent)) -ne $((root_id)) ]; do
        id=$parent
    done
    echo "$id"
}
# The last screenshot cut to window $1 and its frame, with a small margin,
# into docs/windows-$2.png.
keep() {  # window name
    local X Y WIDTH HEIGHT margin=8
    eval "$(xdotool getwindowgeometry --shell "$(frame_of "$1")")"
    local left=$((X > margin ? X - margin : 0)) top=$((Y > margin ? Y - margin : 0))
    convert "$last_shot" -crop "$((X - left + WIDTH + margin))x$((Y - top + HEIGHT + margin))+$left+$top" \
        +repage "$root/docs/windows-$2.png"
    say "kept: docs/windows-$2.png"
}
wait_for() {  # seconds description command...
    local seconds=$1 what=$2
    shift 2
    for _ in $(seq $((seconds * 10))); do "$@" && return 0; sleep 0.1; done
    shot "timeout"
    fail "$what: not within $seconds s (see $last_shot)"
}
visible() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
gone() { ! visible "$1"; }
window_of() {  # title: its id, waiting up to 60 s
    wait_for 60 "window \"$1\"" visible "$1"
    xdotool search --onlyvisible --name "^$1\$" | head -n1
}
activate() { xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus --sync "$1"; sleep 0.3; }

start_program
folder=$(window_of "Package Download Folder")
sleep 1
shot folder-dialog
keep "$folder" folder-dialog
# OK takes the default, C:\VelmoraDownload (the edit field is read-only).
activate "$folder"
xdotool key Return
notice=$(window_of "Velmora Quindle")
sleep 0.5
shot shortcut-created
activate "$notice"
xdotool key Return
# shellcheck disable=SC2016 # expanded by eval at each try
wait_for 30 "the first process ends" eval '[ -z "$(prefix_pids velmora-setup.exe)" ]'
say "package folder: $package"
find "$package" -mindepth 1 -maxdepth 1 -printf '    %M %10s %f\n' | sort -k3
[ -f "$package/VELMORA_QUINDLE_7.exe" ] || { echo "the copy VELMORA_QUINDLE_7.exe is missing" >&2; exit 1; }
for link in "$desktop/Velmora Quindle 7.lnk" "$start_menu/Velmora Quindle 7.lnk"; do
    [ -f "$link" ] && say "shortcut: $link" || echo "MISSING shortcut: $link" >&2
done

main=$(window_of "Velmora Software Quindle")
activate "$main"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$main")"
say "main dialog: ${WIDTH}x${HEIGHT} at $X,$Y"
# Presses the button at (x, y), dialog units of the 291 x 277 dialog.
press() { xdotool mousemove --window "$main" $(($1 * WIDTH / 291)) $(($2 * HEIGHT / 277)) click 1; }
shot main-opened

# The window menu, with the packages, from the keyboard.
xdotool key alt+space
sleep 1
shot window-menu
keep "$main" window-menu
xdotool key Escape
sleep 0.5

version_folder="$package/7.0-demo"
press 104 132                                  # Download
sleep 6
shot downloading
keep "$main" downloading
press 158 132                                  # Stop
sleep 2
shot stopped
# Stopped means stopped: no byte arrives for the next two seconds.
bytes() { du -sb "$version_folder" | cut -f1; }
parts_then=$(find "$version_folder" -name 'velmora.[0-9]*' | wc -l)
bytes_then=$(bytes)
sleep 2
[ "$(bytes)" = "$bytes_then" ] || fail "the download went on after Stop"
say "stopped with $parts_then part files ($bytes_then bytes) in $version_folder"
press 104 132                                  # Download again: resumes
sleep 3
shot resumed
wait_for 180 "the joined velmora.exe" test -f "$version_folder/velmora.exe"
sleep 2
shot finished
keep "$main" finished
say "download finished"

press 243 218                                  # the install button
wait_for 60 "installer-ran.txt" test -f "$demo/installer-ran.txt"
tr -d '\r' <"$demo/installer-ran.txt"
sleep 1
shot installed
cmp "$demo/velmora.exe" "$version_folder/velmora.exe" ||
    fail "the joined velmora.exe differs from the published installer"
say "velmora.exe is byte-identical to the published installer."
activate "$main"
press 243 251                                  # Done
wait_for 30 "the main dialog closes" gone "Velmora Software Quindle"
# shellcheck disable=SC2016 # expanded by eval at each try
wait_for 30 "the copy ends" eval '[ -z "$(prefix_pids VELMORA_QUINDLE_7)" ]'

# Later: the desktop shortcut, as a double click opens it, goes straight to
# the main dialog of the package folder, with the installer ready.
(exec "$WINELOADER" start /unix "$desktop/Velmora Quindle 7.lnk") >>"$demo/program.log" 2>&1 &
pids+=($!)
main=$(window_of "Velmora Software Quindle")
visible "Package Download Folder" && fail "the shortcut asked for a package folder again"
activate "$main"
sleep 1
shot shortcut-reopened
eval "$(xdotool getwindowgeometry --shell "$main")"
press 243 251                                  # Done
wait_for 30 "the main dialog closes" gone "Velmora Software Quindle"
# shellcheck disable=SC2016 # expanded by eval at each try
wait_for 30 "the copy ends" eval '[ -z "$(prefix_pids VELMORA_QUINDLE_7)" ]'
say "Windows demo passed."
