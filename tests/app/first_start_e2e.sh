#!/usr/bin/env bash
# The program as a user meets it, in real processes on a virtual display:
# started from the download folder it asks for a package folder, copies
# itself there, leaves a desktop entry and starts the copy; started again
# through the desktop entry's Exec it goes straight to the main window.
# Installed (cmake --install into a prefix of its own), it does the same
# from the menu's velmora-quindle, and later starts bring the copy up to
# date and start it.
#
#   first_start_e2e.sh PROGRAM TEST_SERVER PUBLISHER BUILD_DIR APP_ID
set -euo pipefail
program=$1 server=$2 publisher=$3 build=$4 app_id=$5
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    pkill -f "$work/" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# shellcheck source=scripts/virtual_display.sh
source "$(dirname "$0")/../../scripts/virtual_display.sh"
start_virtual_display "$work"
pids+=("$VIRTUAL_DISPLAY_PID")

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME/Downloads" "$HOME/Desktop" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM

head -c 200000 /dev/urandom >"$work/velmora.exe"
"$publisher" --version 7.8 --part-size 65536 "$work/velmora.exe" "$work/www" >/dev/null
"$server" "$work/www" >"$work/address" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/address" ] && break; sleep 0.1; done
http_proxy="http://$(head -n1 "$work/address")"
export http_proxy no_proxy=""

press() { xdotool windowfocus --sync "$1" 2>/dev/null || true; sleep 0.2; xdotool key "$2"; }
# Waits until no process runs the program at $1 (with or without options).
ended() { for _ in $(seq 100); do pgrep -f "^$1" >/dev/null || return 0; sleep 0.05; done; return 1; }

cp "$program" "$HOME/Downloads/velmora-setup"
"$HOME/Downloads/velmora-setup" -site elsewhere.example &
first=$!
folder=$(window "Package Download Folder") || fail "the folder dialog did not open"
press "$folder" Return
notice=$(window "Velmora Quindle") || fail "the desktop entry was not announced"
press "$notice" Return
wait "$first" || fail "the first process did not end cleanly"

copy="$HOME/VelmoraDownload/VELMORA_QUINDLE_7"
[ -x "$copy" ] || fail "no executable copy at $copy"
cmp -s "$program" "$copy" || fail "the copy differs from the program"
entry="$HOME/Desktop/Velmora Quindle 7.desktop"
[ -x "$entry" ] || fail "no executable desktop entry"
grep -qx "Exec=\"$copy\"" "$entry" || fail "the desktop entry does not start the copy: $(cat "$entry")"
menu_entry="$HOME/.local/share/applications/velmora-quindle-7.desktop"
cmp -s "$entry" "$menu_entry" || fail "the applications menu has not the same entry"
main=$(window "Velmora Software Quindle") || fail "the copy did not open its main window"
pgrep -f "^$copy\$" >/dev/null || fail "the copy was started with options"
press "$main" Escape
ended "$copy" || fail "the copy did not end when its window closed"

# Later: through the desktop entry, straight to the main window.
exec_line=$(sed -n 's/^Exec=//p' "$entry")
eval "set -- $exec_line"
"$@" &
second=$!
main=$(window "Velmora Software Quindle") || fail "the desktop entry did not open the main window"
xdotool search --onlyvisible --name "^Package Download Folder\$" >/dev/null 2>&1 && fail "asked for a folder again"
[ -f "$HOME/VelmoraDownload/sites.txt" ] || fail "the copy did not prepare in its package folder"
press "$main" Escape
wait "$second" || fail "the second start did not end cleanly"

# "-dir" names the server folder for every preparation and every part, and
# Qt takes nothing of the command line away (here "-style"). The package
# under beta/x is its own version; the default folder keeps only an index.
mkdir -p "$work/www/beta/x"
mv "$work/www/download/quindle7"/velmora.* "$work/www/beta/x/"
sed '2s/.*/7.8-beta/' "$work/www/download/quindle7/pkgindex.txt" >"$work/www/beta/x/pkgindex.txt"
rm -rf "$HOME/VelmoraDownload/7.8"
"$copy" -dir -style beta/x &
third=$!
main=$(window "Velmora Software Quindle") || fail "the -dir start did not open the main window"
xdotool search --onlyvisible --name "^Velmora Quindle\$" >/dev/null 2>&1 && fail "the -dir start showed a message"
[ -f "$HOME/VelmoraDownload/7.8-beta/pkgindex.txt" ] || fail "-dir was not used for the preparation"
[ -e "$HOME/VelmoraDownload/7.8" ] && fail "the start-up's own package selection forgot -dir"
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 104 * WIDTH / 291)) $((Y + 132 * HEIGHT / 277)) click 1   # Download
for _ in $(seq 200); do [ -f "$HOME/VelmoraDownload/7.8-beta/velmora.exe" ] && break; sleep 0.1; done
cmp -s "$work/velmora.exe" "$HOME/VelmoraDownload/7.8-beta/velmora.exe" || fail "the parts did not come from -dir"
press "$main" Escape
wait "$third" || fail "the -dir start did not end cleanly"

# Installed: the menu entry runs velmora-quindle, and the installed program
# plays the part of the download, in a home of its own.
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
installed="$prefix/lib/velmora-quindle/VELMORA_QUINDLE_7"
[ -x "$installed" ] || fail "nothing installed at $installed"
[ -f "$prefix/share/icons/hicolor/scalable/apps/$app_id.svg" ] || fail "no icon $app_id installed"
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$prefix/bin/velmora-quindle" --help |
    grep -q '^Usage: ' || fail "the installed velmora-quindle --help"
export HOME="$work/installed-home" XDG_CONFIG_HOME="$work/installed-home/.config"
mkdir -p "$HOME/Downloads" "$HOME/Desktop"
copy="$HOME/VelmoraDownload/VELMORA_QUINDLE_7"
entry="$HOME/Desktop/Velmora Quindle 7.desktop"
menu_entry="$HOME/.local/share/applications/velmora-quindle-7.desktop"
nothing_downloaded() {
    [ -z "$(ls -A "$HOME/Downloads")" ] || fail "$1 put $(ls -A "$HOME/Downloads") into Downloads"
}

"$prefix/bin/velmora-quindle" &
first=$!
folder=$(window "Package Download Folder") || fail "the installed program did not ask for a folder"
press "$folder" Return
notice=$(window "Velmora Quindle") || fail "the installed program's desktop entry was not announced"
press "$notice" Return
wait "$first" || fail "the installed program did not end cleanly"
cmp -s "$installed" "$copy" || fail "the installed program was not copied to $copy"
nothing_downloaded "the first start"
for launcher in "$entry" "$menu_entry"; do
    grep -qx "Exec=\"$copy\"" "$launcher" || fail "$launcher does not start the copy"
    grep -qx "Icon=$app_id" "$launcher" || fail "$launcher shows no icon $app_id"
    grep -qx "Categories=Network;FileTransfer;" "$launcher" || fail "$launcher has no categories"
done
main=$(window "Velmora Software Quindle") || fail "the installed program's copy opened no window"
pgrep -f "^$copy\$" >/dev/null || fail "the window is not the copy's"
press "$main" Escape
ended "$copy" || fail "the copy did not end when its window closed"

# Later, from the menu again: the copy starts at once, as it is.
inode=$(stat -c %i "$copy")
"$prefix/bin/velmora-quindle" &
second=$!
main=$(window "Velmora Software Quindle") || fail "the second installed start opened no window"
xdotool search --onlyvisible --name "^Package Download Folder\$" >/dev/null 2>&1 && fail "asked for a folder again"
wait "$second" || fail "the second installed start did not end cleanly"
pgrep -f "^$copy\$" >/dev/null || fail "the second installed start did not start the copy"
[ "$(stat -c %i "$copy")" = "$inode" ] || fail "an unchanged copy was written again"
nothing_downloaded "the second start"
press "$main" Escape
ended "$copy" || fail "the copy did not end when its window closed"

# An update of the installed program reaches the copy at the next start.
printf 'a later release' >>"$installed"
"$prefix/bin/velmora-quindle" &
third=$!
main=$(window "Velmora Software Quindle") || fail "the updated installed program opened no window"
wait "$third" || fail "the updated installed program did not end cleanly"
cmp -s "$installed" "$copy" || fail "the updated installed program did not replace the copy"
nothing_downloaded "the updated start"
press "$main" Escape
ended "$copy" || fail "the copy did not end when its window closed"
echo "first start, desktop entry, -dir and the installed program: ok"
