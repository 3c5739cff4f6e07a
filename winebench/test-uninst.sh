#!/usr/bin/env bash
# Uninst.exe under Wine: an installation laid out as setup leaves it (the install
# folder with its list.cpd, the settings key, the Run entries, the services, an INF
# copy of the setup API, the program group's folder, a running "Function" window),
# then Uninst.exe answered through its message boxes, then what is left. A second
# run on a tampered record must delete nothing outside the folder and say so. The
# i686 build in a win32 prefix first, then the x86_64 build in a win64 prefix.
#
#   winebench/test-uninst.sh [BUILD_ROOT]     (BUILD_ROOT: build; uses build/win32, build/win64)
#
# Screenshots of the three message boxes of the i686 run go to docs/img/uninst-*.png.
# Exits non-zero on any failed check; the log is kept on failure and its path printed.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=${1:-$here/../build}
img=$here/../docs/img

# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
BENCH_BUDGET=${TEST_UNINST_BUDGET:-${BENCH_BUDGET:-170}}
# shellcheck source=bench-lib.sh
source "$here/bench-lib.sh"
bench_open uninst
trap bench_finish EXIT

probe() { run 20 "$probe_exe" "$@"; }
ui() { probe "$@"; }
reg_has() {  # reg_has KEY [VALUE]: "yes" or "no"
  local args=("$1")
  [ -n "${2:-}" ] && args+=(/v "$2")
  if wine_run 30 reg query "${args[@]}" >>"$log" 2>&1 </dev/null; then echo yes; else echo no; fi
}
present() { if [ -e "$1" ]; then echo yes; else echo no; fi; }

# The files setup would have copied (relative to the install folder).
files=(Pointwell.exe flipkey.exe BEEP.exe Uninst.exe lang.lg en/main.bmp tw/main.bmp cn/main.bmp
       nologo/en/main.bmp en/license.txt)

lay_out_installation() {  # the install folder C:\veltran as setup leaves it
  local c=$WINEPREFIX/drive_c dir=$WINEPREFIX/drive_c/veltran i=0 rec
  mkdir -p "$dir"/{cn,en,tw,nologo/cn,nologo/en,nologo/tw}
  rec="[COPYED]"$'\r\n'
  for f in "${files[@]}"; do
    echo "$f" >"$dir/$f"
    rec+="file$i=C:\\veltran\\${f//\//\\}"$'\r\n'
    i=$((i + 1))
  done
  rec+="filenum=$i"$'\r\n'
  printf '%s' "$rec" >"$dir/list.cpd"
  cp "$uninst_exe" "$dir/Uninst.exe"
  cp "$here/../package/lang.lg" "$dir/lang.lg"
  echo keep >"$c/keep.txt"
  # The drivers: files, services, the setup API's INF copies (one of another maker).
  mkdir -p "$c/windows/system32/drivers" "$c/windows/inf"
  echo sys >"$c/windows/system32/drivers/Zelko.sys"
  echo sys >"$c/windows/system32/drivers/Dravick.sys"
  cp "$here/../package/2000xp/zelkron2kxp.inf" "$c/windows/inf/oem90.inf"
  echo pnf >"$c/windows/inf/oem90.pnf"
  sed 's/^Veltran=.*/Veltran="Another maker"/' "$here/../package/2000xp/zelkron2kxp.inf" >"$c/windows/inf/oem91.inf"
  run 30 sc create Zelko type= kernel start= demand binPath= 'C:\windows\system32\drivers\Zelko.sys' >/dev/null
  run 30 sc create Dravick type= kernel start= demand binPath= 'C:\windows\system32\drivers\Dravick.sys' >/dev/null
  printf '%s\n' \
    '[HKEY_LOCAL_MACHINE\SOFTWARE\Veltran\Pointwell]' '"IsCfg"="YES"' '"moveSlider"="30"' \
    '[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]' \
    '"ChgFile"="C:\\veltran\\flipkey.exe"' '"beep"="C:\\veltran\\BEEP.exe"' '"Other"="C:\\other.exe"' |
    wine_reg_import
  # The program group as Program Manager DDE makes it: a folder of the user's Start Menu.
  group_dir=$(find "$c/users" -maxdepth 1 -mindepth 1 -type d ! -name Public | head -n1)
  group_dir="$group_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Infrared Touch Screen"
  mkdir -p "$group_dir"
  echo lnk >"$group_dir/Setting and Calibrate.lnk"
}

# Answers the message boxes: SHOT1 after the first box appears, and so on.
answer() {  # answer TITLE BUTTON_ID [SHOT]
  local found
  found=$(probe wait "$1" 20)
  [ -n "${3:-}" ] && shot_window "$3" "$1"
  probe click "$1" "$2" >/dev/null
  echo "$found"
}

one_arch() {
  local arch=$1 build=$root/$1 c shots
  probe_exe=$build/winebench/uiprobe/uiprobe.exe
  uninst_exe=$build/tools/uninst/Uninst.exe
  local target_exe=$build/winebench/uiprobe/uitarget.exe
  if [ ! -f "$probe_exe" ] || [ ! -f "$uninst_exe" ] || [ ! -f "$target_exe" ]; then
    bench_arch=$arch
    check build "Uninst.exe uiprobe.exe uitarget.exe" "missing in $build (build the $arch preset)"
    bench_arch=
    return
  fi
  bench_prefix "$arch" || return
  wine_gui >>"$log" 2>&1 || { check gui "ok" "wine_gui failed"; bench_prefix_end; return; }
  c=$WINEPREFIX/drive_c
  shots=""
  [ "$arch" = win32 ] && mkdir -p "$img" && shots=$img/uninst

  lay_out_installation
  check layout "oem90.inf oem91.inf" "$(cd "$c/windows/inf" && for f in oem90.inf oem91.inf; do [ -s "$f" ] && echo "$f"; done | paste -sd' ')"
  local target_out=$WINE_TMP/function.out
  wine_run 120 "$target_exe" Function >"$target_out" 2>>"$log" </dev/null &
  probe wait Function 15 >/dev/null

  # --- the run: remove, do not keep the settings, then the closing word
  wine_run 120 "$c/veltran/Uninst.exe" >>"$log" 2>&1 </dev/null &
  local pid=$!
  check ask "found Prompt" "$(answer Prompt 6 "${shots:+$shots-ask.png}")"
  check keep "found Prompt" "$(answer Prompt 7 "${shots:+$shots-keep.png}")"
  local text
  probe wait Information 30 >/dev/null
  [ -n "$shots" ] && shot_window "$shots-done.png" Information
  text=$(probe controls Information | grep -o 'text=Infrared Touch Screen has been removed.*' | head -n1)
  probe click Information 1 >/dev/null
  wait "$pid"
  # A running program cannot delete its own file: Uninst.exe and the folder are left
  # to the restart, which Wine performs at the next wineboot.
  check done.message \
    "text=Infrared Touch Screen has been removed. The last files go when the computer restarts." "$text"
  local missing=0 f
  for f in "${files[@]}"; do [ -e "$c/veltran/$f" ] && missing=$((missing + 1)); done
  check files.removed "1 left: Uninst.exe" "$missing left: $(ls -A "$c/veltran" 2>/dev/null | tr '\n' ' ' | sed 's/ $//')"
  check restart.pending "yes" \
    "$(wine_run 30 reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
       </dev/null 2>/dev/null | tr -d '\r' | grep -qiF 'C:\veltran\Uninst.exe\0\0\??\C:\veltran\0' && echo yes || echo no)"
  run 60 wineboot -r >/dev/null
  check restart.folder.removed "no" "$(present "$c/veltran")"
  check outside.kept "yes" "$(present "$c/keep.txt")"
  check function.closed "close" "$(tr -d '\r' <"$target_out" | grep -x close | head -n1)"
  check run.chgfile "no" "$(reg_has 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' ChgFile)"
  check run.beep "no" "$(reg_has 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' beep)"
  check run.other "yes" "$(reg_has 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' Other)"
  check settings.removed "no no" \
    "$(reg_has 'HKLM\SOFTWARE\Veltran\Pointwell') $(reg_has 'HKLM\SOFTWARE\Veltran')"
  check services.removed "no no" \
    "$(reg_has 'HKLM\System\CurrentControlSet\Services\Zelko') $(reg_has 'HKLM\System\CurrentControlSet\Services\Dravick')"
  check drivers.removed "no no" \
    "$(present "$c/windows/system32/drivers/Zelko.sys") $(present "$c/windows/system32/drivers/Dravick.sys")"
  check inf.copies "no no yes" \
    "$(present "$c/windows/inf/oem90.inf") $(present "$c/windows/inf/oem90.pnf") $(present "$c/windows/inf/oem91.inf")"
  check group.removed "no" "$(present "$group_dir")"

  # --- a tampered record: one entry climbs out, another names a system file
  lay_out_installation
  printf '[COPYED]\r\nfile0=C:\\veltran\\lang.lg\r\nfile1=C:\\veltran\\..\\keep.txt\r\nfile2=C:\\windows\\win.ini\r\nfilenum=3\r\n' \
    >"$c/veltran/list.cpd"
  wine_run 120 "$c/veltran/Uninst.exe" >>"$log" 2>&1 </dev/null &
  pid=$!
  answer Prompt 6 >/dev/null
  answer Prompt 6 >/dev/null
  probe wait Information 30 >/dev/null
  text=$(probe controls Information | grep -o 'text=The list of installed files[^\\]*' | head -n1)
  probe click Information 1 >/dev/null
  wait "$pid"
  check tampered.message \
    "text=The list of installed files (list.cpd) is missing or damaged. No file was removed from the folder:" \
    "$text"
  check tampered.kept "yes yes yes yes" \
    "$(present "$c/keep.txt") $(present "$c/windows/win.ini") $(present "$c/veltran/lang.lg") $(present "$c/veltran/Pointwell.exe")"
  check tampered.settings.kept "yes" "$(reg_has 'HKLM\SOFTWARE\Veltran\Pointwell')"
  bench_prefix_end
}

one_arch win32
one_arch win64
