#!/usr/bin/env bash
# Flipkey's two pictures, resource-only (flipkey.rc takes them from OUTDIR/res):
#   flipkey-left.bmp   bitmap 154, 48 x 46: arrow pointing left, the buttons are normal
#   flipkey-right.bmp  bitmap 149, 48 x 48: arrow pointing right, the buttons are swapped
# A dark-blue arrow with a white rim on the classic button face, so that it reads on
# any desktop behind the small window.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
out=${1:?usage: flipkey.art.sh OUTDIR}/res
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

face='#D4D0C8'
ink='#1F3F9F'

# arrow W H POINTS OUT: the arrow polygon on the face colour.
arrow() {
  convert -size "$1x$2" "xc:$face" -fill "$ink" -stroke white -strokewidth 2 \
    -draw "polygon $3" "$tmp/a.png"
  art_bmp24 "$tmp/a.png" "$4"
}

# Left: tip at the left middle, head back to x 24, shaft to x 42.
arrow 48 46 "5,23 24,5 24,15 42,15 42,31 24,31 24,41" "$out/flipkey-left.bmp"
# Right: the mirror image on the square picture.
arrow 48 48 "42,24 23,5 23,16 5,16 5,32 23,32 23,43" "$out/flipkey-right.bmp"
