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

# The window shows only the middle of its push button: with the button's 35 x 35
# dialog units at about 53 x 57 pixels and the picture centred on it, columns 7 to 40
# and rows 3 to 40 (46 high) or 4 to 41 (48 high) stay visible; each arrow keeps
# inside them.
# Left: tip at the left middle, head back to x 24, shaft to x 38.
arrow 48 46 "9,22 24,8 24,16 38,16 38,28 24,28 24,36" "$out/flipkey-left.bmp"
# Right: the mirror image on the square picture.
arrow 48 48 "38,23 23,9 23,17 9,17 9,29 23,29 23,37" "$out/flipkey-right.bmp"
