#!/usr/bin/env bash
# Uninst.exe's icon (resource only): a frame with a red cross, 32x32 and 16x16.
#   art/uninst.art.sh OUTDIR   ->  OUTDIR/res/uninst.ico
set -euo pipefail
out=${1:?usage: uninst.art.sh OUTDIR}
mkdir -p "$out/res"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 32x32 xc:none \
  -fill '#d8dde6' -stroke '#3a4a66' -strokewidth 2 -draw 'roundrectangle 2,4 29,27 3,3' \
  -fill '#7fa8d8' -stroke none -draw 'rectangle 6,8 25,23' \
  -stroke '#c81e1e' -strokewidth 4 -draw 'line 10,11 22,21' -draw 'line 22,11 10,21' \
  "$tmp/32.png"
convert "$tmp/32.png" -resize 16x16 "$tmp/16.png"
convert "$tmp/32.png" "$tmp/16.png" "$out/res/uninst.ico"
