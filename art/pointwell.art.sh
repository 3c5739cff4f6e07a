#!/usr/bin/env bash
# Pointwell's skin and page texts, and its icon and tab cursor.
#   OUTDIR/{en,tw,cn}/main.bmp          the dialog's picture, 561 x 400, 24-bit
#   OUTDIR/{en,tw,cn}/mainbk.bmp        the same with every tab in its highlighted look
#   OUTDIR/nologo/{en,tw,cn}/...        both without the maker's mark
#   OUTDIR/{en,tw,cn}/{Mode,Data,Verify}Msg.txt   page texts (ASCII, Big5, GBK; CRLF)
#   OUTDIR/res/pointwell134.ico         the program's icon, 32 x 32 and 16 x 16
#   OUTDIR/res/tab157.cur               the cursor over a tab, 32 x 32, hot spot (12, 1)
#
# The picture's design units are its pixels. The tool takes the tabs from these
# bands (y): Mode 146-184, Data 202-239, Verify 253-297, Exit 313-358, inside the tab
# column 15 < x < 81, and copies a tab's look from the image rows 139-185, 194-240,
# 249-295 and 310-356 (x 0-84); the window is dragged by the title area
# 5 < x < 604, 4 < y < 77. The controls sit on the panel at the right.
#   art/pointwell.art.sh OUTDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: pointwell.art.sh OUTDIR}
# shellcheck source=lib.sh
source "$here/lib.sh"
texts=$here/../tools/pointwell/text
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Tabs: top and bottom of each tab's shape, inside both its band and its image rows.
tab_top=(147 203 254 314)
tab_bottom=(183 238 294 354)

# skin LANG FONT TITLE SUBTITLE TAB0 TAB1 TAB2 TAB3
skin() {
  local lang=$1 font=$2 title=$3 subtitle=$4
  shift 4
  local labels=("$@")
  for logo in yes no; do
    for look in normal highlight; do
      local draw=(
        -size 561x400 gradient:'rgb(236,241,247)-rgb(214,224,236)'
        # Title area.
        -fill 'rgb(31,78,140)' -stroke none -draw 'rectangle 0,0 560,80'
        -fill 'rgb(47,109,181)' -draw 'rectangle 0,76 560,80'
        -fill 'rgb(255,176,59)' -draw 'rectangle 0,80 560,82'
        # Tab column.
        -fill 'rgb(225,232,241)' -draw 'rectangle 0,83 92,399'
        -fill 'rgb(190,204,222)' -draw 'rectangle 92,83 93,399'
        # The panel under the controls.
        -fill 'rgb(250,251,253)' -stroke 'rgb(190,204,222)' -strokewidth 1
        -draw 'roundrectangle 150,92 542,374 8,8'
        -stroke none
      )
      if [ "$logo" = yes ]; then
        # The maker's mark: a ring with a touch point, and the name.
        draw+=(-fill none -stroke white -strokewidth 3 -draw 'circle 40,40 40,22'
               -fill 'rgb(255,176,59)' -stroke none -draw 'circle 40,40 40,32'
               -fill 'rgb(200,215,235)' -font "$ART_FONT" -pointsize 11 -draw "text 480,70 'Veltran'")
        local tx=74
      else
        local tx=22
      fi
      draw+=(-fill white -font "$font" -pointsize 26 -draw "text $tx,40 '$title'"
             -fill 'rgb(200,215,235)' -pointsize 14 -draw "text $tx,64 '$subtitle'")
      for k in 0 1 2 3; do
        local t=${tab_top[$k]} b=${tab_bottom[$k]} fill stroke text
        if [ "$look" = highlight ]; then
          fill='rgb(47,109,181)' stroke='rgb(31,78,140)' text=white
        else
          fill='rgb(250,251,253)' stroke='rgb(160,178,202)' text='rgb(31,59,92)'
        fi
        draw+=(-fill "$fill" -stroke "$stroke" -strokewidth 1 -draw "roundrectangle 8,$t 82,$b 6,6" -stroke none)
        if [ "$look" = highlight ]; then
          draw+=(-fill 'rgb(255,176,59)' -draw "rectangle 8,$((t + 6)) 11,$((b - 6))")
        fi
        draw+=(-fill "$text" -font "$font" -pointsize 15 -gravity northwest
               -gravity center
               -annotate "+$((45 - 280))+$(((t + b) / 2 - 200))" "${labels[$k]}" -gravity northwest)
      done
      convert "${draw[@]}" "$tmp/skin.png"
      local dir=$out/$lang
      [ "$logo" = no ] && dir=$out/nologo/$lang
      mkdir -p "$dir"
      if [ "$look" = normal ]; then
        art_bmp24 "$tmp/skin.png" "$dir/main.bmp"
      else
        art_bmp24 "$tmp/skin.png" "$dir/mainbk.bmp"
      fi
    done
  done
}

skin en "$ART_FONT" "Pointwell" "Touch screen settings" Mode Data Verify Exit
skin tw "$ART_FONT_CJK" "Pointwell" "觸控螢幕設定" 模式 設定 校正 離開
skin cn "$ART_FONT_CJK" "Pointwell" "触摸屏设置" 模式 设置 校准 退出

# Page texts: UTF-8 sources, shipped in the language's code page with CRLF.
for pair in en:ASCII tw:CP950 cn:CP936; do
  lang=${pair%%:*} cp=${pair#*:}
  mkdir -p "$out/$lang"
  for f in ModeMsg DataMsg VerifyMsg; do
    iconv -f UTF-8 -t "$cp" "$texts/$lang/$f.txt" | sed 's/$/\r/' >"$out/$lang/$f.txt"
  done
done

# The icon: the mark on the title area's blue, 32 x 32 and 16 x 16.
mkdir -p "$out/res"
for s in 32 16; do
  r=$((s / 2 - 2)) c=$((s / 2)) dot=$((s / 2 - s / 5))
  convert -size ${s}x${s} xc:'rgb(31,78,140)' -fill none -stroke white -strokewidth $((s / 12 + 1)) \
    -draw "circle $c,$c $c,$((c - r))" -fill 'rgb(255,176,59)' -stroke none -draw "circle $c,$c $c,$dot" \
    -alpha off -colors 16 -type Palette "BMP3:$tmp/icon$s.bmp"
done
convert "$tmp/icon32.bmp" "$tmp/icon16.bmp" "$out/res/pointwell134.ico"

# The tab cursor: a pointing hand whose fingertip is the hot spot (12, 1). An .ico
# becomes a .cur by its type (2) and the hot spot in each entry's planes and
# bit-count fields.
convert -size 32x32 xc:none -fill white -stroke black -strokewidth 1 \
  -draw 'roundrectangle 10,0 14,16 2,2' \
  -draw 'roundrectangle 14,8 18,17 2,2' -draw 'roundrectangle 18,9 22,18 2,2' -draw 'roundrectangle 22,10 26,19 2,2' \
  -draw 'path "M 6,14 L 10,12 L 10,18 L 26,18 L 26,24 Q 24,30 18,30 L 14,30 Q 10,30 6,20 Z"' \
  -stroke none -draw 'rectangle 11,15 25,20' \
  "$tmp/hand.png"
convert "$tmp/hand.png" "$tmp/hand.ico"
cp "$tmp/hand.ico" "$out/res/tab157.cur"
printf '\x02\x00' | dd of="$out/res/tab157.cur" bs=1 seek=2 conv=notrunc status=none
printf '\x0c\x00\x01\x00' | dd of="$out/res/tab157.cur" bs=1 seek=10 conv=notrunc status=none
