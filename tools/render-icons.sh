#!/usr/bin/env bash
# Renders the icon's PNG sizes from packaging/icons/quorrel.svg (needs
# rsvg-convert, Debian package librsvg2-bin).  The PNGs are kept in the
# repository, so a build needs no SVG renderer; run this after changing the SVG.
set -euo pipefail
icons=$(cd "$(dirname "$0")/../packaging/icons" && pwd)
for size in 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$icons/quorrel.svg" -o "$icons/quorrel-$size.png"
done
