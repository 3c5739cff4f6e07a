#!/usr/bin/env bash
# Flipkey (flipkey.exe) and BEEP.exe under Wine: the i686 build in a win32 prefix
# first, then the x86_64 build in a win64 prefix, with the same checks.
#
#   winebench/test-flipkey.sh [ARCH...]     (default: win32 win64)
#
# Wine stores the button swap (GetSystemMetrics(SM_SWAPBUTTON) reads it back) but does
# not swap real input, so the swap is read through SM_SWAPBUTTON and the clicks go to
# the button as they are. uiprobe drives and reads the windows; flipprobe sets the swap
# as another program would, repaints a window and tells which way the arrow on the
# screen points. The screenshots of both states go to docs/img/ from the first build
# that runs. Prints PASS/FAIL/SKIP lines; exits non-zero on a failed check.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)

# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
# shellcheck source=bench-lib.sh
source "$here/bench-lib.sh"
bench_open flipkey
BENCH_BUDGET=${BENCH_BUDGET:-200}
trap bench_finish EXIT

shots_done=0

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
    "$top/docs/img/$1.png" >>"$log" 2>&1 && say "screenshot docs/img/$1.png"
}

bench_arch() {
  local arch=$1 build=$top/build/$1 why pid pid2 t0 secs point x y
  local flipkey=$build/tools/flipkey/flipkey.exe beepexe=$build/tools/beep/BEEP.exe
  uiprobe=$build/winebench/uiprobe/uiprobe.exe
  flipprobe=$build/winebench/flipprobe/flipprobe.exe
  if ! why=$(wine_arch_ok "$arch"); then
    skip "$arch" "$why"
    return
  fi
  local f
  for f in "$flipkey" "$beepexe" "$uiprobe" "$flipprobe"; do
    if [ ! -f "$f" ]; then
      check "$arch.build" "present" "missing $f (build the $arch preset)"
      return
    fi
  done
  if ! wine_setup flipkey "$arch" >>"$log" 2>&1 || ! wine_gui >>"$log" 2>&1; then
    trap bench_finish EXIT
    check "$arch.prefix" ok failed
    return
  fi
  trap bench_finish EXIT
  local app=$WINE_TMP/app
  mkdir -p "$app"
  cp "$flipkey" "$beepexe" "$app/"

  # --- Flipkey: start, flips, the swap put back by a repaint, close while swapped
  pid=$(start_bg "$app/flipkey.exe")
  check "$arch.flipkey.window" "found Function" "$(ui wait Function 15)"
  settle
  check "$arch.flipkey.start-swap-off" 0 "$(swapped)"
  check "$arch.flipkey.start-left-arrow" left "$(arrow)"
  if [ "$shots_done" = 0 ]; then shot flipkey-left; fi
  point=$(button_point)
  read -r x y <<<"$point"
  if [ -z "${y:-}" ]; then
    check "$arch.flipkey.button" "push button 1034" "none"
  else
    ui mouse "$x" "$y" click >/dev/null
    settle
    check "$arch.flipkey.click-swaps" "1 right" "$(swapped) $(arrow)"
    if [ "$shots_done" = 0 ]; then shot flipkey-right; shots_done=1; fi
    ui mouse "$x" "$y" click >/dev/null
    settle
    check "$arch.flipkey.click-again-unswaps" "0 left" "$(swapped) $(arrow)"
    fp rclick "$x" "$y" >/dev/null
    settle
    check "$arch.flipkey.right-click-flips" "1 right" "$(swapped) $(arrow)"
    check "$arch.flipkey.other-program-unswaps" "swap 0" "$(fp swap 0)"
    fp repaint Function >/dev/null
    settle
    check "$arch.flipkey.repaint-puts-swap-back" "1 right" "$(swapped) $(arrow)"
  fi
  ui close Function >/dev/null
  check "$arch.flipkey.close" "gone Function" "$(ui gone Function 10)"
  check "$arch.flipkey.close-unswaps-and-exits" "0 ended" "$(swapped) $(ended_within "$pid" 10)"

  # --- a second copy waits about 3 s for the first and ends without a window
  pid=$(start_bg "$app/flipkey.exe")
  ui wait Function 15 >/dev/null
  t0=$(date +%s%N)
  pid2=$(start_bg "$app/flipkey.exe")
  local second
  second=$(ended_within "$pid2" 12)
  secs=$((($(date +%s%N) - t0) / 100000000))  # tenths of a second
  check "$arch.flipkey.second-copy-ends" ended "$second"
  say "second copy ended after $((secs / 10)).$((secs % 10)) s"
  check "$arch.flipkey.second-copy-waits-3s" yes "$([ "$secs" -ge 29 ] && [ "$secs" -le 70 ] && echo yes || echo "no ($secs tenths)")"
  check "$arch.flipkey.one-window" 1 "$(count_windows Function)"
  # ... and takes over when the first ends within its wait.
  pid2=$(start_bg "$app/flipkey.exe")
  sleep 1
  ui close Function >/dev/null
  ended_within "$pid" 10 >/dev/null
  check "$arch.flipkey.second-copy-takes-over" "found Function" "$(ui wait Function 10)"
  ui close Function >/dev/null
  check "$arch.flipkey.takeover-closes" ended "$(ended_within "$pid2" 10)"

  # --- BEEP.exe: one hidden window "beep", the hook hears a click anywhere, WM_CLOSE ends it
  pid=$(start_bg "$app/BEEP.exe")
  local k
  for ((k = 0; k < 50; k++)); do [ "$(count_windows beep)" = 1 ] && break; sleep 0.2; done
  check "$arch.beep.window" 1 "$(count_windows beep)"
  check "$arch.beep.hidden" "visible=0" "$(ui windows | grep 'title=beep$' | grep -o 'visible=[01]')"
  pid2=$(start_bg "$app/BEEP.exe")
  check "$arch.beep.single-instance" "ended 1" "$(ended_within "$pid2" 10) $(count_windows beep)"
  ui mouse 200 200 click >/dev/null
  settle
  check "$arch.beep.hook-hears-click" "result 1" "$(ui send beep 32958 0 0)"
  if [ "$(ui send beep 32958 1 0)" = "result 1" ]; then
    check "$arch.beep.click-plays" "result 1" "result 1"
  else
    skip "$arch.beep.click-plays" "PlaySound found no audio output under this Wine"
  fi
  ui close beep >/dev/null
  check "$arch.beep.close" "gone beep" "$(ui gone beep 10)"
  check "$arch.beep.exits" ended "$(ended_within "$pid" 10)"

  # --- Pointwell starts and closes both by its switches
  skip "$arch.pointwell.savesettings" "Pointwell.exe's SaveSettings is not in this tree yet"

  wine_teardown >>"$log" 2>&1
  trap bench_finish EXIT
}

mkdir -p "$top/docs/img"
for a in "${@:-win32 win64}"; do
  for arch in $a; do bench_arch "$arch"; done
done
