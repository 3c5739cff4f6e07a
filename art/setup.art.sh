#!/usr/bin/env bash
# The installer's pictures:
#   OUTDIR/{en,tw,cn}/setup.bmp         banner, 560 x 80, with the maker's logo
#   OUTDIR/nologo/{en,tw,cn}/setup.bmp  the same without the logo (lang.lg NOLOGO=YES)
#   OUTDIR/res/setup.ico                icon 128 of setup.exe, 32 x 32 and 16 x 16
# A deep-blue band fading to light, a stylised frame with a fingertip on the left, the
# product's name in the language of the folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
out=${1:?usage: setup.art.sh OUTDIR}
mkdir -p "$out/res"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The touch frame: a rounded screen with a red infrared rim and a touch point.
frame_mark() {
  convert -size 64x64 xc:none -fill '#F4F7FF' -stroke '#C0392B' -strokewidth 4 \
    -draw 'roundrectangle 6,6 58,58 6,6' -fill '#1F3F9F' -stroke none -draw 'circle 32,32 32,22' \
    -fill none -stroke '#1F3F9F' -strokewidth 2 -draw 'circle 32,32 32,15' "$1"
}
frame_mark "$tmp/mark.png"

# banner LANGDIR FONT TITLE SUBTITLE LOGO(yes|no)
banner() {
  local dir=$1 font=$2 title=$3 sub=$4 logo=$5
  mkdir -p "$dir"
  convert -size 80x560 gradient:'#0B2A6F-#5B8FD9' -rotate 90 "$tmp/band.png"
  convert "$tmp/band.png" "$tmp/mark.png" -geometry +12+8 -composite \
    -font "$font" -fill white -pointsize 26 -annotate +92+38 "$title" \
    -fill '#DDE8FF' -pointsize 15 -annotate +94+64 "$sub" "$tmp/b.png"
  if [ "$logo" = yes ]; then
    convert "$tmp/b.png" -font "$ART_FONT_BOLD" -fill white -pointsize 22 -gravity NorthEast \
      -annotate +18+14 'VELTRAN' -fill '#F0C419' -draw 'rectangle 450,44 542,47' "$tmp/b.png"
  fi
  art_bmp24 "$tmp/b.png" "$dir/setup.bmp"
}

for logo in yes no; do
  base=$out
  [ "$logo" = no ] && base=$out/nologo
  banner "$base/en" "$ART_FONT" 'Infrared Touch Screen' 'Setup: licence, install folder, drivers' "$logo"
  banner "$base/tw" "$ART_FONT_CJK" '紅外線觸控螢幕' '安裝程式：授權、安裝資料夾、驅動程式' "$logo"
  banner "$base/cn" "$ART_FONT_CJK" '红外触摸屏' '安装程序：许可、安装文件夹、驱动程序' "$logo"
done

convert "$tmp/mark.png" -background '#0B2A6F' -flatten \( +clone -resize 32x32 \) \( -clone 0 -resize 16x16 \) \
  -delete 0 "$out/res/setup.ico"
