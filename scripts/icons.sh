#!/usr/bin/env bash
# Renders the program's icon, packaging/icons/actualiz.svg, at the usual sizes of an icon theme
# into packaging/icons/hicolor/NxN/apps/actualiz.png. The PNGs are kept in the repository, so the
# build does not need this; run it after changing the drawing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
icons="$here/packaging/icons"
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "$icons/hicolor/${size}x${size}/apps"
    rsvg-convert -w "$size" -h "$size" "$icons/actualiz.svg" \
        -o "$icons/hicolor/${size}x${size}/apps/actualiz.png"
done
echo "wrote $icons/hicolor"
