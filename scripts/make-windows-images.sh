#!/usr/bin/env bash
# Makes the Windows program's icon and banner bitmap (src/app/win32/) from
# the icons and artwork the Linux program uses, with ImageMagick. They are
# committed, so the build needs no ImageMagick; run this after the artwork
# changes.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure_packages.sh
ensure_packages imagemagick
icons=packaging/icons/velmora-quindle
convert "$icons-16.png" "$icons-24.png" "$icons-32.png" "$icons-48.png" "$icons-64.png" \
    "$icons-128.png" "$icons-256.png" src/app/win32/quindle.ico
# A bitmap resource has no transparency: the banner on the dialog's white.
convert src/ui/images/banner.png -background white -flatten BMP3:src/app/win32/banner.bmp
