#!/usr/bin/env bash
# uiprobe, the tool the programs' Wine scripts drive dialogs with, against uitarget (a
# window that writes down every message that reaches it), and the shared GUI setup of
# wine-env.sh (Xvfb, fonts, screenshots, the Chinese locale). The i686 build in a win32
# prefix first, then the x86_64 build in a win64 prefix, with the same checks.
#
#   winebench/test-uiprobe.sh [BUILD_DIR]
#
# Without BUILD_DIR: the i686 build (build/win32) in a win32 prefix, then the x86_64
# build (build/win64) in a win64 prefix; with it, that build only.
#
# Exits non-zero on any failed check; the log is kept on failure and its path printed.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)

# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
BENCH_BUDGET=${TEST_UIPROBE_BUDGET:-${BENCH_BUDGET:-150}}
# shellcheck source=bench-lib.sh
source "$here/bench-lib.sh"
bench_builds "$0" "${1:-}"
build=$(cd "$1" 2>/dev/null && pwd) || build=$1
bench_open uiprobe
trap bench_finish EXIT

title='uiprobe target é'
pattern='uiprobe target*'

probe() { run 20 "$probe_exe" "$@"; }
# The exit code of a probe run (its output goes to the log only).
probe_rc() {
  local rc=0
  wine_run 20 "$probe_exe" "$@" >>"$log" 2>&1 </dev/null || rc=$?
  echo "$rc"
}
# Waits (up to 5 s) until uitarget has written LINE N times (default once); prints LINE,
# or what it wrote last.
said() {
  local k n=${2:-1}
  for ((k = 0; k < 50; k++)); do
    if [ "$(tr -d '\r' <"$target_out" | grep -Fxc -- "$1")" -ge "$n" ]; then
      echo "$1"
      return
    fi
    sleep 0.1
  done
  echo "not said; last: $(tr -d '\r' <"$target_out" | tail -n1)"
}
field() { echo "$1" | grep -o "$2=[^ ]*" | head -n1 | cut -d= -f2; }

probe_exe=$build/winebench/uiprobe/uiprobe.exe
target_exe=$build/winebench/uiprobe/uitarget.exe
bench_require "$probe_exe" "$target_exe"
if ! wine_setup uiprobe "$BENCH_ARCH" >>"$log" 2>&1; then
  trap bench_finish EXIT
  check prefix.create "ok" "failed"
  exit 1
fi
trap bench_finish EXIT
wine_gui >>"$log" 2>&1 || { check gui "ok" "wine_gui failed"; exit 1; }

target_out=$WINE_TMP/target.out
: >"$target_out"
wine_run 120 "$target_exe" "$title" >"$target_out" 2>>"$log" </dev/null &

# --- finding windows: a prefix pattern, the exact title through \x escapes
check wait.pattern "found $pattern" "$(probe wait "$pattern" 15)"
check wait.escaped "found $title" "$(probe wait 'uiprobe target \xc3\xa9' 2)"
out=$(probe windows)
check windows.list "window visible=1 class=UiTarget title=$title" \
  "$(echo "$out" | grep 'class=UiTarget' | sed 's/ rect=[^ ]*//')"
check missing.window "1 missing window nosuch" "$(probe_rc text nosuch 1) $(probe text nosuch 1)"
check missing.control "1 missing control 999 in $pattern" \
  "$(probe_rc text "$pattern" 999) $(probe text "$pattern" 999)"
check wait.timeout "1" "$(probe_rc wait nosuch 0.3)"

# --- geometry: the window is made at 50,50, 400 x 240; the controls sit in its client
# area at their creation offsets, reported in screen coordinates.
out=$(probe rect "$pattern")
rect=$(echo "$out" | awk '$1 == "rect" { print $2, $3, $4, $5 }')
client=$(echo "$out" | awk '$1 == "client" { print $2, $3 }')
check rect.window "50 50 450 290" "$rect"
read -r cl ct <<<"$client"
out=$(probe controls "$pattern")
check controls.push "id=101 class=Button visible=1 enabled=1 checked=0 rect=$((cl + 10)),$((ct + 10)),$((cl + 90)),$((ct + 34)) text=Push" \
  "$(echo "$out" | grep '^control id=101 ' | sed 's/^control //')"
check controls.kinds "Button:0 Edit:- msctls_trackbar32:- ComboBox:-" \
  "$(echo "$out" | grep -E 'id=10[2345] ' | while read -r l; do echo "$(field "$l" class):$(field "$l" checked)"; done | paste -sd' ')"
check controls.twins "0:hidden twin 1:shown twin" \
  "$(echo "$out" | grep '^control id=107 ' | sed -E 's/.* visible=([01]) .* text=(.*)/\1:\2/' | paste -sd' ')"
check text.visible-twin "text 107 shown twin" "$(probe text "$pattern" 107)"

# --- buttons: by id and by text; the owner hears BN_CLICKED
check click.by-id "click 101 done|clicked 101" "$(probe click "$pattern" 101)|$(said 'clicked 101')"
check click.by-text "click 102 done|check 102 1|check 102 1" \
  "$(probe click "$pattern" Check)|$(probe check "$pattern" 102)|$(said 'check 102 1')"
check send.command "result 0|clicked 101" "$(probe send "$pattern" WM_COMMAND 101 0)|$(said 'clicked 101' 2)"
check post.user "post 1024" "$(probe post "$pattern" WM_USER 0 0)"

# --- edit, trackbar, combo box: the owner hears what a user's change would send
check settext "text 103 hello w|changed 103 hello w" \
  "$(probe settext "$pattern" 103 'hello w')|$(said 'changed 103 hello w')"
check trackbar.read "trackbar 104 pos=10 min=0 max=50" "$(probe trackbar "$pattern" 104)"
check trackbar.move "trackbar 104 pos=33 min=0 max=50|scroll 104 4 33|scroll 104 8 33" \
  "$(probe trackbar "$pattern" 104 33)|$(said 'scroll 104 4 33')|$(said 'scroll 104 8 33')"
check trackbar.clamped "trackbar 104 pos=50 min=0 max=50" "$(probe trackbar "$pattern" 104 99)"
check trackbar.wrong-class "3" "$(probe_rc trackbar "$pattern" 103 5)"
check combo.select "combo 105 sel=2 count=3;item 0 one;item 1 two;item 2 three|selchange 105 2" \
  "$(probe combo "$pattern" 105 2 | paste -sd';')|$(said 'selchange 105 2')"
check combo.no-item "3 error combo 105 has no item 7" \
  "$(probe_rc combo "$pattern" 105 7) $(probe combo "$pattern" 105 7)"

# --- keys go to the focused control; the mouse lands where it is sent
check key.return "key 13|keydown 13" "$(probe key "$pattern" RETURN)|$(said 'keydown 13')"
check mouse.click "mouse $((cl + 300)) $((ct + 150)) click cursor=$((cl + 300)),$((ct + 150))|lbuttondown 300 150" \
  "$(probe mouse $((cl + 300)) $((ct + 150)) click)|$(said 'lbuttondown 300 150')"
check mouse.off-screen "3" "$(probe_rc mouse 5000 10 click)"
check metrics "screen 1024 768;swapbutton 0;langid 0x0409;acp 1252" \
  "$(probe metrics | grep -Ev '^userlangid' | paste -sd';')"

# --- the screenshot shows the window (more than the black of an empty screen)
wine_shot "$WINE_TMP/shot.png" >>"$log" 2>&1
colours=$(identify -format '%k' "$WINE_TMP/shot.png" 2>/dev/null)
check shot "1024x768 drawn" "$(identify -format '%wx%h' "$WINE_TMP/shot.png" 2>&1) $(
  [ "${colours:-0}" -gt 2 ] && echo drawn || echo "colours=$colours")"

# --- a button whose handler opens a message box: the click returns at once
check click.modal "click 106 pending" "$(probe click "$pattern" 106)"
check modal.found "found uiprobe question" "$(probe wait 'uiprobe question' 10)"
check modal.yes "click 6 done|gone uiprobe question|answer 6" \
  "$(probe click 'uiprobe question' 6)|$(probe gone 'uiprobe question' 5)|$(said 'answer 6')"

# --- the registry: each type as documented
key='HKCU\Software\UiProbeTest'
run 20 reg add "$key" /v Sz /t REG_SZ /d 'a b\c' /f >/dev/null
run 20 reg add "$key" /v Dw /t REG_DWORD /d 305419896 /f >/dev/null
run 20 reg add "$key" /v Bin /t REG_BINARY /d 01ff7f /f >/dev/null
run 20 reg add "$key" /v Multi /t REG_MULTI_SZ /d 'x\0y z' /f >/dev/null
check regget.sz 'type REG_SZ;data a b\\c' "$(probe regget "$key" Sz | paste -sd';')"
check regget.dword "type REG_DWORD;data 305419896" "$(probe regget "$key" Dw | paste -sd';')"
check regget.binary "type REG_BINARY;data 01 ff 7f" "$(probe regget "$key" Bin | paste -sd';')"
check regget.multi "type REG_MULTI_SZ;data x;data y z" "$(probe regget "$key" Multi | paste -sd';')"
check regget.missing "1 1" "$(probe_rc regget "$key" Nope) $(probe_rc regget 'HKCU\Software\NoSuchKey' Sz)"
check regget.gui-setting "type REG_SZ;data N" "$(probe regget 'HKCU\Software\Wine\X11 Driver' Managed | paste -sd';')"

check close "close $pattern|close|gone $pattern" \
  "$(probe close "$pattern")|$(said close)|$(probe gone "$pattern" 5)"

# --- Chinese: the locale and the code page the program sees, a Big5 title found
# through the UTF-8 escapes of 觸控 (U+89F8 U+63A7)
if ! wine_gui_lang zh_TW >>"$log" 2>&1; then
  check lang.zh_TW "ok" "wine_gui_lang failed"
else
  wine_run 60 "$target_exe" "$(printf '\xe8\xa7\xb8\xe6\x8e\xa7' | iconv -f UTF-8 -t BIG5)" \
    >"$target_out" 2>>"$log" </dev/null &
  check lang.title "found 觸控" "$(probe wait '\xe8\xa7\xb8\xe6\x8e\xa7' 15)"
  check lang.metrics "langid 0x0404;acp 950" "$(probe metrics | grep -E '^(langid|acp)' | paste -sd';')"
  check lang.fonts "no MS Sans Serif files" \
    "$(ls "$WINEPREFIX/drive_c/windows/Fonts" | grep -Ei '^(sse.*\.fon|ms_sans_serif\.ttf)$' | paste -sd' ' | sed 's/^$/no MS Sans Serif files/')"
  probe close '\xe8\xa7\xb8\xe6\x8e\xa7' >/dev/null
fi
