#!/usr/bin/env bash
# The whole story of the package under Wine, on the product folder that
# scripts/make-dist.sh assembles (dist/touchframe-i686 in a win32 prefix, then
# dist/touchframe-x86_64 in a win64 prefix): a fresh prefix under Xvfb; setup.exe
# installs into c:\veltran (the restart is observed, not performed); the bench's
# virtual frame is plugged and Zelko loads; Pointwell starts from the install folder
# and its first-start calibration is completed by touches injected at the frame; the
# Data page's "Swap Left&Right" is switched on and saved, and Flipkey appears; a touch
# then maps where it should; Uninst.exe removes the package (keeping the settings, the
# default answer), and the restart it leaves finishes its work. Last, the prefix is
# compared with what it held before setup ran (files, registry keys and values,
# services): nothing of the package may be left but the settings the user kept.
#
#   winebench/test-story.sh [BUILD_DIR]
#
# Without BUILD_DIR: the i686 build (build/win32: its dist folder and the bench's
# tools) in a win32 prefix, then the x86_64 one. Screenshots of every step go to one
# folder per build, printed at the end (STORY_SHOTS, default build/story-shots); the
# i686 run also refreshes the user guide's pictures (docs/img/guide-*.png). A step
# whose program this tree does not build yet is reported as SKIP with the reason.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
# shellcheck source=bench-lib.sh
source "$here/bench-lib.sh"
bench_builds "$0" "${1:-}"
build=$(cd "$1" 2>/dev/null && pwd) || build=$1

case $BENCH_ARCH in
  win32) dist_arch=i686 ;;
  *) dist_arch=x86_64 ;;
esac
dist=$root/dist/touchframe-$dist_arch
uiprobe=$build/winebench/uiprobe/uiprobe.exe
devinst=$build/winebench/devinst/devinst.exe
vusbctl=$build/winebench/vusb/vusbctl.exe
bus_sys=$build/winebench/vusb/ZkVusb.sys
bus_inf=$build/winebench/vusb/zkvusb.inf
calibdrive=$build/winebench/calibdrive/calibdrive.exe
zkprobe=$build/winebench/zelkoprobe/zkprobe.exe

BENCH_BUDGET=${TEST_STORY_BUDGET:-${BENCH_BUDGET:-240}}
bench_open story
trap bench_finish EXIT
shots=${STORY_SHOTS:-$root/build/story-shots}/$BENCH_ARCH
guide=$root/docs/img
rm -rf "$shots"
mkdir -p "$shots"
step_no=0

ui() { run 30 "$uiprobe" "$@"; }
regdata() { ui regget "$1" "$2" | sed -n 's/^data //p' | paste -sd';'; }
present() { if [ -e "$1" ]; then echo yes; else echo no; fi; }

# shot NAME [TITLE [GUIDE_NAME]]: the screen into the story's folder as NN-NAME.png; with
# TITLE cut to that window; with GUIDE_NAME (i686 run) also the user guide's picture.
shot() {
  local file
  step_no=$((step_no + 1))
  file=$shots/$(printf '%02d' "$step_no")-$1.png
  shot_window "$file" "${2:-}" || return
  if [ -n "${3:-}" ] && [ "$BENCH_ARCH" = win32 ]; then
    cp "$file" "$guide/guide-$3.png"
  fi
}

# What the prefix holds: every file and folder under drive_c, and every registry key
# and value name (KEY and KEY\:NAME lines), from a full export.
snapshot() {  # snapshot NAME
  local out=$WINE_TMP/$1
  (cd "$WINEPREFIX/drive_c" &&
    find . \( -ipath './windows/temp' -o -ipath './users/*/temp' -o -ipath './windows/logs' \) -prune -o -print) |
    sed 's|^\./||' | LC_ALL=C sort >"$out.files"
  rm -f "$out.reg"
  wine_run 120 regedit /E "$(wine_winpath "$WINE_TMP")\\$1.reg" </dev/null >>"$log" 2>&1
  # regedit writes UTF-16 with CRLF; keys as [KEY], values as "NAME"=... or @=...
  iconv -f UTF-16 -t UTF-8 "$out.reg" 2>/dev/null | tr -d '\r' | awk '
    /^\[.*\]$/ { key = substr($0, 2, length($0) - 2); print key; next }
    /^"/ { n = $0; sub(/^"/, "", n); sub(/"=.*$/, "", n); print key "\\:" n; next }
    /^@=/ { print key "\\:@" }' | LC_ALL=C sort -u >"$out.keys"
}

# The package's traces among lines of a snapshot difference.
package_lines() {
  grep -iE 'veltran|pointwell|zelko|zelkron|dravick|dravila|dravline|dravo98|vid_5a53|flipkey|beep\.exe|\\run\\:(beep|chgfile)$|infrared touch|uninst\.exe|list\.cpd|c0cf0648|^veltran' || true
}

story() {
  local pkg drive_c zelko_state=""
  # The product folder, assembled afresh from this build (its own checks go to the log:
  # a file the tree does not build yet is a stand-in below, not a failure here).
  "$root/scripts/make-dist.sh" "$dist_arch" >>"$log" 2>&1 || say "make-dist reported problems (above)"
  if [ ! -f "$dist/setup.exe" ]; then
    check dist "setup.exe in $dist" "missing (scripts/make-dist.sh $dist_arch)"
    return
  fi
  bench_prefix "$BENCH_ARCH" || return
  wine_gui >>"$log" 2>&1 || { check gui "ok" "wine_gui failed"; return; }
  drive_c=$WINEPREFIX/drive_c
  pkg=$WINE_TMP/pkg
  snapshot before

  # The product folder as a user unpacks it. A file filelist.ini names that this
  # tree does not build yet becomes a stand-in, and the steps that need it are skipped.
  cp -r "$dist" "$pkg"
  local stand=() entry
  while read -r entry; do
    entry=${entry//\\//}
    [ -f "$pkg/$entry" ] && continue
    mkdir -p "$(dirname "$pkg/$entry")"
    echo "stand-in for $entry" >"$pkg/$entry"
    stand+=("$entry")
  done < <(sed -n '/^\[win2k\]/,$ s/^file[0-9]*=\([^ \r]*\).*/\1/p' "$pkg/filelist.ini")
  [ ${#stand[@]} -gt 0 ] && say "stand-ins: ${stand[*]}" &&
    bench_note=" (stand-ins for ${#stand[@]} files this tree does not build yet: ${stand[*]})"
  is_stand() { printf '%s\n' "${stand[@]}" | grep -qix "$1"; }

  # --- 1. setup: the licence, "I agree", Start, the end box; the restart is observed
  ( cd "$pkg" && WINEDEBUG=+process timeout --kill-after=5 150 "$WINELOADER" "$pkg/setup.exe" \
      >"$WINE_TMP/setup.out" 2>"$WINE_TMP/setup.err" </dev/null ) &
  local setup_pid=$!
  check setup.licence "found License" "$(ui wait License 30)"
  shot setup-licence License install-licence
  ui click License 1005 >/dev/null
  check setup.path "text 1024 c:\\\\veltran" "$(ui text License 1024)"
  shot setup-agreed License install-agreed
  ui click License 1021 >/dev/null
  ui wait Prompt 120 >/dev/null
  check setup.finished "Install finished,the computer will reboot." "$(box_text Prompt)"
  # ShowGroup opens the group's folder window: picture it, then close it.
  if [ "$(ui wait 'Infrared Touch Screen' 5)" = "found Infrared Touch Screen" ]; then
    shot program-group "Infrared Touch Screen"
    ui close 'Infrared Touch Screen' >/dev/null
    ui gone 'Infrared Touch Screen' 5 >/dev/null
  fi
  shot setup-finished Prompt install-finished
  ui click Prompt 1 >/dev/null
  wait "$setup_pid" 2>/dev/null
  settle_restart
  check setup.restart-requested "yes" \
    "$(grep -q 'wineboot.exe.*\(--kill\|-k\)' "$WINE_TMP/setup.err" && echo yes || echo no)"
  check setup.files "all recorded files present" "$(sed -n 's/^file[0-9]*=//p' "$drive_c/veltran/list.cpd" 2>/dev/null |
    tr -d '\r' | while read -r p; do f=${p#?:\\}; [ -f "$drive_c/${f//\\//}" ] || echo "missing $f"; done |
    head -n 3 | paste -sd' ' | sed 's/^$/all recorded files present/')"
  check setup.group "2" "$(find "$drive_c/users" -path '*/Infrared Touch Screen/*.lnk' 2>/dev/null | wc -l)"
  check setup.services "Dravick Zelko" \
    "$(for s in Dravick Zelko; do [ -n "$(regdata "HKLM\\System\\CurrentControlSet\\Services\\$s" ImagePath)" ] && echo $s; done | paste -sd' ')"

  # --- 2. the frame plugged: Plug and Play installs Zelko from what setup placed ----
  mkdir -p "$WINE_TMP/bus"
  cp "$bus_sys" "$bus_inf" "$WINE_TMP/bus/"
  check frame.bus "root ok" "$(run 90 "$devinst" root 'Root\ZkVusb' "$(wine_winpath "$WINE_TMP/bus/$(basename "$bus_inf")")" | awk '{ print $1, $2 }')"
  check frame.zelko-reads "wait held=1 ok" "$(run 60 "$vusbctl" --wait 30000 wait held=1 30000)"

  # --- 3. Pointwell's first start: the calibration, by touches at the frame --------
  local tool_pid=""
  if is_stand Pointwell.exe; then
    skip pointwell "Pointwell.exe is not built by this tree yet"
  else
    local sync=$WINE_TMP/sync drive_out=$WINE_TMP/calibdrive.out k name
    mkdir -p "$sync"
    : >"$drive_out"
    ( cd "$drive_c/veltran" && timeout --kill-after=5 200 "$WINELOADER" 'C:\veltran\Pointwell.exe' \
        >>"$log" 2>&1 </dev/null ) &
    tool_pid=$!
    wine_run 120 "$calibdrive" "$(wine_winpath "$sync")" >"$drive_out" 2>>"$log" </dev/null &
    local drive_pid=$!
    for ((k = 0; k < 1200; k++)); do
      for name in screen examination; do
        if [ ! -f "$sync/go-$name" ] && tr -d '\r' <"$drive_out" | grep -qx "shot $name"; then
          case $name in
            screen) shot calibration-screen "" calibration ;;
            examination) shot calibration-examination Examination examination ;;
          esac
          touch "$sync/go-$name"
        fi
      done
      kill -0 "$drive_pid" 2>/dev/null || break
      sleep 0.1
    done
    wait "$drive_pid"
    local drive_rc=$?
    tr -d '\r' <"$drive_out" >"$drive_out.lf"
    cat "$drive_out.lf" >>"$log"
    check calibration.driven "0" "$drive_rc"
    check calibration.confirmed "confirmed" "$(grep -x confirmed "$drive_out.lf")"
    check calibration.IsCfg "YES" "$(regdata 'HKLM\SOFTWARE\Veltran\Pointwell' IsCfg)"
    # --- 5. a touch maps where it should: each target's raw point comes back from
    # Zelko within a pixel of the target (calibdrive's probe, raw mode off).
    check touch.maps "0:ok 1:ok 2:ok 3:ok" "$(awk '$1 == "probe" {
        if ($3 == "none") { printf("%s%s:none", n++ ? " " : "", $2); next }
        dx = $3 - $5; dy = $4 - $6; if (dx < 0) dx = -dx; if (dy < 0) dy = -dy
        printf("%s%s:%s", n++ ? " " : "", $2, (dx <= $7 && dy <= $8) ? "ok" : "off")
      }' "$drive_out.lf")"
    ui wait Pointwell 10 >/dev/null
    shot pointwell-mode Pointwell page-mode

    # --- 4. the Data page: "Swap Left&Right" on, Save; Flipkey appears -------------
    local cl ct cw ch
    read -r cl ct cw ch < <(ui rect Pointwell | awk '$1 == "client" { print $2, $3, $4 - $2, $5 - $3 }')
    if [ -n "${ch:-}" ]; then
      # The Data tab: the second band of the skin's page tabs (scaled to the client).
      ui mouse "$((cl + cw * 48 / 561))" "$((ct + ch * 220 / 400))" click >/dev/null
      sleep 0.5
      check data.page "visible=1" "$(ui controls Pointwell | grep '^control id=1026 ' | grep -o 'visible=[01]')"
      ui click Pointwell 1026 >/dev/null
      check data.swap-checked "check 1026 1" "$(ui check Pointwell 1026)"
      shot pointwell-data Pointwell page-data
      ui click Pointwell 1009 >/dev/null
      if is_stand flipkey.exe; then
        skip flipkey "flipkey.exe is not built by this tree yet"
      else
        check flipkey.appears "found Function" "$(ui wait Function 10)"
        check flipkey.autostart 'C:\\veltran\\flipkey.exe' \
          "$(regdata 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' ChgFile)"
        shot flipkey "" flipkey
      fi
      # The calibration page, for the guide.
      ui mouse "$((cl + cw * 48 / 561))" "$((ct + ch * 275 / 400))" click >/dev/null
      sleep 0.5
      shot pointwell-calibrate Pointwell page-calibrate
    else
      check pointwell.window "client rect" "none"
    fi
    ui close Pointwell >/dev/null
    ui gone Pointwell 10 >/dev/null
  fi

  # --- 6. Uninst.exe, as the program group's second item starts it -----------------
  if is_stand Uninst.exe; then
    skip uninst "Uninst.exe is not built by this tree yet"
  else
    ( cd "$drive_c/veltran" && timeout --kill-after=5 120 "$WINELOADER" 'C:\veltran\Uninst.exe' \
        >>"$log" 2>&1 </dev/null ) &
    local un_pid=$!
    check uninst.ask "found Prompt" "$(ui wait Prompt 20)"
    shot uninst-ask Prompt
    ui click Prompt 6 >/dev/null
    check uninst.keep "found Prompt" "$(ui wait Prompt 20)"
    shot uninst-keep Prompt
    ui click Prompt 6 >/dev/null   # Yes: keep the calibration and settings
    ui wait Information 60 >/dev/null
    check uninst.done "Infrared Touch Screen has been removed. The last files go when the computer restarts." \
      "$(box_text Information)"
    shot uninst-done Information
    ui click Information 1 >/dev/null
    wait "$un_pid" 2>/dev/null
    check uninst.flipkey-closed "gone Function" "$(ui gone Function 5)"
    # Flipkey ended with its window, so its file went at once (not at the restart).
    is_stand flipkey.exe || check uninst.flipkey-file-removed "no" "$(present "$drive_c/veltran/flipkey.exe")"
    check uninst.settings-kept "YES" "$(regdata 'HKLM\SOFTWARE\Veltran\Pointwell' IsCfg)"
    # Wine 8 keeps a PnP driver loaded after its last device is gone, so Zelko cannot
    # stop: its service is only marked for deletion and Zelko.sys is left to the restart.
    zelko_state=$(run 20 sc query Zelko | sed -n 's/^ *STATE *: *[0-9]* *//p')
    check uninst.restart-queued "Uninst.exe Zelko.sys" "$(wine_run 30 reg query \
        'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations </dev/null 2>/dev/null |
      tr -d '\r' | grep -oiE 'drivers\\Zelko\.sys|veltran\\Uninst\.exe' | sed 's/.*\\//' | sort -u | paste -sd' ')"
  fi
  [ -n "$tool_pid" ] && kill "$tool_pid" 2>/dev/null
  # The user unplugs the frame (the bench's bus goes: it is not the package) and
  # restarts: every process ends, and Wine's wineboot takes the deletions left to it.
  run 60 "$devinst" remove 'Root\ZkVusb' >/dev/null
  timeout 30 "$WINESERVER" -k 2>/dev/null
  timeout 30 "$WINESERVER" -w 2>/dev/null
  timeout 30 "$WINESERVER" -p 2>/dev/null
  run 60 wineboot -r >/dev/null
  settle_restart
  shot after-restart
  check restart.folder-gone "no" "$(present "$drive_c/veltran")"
  check restart.drivers-gone "no no" \
    "$(present "$drive_c/windows/system32/drivers/Zelko.sys") $(present "$drive_c/windows/system32/drivers/Dravick.sys")"

  # --- 7. the prefix against its state before setup --------------------------------
  snapshot after
  local new_files new_keys gone_keys left kept other
  new_files=$(LC_ALL=C comm -13 "$WINE_TMP/before.files" "$WINE_TMP/after.files")
  new_keys=$(LC_ALL=C comm -13 "$WINE_TMP/before.keys" "$WINE_TMP/after.keys")
  gone_keys=$(LC_ALL=C comm -23 "$WINE_TMP/before.keys" "$WINE_TMP/after.keys")
  # The package's INF copies are named oem<n>.inf: look into every new INF.
  local inf_ours
  inf_ours=$(echo "$new_files" | grep -iE '^windows/inf/.*\.inf$' | while read -r f; do
    grep -qi 'veltran' "$drive_c/$f" && echo "$f"; done)
  kept=$( (echo "$new_keys") | grep -iE '^HKEY_LOCAL_MACHINE\\Software\\Veltran(\\Pointwell)?(\\:.*)?$' || true)
  left=$( (echo "$new_files"; echo "$inf_ours"; echo "$new_keys") | package_lines |
    grep -viE '^HKEY_LOCAL_MACHINE\\Software\\Veltran(\\Pointwell)?(\\:.*)?$' | grep -viE 'zkvusb' | sort -u)
  # Zelko's service key when Wine could not stop the driver (above): on Windows the
  # marked service goes when the driver stops, at the latest at the restart.
  local gap=""
  if [ "${zelko_state:-}" = RUNNING ]; then
    gap=$(echo "$left" | grep -iE '^HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Zelko(\\|$)' || true)
    left=$(echo "$left" | grep -viE '^HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Zelko(\\|$)' || true)
  fi
  other=$( (echo "$new_files"; echo "$new_keys") | grep -c . )
  {
    echo "== files new since before setup"; echo "$new_files"
    echo "== registry entries new since before setup"; echo "$new_keys"
    echo "== registry entries gone since before setup"; echo "$gone_keys"
  } >"$shots/../clean-prefix-$BENCH_ARCH.txt"
  say "clean-prefix comparison: $(echo "$new_files" | grep -c .) new files, $(echo "$new_keys" | grep -c .) new registry entries, $(echo "$gone_keys" | grep -c .) gone; list in $shots/../clean-prefix-$BENCH_ARCH.txt"
  check clean.package-left "nothing" "$(if [ -n "$left" ]; then echo "$left" | head -n 8 | paste -sd' '; else echo nothing; fi)"
  if [ -n "$gap" ]; then
    skip clean.zelko-service "Wine 8 cannot stop a PnP driver, so the service Uninst marked for deletion keeps its key ($(echo "$gap" | grep -c .) entries)"
  fi
  check clean.settings-kept "kept" "$(echo "$kept" | grep -qi 'Pointwell\\:IsCfg' && echo kept || echo "not kept")"
  echo "clean-prefix ($BENCH_ARCH): package entries left: $(echo "$left" | grep -c .); kept by choice: $(echo "$kept" | grep -c .) registry entries (the settings key); Zelko's service left by Wine: $(echo "$gap" | grep -c .); other differences (Wine's own and the bench's bus): $((other - $(echo "$kept" | grep -c .) - $(echo "$gap" | grep -c .) - $(echo "$left" | grep -c .))) - listed in $(cd "$shots/.." && pwd)/clean-prefix-$BENCH_ARCH.txt"
  echo "story ($BENCH_ARCH): screenshots in $shots"
  bench_prefix_end
}

story
