#!/usr/bin/env bash
# The package as a distribution installs it: its menu entry passes
# desktop-file-validate, its AppStream metadata passes appstreamcli, and its
# icon stands in the hicolor theme in every size, each a PNG of that size.
#
#   installed_package_test.sh BUILD_DIR
set -euo pipefail
build=$1
for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share
desktop-file-validate "$share/applications/velmora-quindle.desktop" || fail "the menu entry"
appstreamcli validate --no-net --explain "$share/metainfo/velmora-quindle.metainfo.xml" ||
    fail "the AppStream metadata"
grep -q '<launchable type="desktop-id">velmora-quindle.desktop</launchable>' \
    "$share/metainfo/velmora-quindle.metainfo.xml" || fail "the metadata names another entry"
grep -qx 'Icon=velmora-quindle' "$share/applications/velmora-quindle.desktop" ||
    fail "the menu entry names another icon"
for size in 16 22 24 32 48 64 128 256; do
    icon="$share/icons/hicolor/${size}x${size}/apps/velmora-quindle.png"
    [ -f "$icon" ] || fail "no $size x $size icon"
    # A PNG's width and height stand big-endian at bytes 16 to 23.
    read -r width height < <(od -An -tu1 -j16 -N8 "$icon" |
        awk '{ printf "%d %d\n", $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }')
    [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "$icon is ${width}x$height"
done
[ -f "$share/icons/hicolor/scalable/apps/velmora-quindle.svg" ] || fail "no scalable icon"
echo "installed package: ok"
