#!/usr/bin/env bash
# Flipkey (flipkey.exe) and BEEP.exe under Wine: the i686 build in a win32 prefix
# first, then the x86_64 build in a win64 prefix, with the same checks.
#
#   winebench/test-flipkey.sh [BUILD_DIR]     (default: build/win32, then build/win64)
#
# Wine stores the button swap (GetSystemMetrics(SM_SWAPBUTTON) reads it back) but does
# not swap real input, so the swap is read through SM_SWAPBUTTON and the clicks go to
# the button as they are. uiprobe drives and reads the windows; flipprobe sets the swap
# as another program would, repaints a window and tells which way the arrow on the
# screen points. The screenshots of both states go to docs/img/ from the i686 build
# (from the x86_64 one where 32-bit Wine can't run). Prints PASS/FAIL/SKIP lines; exits non-zero on a failed check.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)

# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
# shellcheck source=bench-lib.sh
source "$here/bench-lib.sh"
bench_builds "$0" "${1:-}"
build=$(cd "$1" 2>/dev/null && pwd) || build=$1
BENCH_BUDGET=${BENCH_BUDGET:-200}
bench_open flipkey
trap bench_finish EXIT

shots=0
if [ "$BENCH_ARCH" = win32 ] || ! wine_arch_ok win32 >/dev/null; then shots=1; fi
tool_key='HKEY_LOCAL_MACHINE\SOFTWARE\Veltran\Pointwell'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'

# A Windows program in the background, its output kept in the log; echoes its pid.
start_bg() {
  say "start $(basename "$1") ${*:2}"
  wine_run 60 "$@" >>"$log" 2>&1 </dev/null &
  echo $!
}
# Waits up to SECS for the background pid to end: "ended" or "running".
ended_within() {
  local pid=$1 secs=$2 k
  for ((k = 0; k < secs * 10; k++)); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; echo ended; return; }
    sleep 0.1
  done
  echo running
}
ui() { run 20 "$uiprobe" "$@"; }
fp() { run 20 "$flipprobe" "$@"; }
swapped() { ui metrics | sed -n 's/^swapbutton //p'; }
arrow() { fp arrow Function | awk '/^arrow/ { print $2 }'; }
# A value of the machine's Run key as its text (uiprobe writes a backslash as \\), or "missing".
run_entry() {
  local out
  out=$(ui regget "$run_key" "$1")
  if echo "$out" | grep -q '^data '; then echo "$out" | sed -n 's/^data //p' | sed 's/\\\\/\\/g'; else echo missing; fi
}
count_windows() { ui windows | grep -c "title=$1\$"; }
# Screen point in the middle of what the region leaves of the push button.
button_point() {
  ui controls Function | awk '/id=1034 / { for (i = 1; i <= NF; i++) if ($i ~ /^rect=/) {
    split(substr($i, 6), r, ","); printf "%d %d\n", (r[1] + 9 + r[3] - 10) / 2, (r[2] + 8 + r[4] - 11) / 2 } }'
}
# Settles after input: the button's click and the swap's broadcast are asynchronous.
settle() { sleep 0.4; }
shot() {  # shot NAME: what shows of the button, with a margin, into docs/img/NAME.png
  local l t r b
  read -r l t r b <<<"$(ui controls Function | awk '/id=1034 / { for (i = 1; i <= NF; i++)
    if ($i ~ /^rect=/) { split(substr($i, 6), q, ","); print q[1] + 9, q[2] + 8, q[3] - 10, q[4] - 11 } }')"
  [ -n "${b:-}" ] || return 0
  wine_shot "$WINE_TMP/screen.png" >>"$log" 2>&1 || return 0
  convert "$WINE_TMP/screen.png" -crop "$((r - l + 16))x$((b - t + 16))+$((l - 8))+$((t - 8))" +repage \
    -strip -define png:exclude-chunk=date,time \
    "$top/docs/img/$1.png" >>"$log" 2>&1 && say "screenshot docs/img/$1.png"
}

bench_arch() {
  local arch=$1 pid pid2 t0 secs point x y
  local flipkey=$build/tools/flipkey/flipkey.exe beepexe=$build/tools/beep/BEEP.exe
  local pointwell=$build/tools/pointwell/Pointwell.exe k
  uiprobe=$build/winebench/uiprobe/uiprobe.exe
  flipprobe=$build/winebench/flipprobe/flipprobe.exe
  local f
  for f in "$flipkey" "$beepexe" "$uiprobe" "$flipprobe"; do
    if [ ! -f "$f" ]; then
      check "$arch.build" "present" "missing $f (build the $arch preset)"
      return
    fi
  done
  bench_prefix "$arch" || return
  if ! wine_gui >>"$log" 2>&1; then
    check gui ok failed
    bench_prefix_end
    return
  fi
  local app=$WINE_TMP/app app_win
  mkdir -p "$app"
  app_win=$(wine_winpath "$app")
  cp "$flipkey" "$beepexe" "$app/"

  # --- Flipkey: start, flips, the swap put back by a repaint, close while swapped
  pid=$(start_bg "$app/flipkey.exe")
  check "flipkey.window" "found Function" "$(ui wait Function 15)"
  settle
  check "flipkey.start-swap-off" 0 "$(swapped)"
  check "flipkey.start-left-arrow" left "$(arrow)"
  if [ "$shots" = 1 ]; then shot flipkey-left; fi
  point=$(button_point)
  read -r x y <<<"$point"
  if [ -z "${y:-}" ]; then
    check "flipkey.button" "push button 1034" "none"
  else
    ui mouse "$x" "$y" click >/dev/null
    settle
    check "flipkey.click-swaps" "1 right" "$(swapped) $(arrow)"
    if [ "$shots" = 1 ]; then shot flipkey-right; fi
    ui mouse "$x" "$y" click >/dev/null
    settle
    check "flipkey.click-again-unswaps" "0 left" "$(swapped) $(arrow)"
    fp rclick "$x" "$y" >/dev/null
    settle
    check "flipkey.right-click-flips" "1 right" "$(swapped) $(arrow)"
    check "flipkey.other-program-unswaps" "swap 0" "$(fp swap 0)"
    fp repaint Function >/dev/null
    settle
    check "flipkey.repaint-puts-swap-back" "1 right" "$(swapped) $(arrow)"
  fi
  ui close Function >/dev/null
  check "flipkey.close" "gone Function" "$(ui gone Function 10)"
  check "flipkey.close-unswaps-and-exits" "0 ended" "$(swapped) $(ended_within "$pid" 10)"

  # --- a second copy waits about 3 s for the first and ends without a window
  pid=$(start_bg "$app/flipkey.exe")
  ui wait Function 15 >/dev/null
  t0=$(date +%s%N)
  pid2=$(start_bg "$app/flipkey.exe")
  local second
  second=$(ended_within "$pid2" 12)
  secs=$((($(date +%s%N) - t0) / 100000000))  # tenths of a second
  check "flipkey.second-copy-ends" ended "$second"
  say "second copy ended after $((secs / 10)).$((secs % 10)) s"
  bench_note=" (a second copy ended $((secs / 10)).$((secs % 10)) s after its start)"
  check "flipkey.second-copy-waits-3s" yes "$([ "$secs" -ge 29 ] && [ "$secs" -le 70 ] && echo yes || echo "no ($secs tenths)")"
  check "flipkey.one-window" 1 "$(count_windows Function)"
  # ... and takes over when the first ends within its wait.
  pid2=$(start_bg "$app/flipkey.exe")
  sleep 1
  ui close Function >/dev/null
  ended_within "$pid" 10 >/dev/null
  check "flipkey.second-copy-takes-over" "found Function" "$(ui wait Function 10)"
  # Escape (the dialog's cancel) ends it as WM_CLOSE does, the buttons normal again.
  settle
  ui mouse "$x" "$y" click >/dev/null
  settle
  check "flipkey.takeover-swaps" 1 "$(swapped)"
  ui key Function ESCAPE >/dev/null
  check "flipkey.escape-unswaps-and-exits" "ended 0" "$(ended_within "$pid2" 10) $(swapped)"

  # --- BEEP.exe: one hidden window "beep", the hook hears a click anywhere, WM_CLOSE ends it
  pid=$(start_bg "$app/BEEP.exe")
  for ((k = 0; k < 50; k++)); do [ "$(count_windows beep)" = 1 ] && break; sleep 0.2; done
  check "beep.window" 1 "$(count_windows beep)"
  check "beep.hidden" "visible=0" "$(ui windows | grep 'title=beep$' | grep -o 'visible=[01]')"
  pid2=$(start_bg "$app/BEEP.exe")
  check "beep.single-instance" "ended 1" "$(ended_within "$pid2" 10) $(count_windows beep)"
  ui mouse 200 200 click >/dev/null
  settle
  check "beep.hook-hears-click" "result 1" "$(ui send beep 32958 0 0)"
  # A click that did not play is a fault unless the system has no wave output at all.
  played=$(ui send beep 32958 1 0)
  audio=$(fp audio)
  if [ "$played" != "result 1" ] && [ "$audio" = "audio 0" ]; then
    skip "beep.click-plays" "no wave output device under this Wine ($audio)"
  else
    check "beep.click-plays" "result 1" "$played"
  fi
  ui close beep >/dev/null
  check "beep.close" "gone beep" "$(ui gone beep 10)"
  check "beep.exits" ended "$(ended_within "$pid" 10)"

  # --- Pointwell starts both by its switches when it saves them on, and closes both
  # when it saves them off. Both switches are on in the tool key when it starts; no
  # frame is attached, so it first says so ("Error"), which the bench answers.
  if [ ! -f "$pointwell" ]; then
    check pointwell.build present "missing $pointwell (build the $arch preset)"
  else
    cp "$pointwell" "$app/Pointwell.exe"
    cp "$top/package/lang.lg" "$app/lang.lg"
    printf '%s\n' "[$tool_key]" '"IsCfg"=hex(1):59,45,53' '"chgbutton"=hex(1):31' '"beep"=hex(1):31' |
      wine_reg_import
    pid=$(start_bg "$app/Pointwell.exe")
    if [ "$(ui wait Error 15)" = "found Error" ]; then ui click Error OK >/dev/null; fi
    check pointwell.window "found Pointwell" "$(ui wait Pointwell 15)"
    check pointwell.switches-on "check 1026 1|check 1040 1" "$(ui check Pointwell 1026)|$(ui check Pointwell 1040)"
    ui post Pointwell WM_COMMAND 1009 0 >/dev/null  # the Save command: SaveSettings
    check pointwell.save-on-starts-flipkey "found Function" "$(ui wait Function 15)"
    for ((k = 0; k < 50; k++)); do [ "$(count_windows beep)" = 1 ] && break; sleep 0.2; done
    check pointwell.save-on-starts-beep 1 "$(count_windows beep)"
    check pointwell.run-entries "$app_win\\flipkey.exe|$app_win\\BEEP.exe" "$(run_entry ChgFile)|$(run_entry beep)"
    ui click Pointwell 1026 >/dev/null
    ui click Pointwell 1040 >/dev/null
    check pointwell.switches-off "check 1026 0|check 1040 0" "$(ui check Pointwell 1026)|$(ui check Pointwell 1040)"
    ui post Pointwell WM_COMMAND 1009 0 >/dev/null
    check pointwell.save-off-closes-flipkey "gone Function" "$(ui gone Function 15)"
    check pointwell.save-off-closes-beep "gone beep" "$(ui gone beep 15)"
    check pointwell.run-entries-gone "missing|missing" "$(run_entry ChgFile)|$(run_entry beep)"
    ui close Pointwell >/dev/null
    ended_within "$pid" 10 >/dev/null
  fi

  bench_prefix_end
}

mkdir -p "$top/docs/img"
bench_arch "$BENCH_ARCH"
