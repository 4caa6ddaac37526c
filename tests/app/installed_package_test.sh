#!/usr/bin/env bash
# The program as a distribution installs it: its menu entry, AppStream
# metadata and icon all go by the one reverse-DNS id, the entry passes
# desktop-file-validate and the metadata appstreamcli without a warning, and
# the icon stands in the hicolor theme in every size, each a PNG of that size.
#
#   installed_package_test.sh BUILD_DIR APP_ID VERSION
set -euo pipefail
build=$1 id=$2 version=$3
for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share
entry=$share/applications/$id.desktop
metainfo=$share/metainfo/$id.metainfo.xml
[ -f "$entry" ] || fail "no menu entry $entry"
[ -f "$metainfo" ] || fail "no AppStream metadata $metainfo"
{ [ -x "$prefix/bin/velmora-quindle" ] && [ -x "$prefix/lib/velmora-quindle/VELMORA_QUINDLE_7" ]; } ||
    fail "the launcher or the program is missing"

# desktop-file-validate exits 0 on mere warnings; they count here too.
report=$(desktop-file-validate "$entry" 2>&1) || fail "the menu entry: $report"
[ -z "$report" ] || fail "the menu entry: $report"
appstreamcli validate --no-net --explain "$metainfo" || fail "the AppStream metadata"

grep -qx "Icon=$id" "$entry" || fail "the menu entry names another icon"
grep -qx 'Exec=velmora-quindle' "$entry" || fail "the menu entry runs something else"
grep -q "<id>$id</id>" "$metainfo" || fail "the metadata has another id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metadata names another menu entry"
grep -q "<release version=\"$version\" date=\"[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]\"" "$metainfo" ||
    fail "the metadata's release is not version $version"
grep -q '@[A-Z_]*@' "$entry" "$metainfo" && fail "a build setting was left unfilled"

for size in 16 22 24 32 48 64 128 256; do
    icon="$share/icons/hicolor/${size}x${size}/apps/$id.png"
    [ -f "$icon" ] || fail "no $size x $size icon"
    # A PNG's width and height stand big-endian at bytes 16 to 23.
    read -r width height < <(od -An -tu1 -j16 -N8 "$icon" |
        awk '{ printf "%d %d\n", $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }')
    { [ "$width" = "$size" ] && [ "$height" = "$size" ]; } || fail "$icon is ${width}x$height"
done
[ -f "$share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no scalable icon"
echo "installed package: ok"
