#!/usr/bin/env bash
# Pictures of the calibration: the target drawn under the target button
# (calibratebtn.bmp, 64 x 64, stretched to 64 x 64 around the target point), the
# prompt in the middle of the screen (prompt.bmp, 300 x 200), one of each per
# language folder; and for the resources the Examination dialog's picture
# (res/verify163.bmp, 64 x 64, 24-bit) and the target button's icon
# (res/target159.ico, 32 x 32, 16 colours).
#   art/calibration.art.sh OUTDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: calibration.art.sh OUTDIR}
# shellcheck source=lib.sh
source "$here/lib.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

bg='rgb(0,0,55)'   # the calibration screen's background

# The target: rings and a cross on the screen's own background, so that the
# picture sits on the screen without a visible edge; the centre is the point.
target() {
  convert -size 64x64 "xc:$bg" -fill none -strokewidth 3 \
    -stroke 'rgb(255,210,0)' -draw 'circle 32,32 32,4' \
    -stroke 'rgb(255,255,255)' -strokewidth 2 -draw 'circle 32,32 32,16' \
    -stroke 'rgb(255,60,60)' -strokewidth 2 -draw 'line 32,0 32,63' -draw 'line 0,32 63,32' \
    -fill 'rgb(255,60,60)' -stroke none -draw 'circle 32,32 32,29' "$1"
}

# prompt LANG FONT TITLE LINE1 LINE2 LINE3
prompt() {
  local dir=$out/$1 font=$2
  mkdir -p "$dir"
  convert -size 300x200 "xc:$bg" -fill none -stroke 'rgb(120,140,220)' -strokewidth 2 \
    -draw 'roundrectangle 4,4 295,195 14,14' \
    -stroke none -fill 'rgb(255,210,0)' -font "$font" -pointsize 22 -gravity north \
    -annotate +0+22 "$3" \
    -fill white -pointsize 15 \
    -annotate +0+78 "$4" -annotate +0+104 "$5" -annotate +0+130 "$6" \
    "$tmp/prompt-$1.png"
  art_bmp24 "$tmp/prompt-$1.png" "$dir/prompt.bmp"
  target "$tmp/target.png"
  art_bmp24 "$tmp/target.png" "$dir/calibratebtn.bmp"
}

prompt en "$ART_FONT" "Calibration" \
  "Touch the centre of the target" "with your finger, then lift it." \
  "Four targets, one after another."
prompt tw "$ART_FONT_CJK" "螢幕校正" \
  "請用手指觸碰目標的中心，" "然後將手指移開。" "共四個目標，依序出現。"
prompt cn "$ART_FONT_CJK" "屏幕校准" \
  "请用手指触摸目标的中心，" "然后将手指移开。" "共四个目标，依次出现。"

# The Examination dialog's picture: a finger's tap on a check mark.
mkdir -p "$out/res"
convert -size 64x64 xc:'rgb(236,233,216)' \
  -fill 'rgb(40,120,200)' -stroke 'rgb(20,60,120)' -strokewidth 2 -draw 'roundrectangle 4,4 59,59 10,10' \
  -fill none -stroke white -strokewidth 7 -draw 'polyline 16,33 28,45 48,19' \
  "$tmp/verify.png"
art_bmp24 "$tmp/verify.png" "$out/res/verify163.bmp"

# The target button's icon: a small target, 16 colours.
convert -size 32x32 xc:'rgb(0,0,128)' -fill none \
  -stroke yellow -strokewidth 2 -draw 'circle 16,16 16,3' \
  -stroke white -strokewidth 2 -draw 'circle 16,16 16,9' \
  -stroke red -strokewidth 1 -draw 'line 16,0 16,31' -draw 'line 0,16 31,16' \
  -alpha off -colors 16 -type Palette "$tmp/target32.bmp"
convert "$tmp/target32.bmp" -alpha off -colors 16 "$out/res/target159.ico"
