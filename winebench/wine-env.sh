# Wine prefix helpers for the Wine test scripts; source this file.
#
#   wine_arch_ok ARCH      0 when ARCH (win32 or win64) can run here; otherwise prints the
#                          reason (for a SKIP line) and returns 1
#   wine_setup [NAME [ARCH]]  fresh prefix of ARCH (win32: the 32-bit loader with
#                          WINEARCH=win32; win64, the default: wine64) under a new temp
#                          folder (a copy of a booted template prefix kept between runs),
#                          persistent wineserver; WINE_ARCH says which
#   wine_run SECS CMD..    runs CMD (a Windows program and its arguments) under the prefix's
#                          loader, time-boxed; its exit code is returned (124 on time-out)
#   wine_winpath PATH      the Windows form (Z:\...) of a Linux path
#   wine_gui               a private Xvfb (DISPLAY exported), Wine's own fonts copied into
#                          the prefix, X11 Driver Managed=N (no window manager here)
#   wine_gui_lang zh_TW|zh_CN  the process locale (LOCPATH, LANG exported) for Chinese
#                          dialogs, WenQuanYi Micro Hei substituted for "MS Sans Serif" and
#                          "MS Shell Dlg", the MS Sans Serif files taken out of the prefix
#   wine_shot FILE         a PNG screenshot of the whole screen
#   wine_teardown          stops the wineserver and Xvfb and removes the temp folder
#
# Order: wine_setup, then wine_gui, then wine_gui_lang, before any dialog program runs.
# wine_setup installs an EXIT trap that calls wine_teardown; a caller that needs its
# own EXIT trap should call wine_teardown from it.
#
# Settings (environment, optional): WINE_BOOT_TIMEOUT (s, default 120),
# WINE_KEEP_PREFIX=1 keeps the temp folder for inspection, WINE_GUI_SCREEN (Xvfb screen,
# default 1024x768x24), WINE_LOCALE_DIR (where compiled locales are kept between runs),
# WINE_TEMPLATE_DIR (where the booted template prefixes are kept; about 0.6 GB each),
# WINE_PREFIX_TEMPLATE=0 boots every prefix afresh.

WINE64_BIN=${WINE64_BIN:-${WINE_BIN:-/usr/lib/wine/wine64}}
WINE32_BIN=${WINE32_BIN:-/usr/lib/wine/wine}
WINE_BIN=${WINE_BIN:-$WINE64_BIN}
# One wineserver serves both loaders.
WINE_SERVER_BIN=${WINE_SERVER_BIN:-/usr/lib/wine/wineserver64}
WINE_BOOT_TIMEOUT=${WINE_BOOT_TIMEOUT:-120}
WINE_FONT_DIR=${WINE_FONT_DIR:-/usr/share/wine/fonts}

wine_log() { echo "wine-env: $*" >&2; }

wine_loader_for() {  # wine_loader_for ARCH: the loader's path (empty for an unknown ARCH)
  case $1 in
    win32) echo "$WINE32_BIN" ;;
    win64) echo "$WINE64_BIN" ;;
  esac
}

# The answer is kept per architecture (one probe per script).
wine_arch_ok() {
  local arch=${1:-win64} bin out rc=0 var
  var=WINE_ARCH_OK_$arch
  if [ -n "${!var:-}" ]; then
    [ "${!var}" = ok ] && return 0
    echo "${!var}"
    return 1
  fi
  bin=$(wine_loader_for "$arch")
  if [ -z "$bin" ]; then
    echo "unknown Wine architecture '$arch' (win32 or win64)"
    return 1
  fi
  if [ ! -x "$bin" ]; then
    if [ "$arch" = win32 ]; then
      out="32-bit Wine is not installed ($bin; Debian package wine32:i386)"
    else
      out="wine64 is not installed ($bin)"
    fi
  elif [ ! -x "$WINE_SERVER_BIN" ]; then
    out="the wineserver is not installed ($WINE_SERVER_BIN)"
  else
    # A kernel without IA32 emulation refuses the 32-bit loader: "Exec format error".
    # (Run by bash, which says so; timeout's execvp would hand the file to /bin/sh.)
    out=$(timeout 30 bash -c 'exec "$1" --version' bash "$bin" 2>&1 </dev/null) || rc=$?
    if [ "$rc" -ne 0 ]; then
      out=$(printf '%s\n' "$out" | grep -v '^$' | head -n1)
      out=${out##*"$bin: "}
      out="$bin cannot run here: ${out:-exit code $rc}"
    else
      out=ok
    fi
  fi
  printf -v "$var" '%s' "$out"
  [ "$out" = ok ] && return 0
  echo "$out"
  return 1
}

# wine_boot DIR ARCH LOG: a fresh prefix of ARCH booted in DIR, its server settled
# (registry written, boot processes ended); Wine's output goes to LOG.
wine_boot() {
  local dir=$1 arch=$2 logf=$3 bin t0=$SECONDS
  bin=$(wine_loader_for "$arch")
  mkdir -p "$dir"
  if ! WINEPREFIX=$dir WINEARCH=$arch WINELOADER=$bin timeout "$WINE_BOOT_TIMEOUT" "$bin" wineboot -i \
    >"$logf" 2>&1 </dev/null; then
    wine_log "wineboot failed or timed out after $((SECONDS - t0)) s (log: $logf)"
    return 1
  fi
  if ! WINEPREFIX=$dir timeout "$WINE_BOOT_TIMEOUT" "$WINE_SERVER_BIN" -w; then
    wine_log "wineserver did not settle after the boot"
    return 1
  fi
}

# Debian's wineserver keeps its sockets under /tmp/wine-XXXXXX, named in the prefix's
# "wineserver" file; removed with the prefix (or before a prefix is copied).
wine_server_dir_remove() {
  local name
  name=$(cat "$1/wineserver" 2>/dev/null) || return 0
  [[ $name =~ ^wine-[A-Za-z0-9]{6}$ ]] && rm -rf "/tmp/$name"
  rm -f "$1/wineserver"
}

# wine_template ARCH: prints the folder of a booted prefix of ARCH that is kept between
# runs (under WINE_TEMPLATE_DIR), booting it first when this Wine has none yet. Copying
# it takes a second or two where a boot takes 10-20 s. One boot at a time per
# architecture (a lock); a half-made template is never seen (made aside, then renamed).
wine_template() {
  local arch=$1 bin base stamp tpl
  bin=$(wine_loader_for "$arch")
  base=${WINE_TEMPLATE_DIR:-${TMPDIR:-/tmp}/winebench-prefix-$(id -u)}
  # A new Wine (another version or wine.inf) gets a new template; so does a win64
  # prefix once 32-bit Wine is there (it then sets up the 32-bit side too).
  stamp=$("$bin" --version 2>/dev/null)-$(stat -c %Y /usr/share/wine/wine.inf 2>/dev/null)
  [ "$arch" = win64 ] && [ -x "$WINE32_BIN" ] && stamp+=-wow64
  tpl=$base/$arch-${stamp//[^A-Za-z0-9.-]/_}
  if [ ! -d "$tpl/prefix" ]; then
    mkdir -p "$base" || return 1
    (
      flock -w "$WINE_BOOT_TIMEOUT" 9 || { wine_log "the $arch template is locked by another boot"; exit 1; }
      [ -d "$tpl/prefix" ] && exit 0
      tmp=$(mktemp -d "$base/.boot-$arch.XXXXXX") || exit 1
      if ! wine_boot "$tmp/prefix" "$arch" "$tmp/boot.log"; then
        cat "$tmp/boot.log" >&2
        rm -rf "$tmp"
        exit 1
      fi
      wine_server_dir_remove "$tmp/prefix"
      rm -rf "$base/$arch"-*  # an older Wine's
      mv -T "$tmp" "$tpl"
    ) 9>"$base/$arch.lock" || return 1
  fi
  echo "$tpl"
}

# The prefix is a copy of the architecture's template (WINE_PREFIX_TEMPLATE=0: a boot
# of its own), served by one persistent wineserver for the test: driver hosts and
# caches live until wine_teardown.
wine_setup() {
  local name=${1:-winebench} arch=${2:-win64} why tpl how=booted
  if ! why=$(wine_arch_ok "$arch"); then
    wine_log "$why"
    return 1
  fi
  WINE_ARCH=$arch
  WINE_BIN=$(wine_loader_for "$arch")
  WINE_TMP=$(mktemp -d "${TMPDIR:-/tmp}/$name-$arch.XXXXXX") || return 1
  export WINEPREFIX="$WINE_TMP/prefix"
  export WINEARCH=$arch
  export WINELOADER="$WINE_BIN"
  export WINESERVER="$WINE_SERVER_BIN"
  # No menu entries on the Linux side for a program group (they would outlive the prefix).
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEDEBUG=${WINEDEBUG:--all}
  trap wine_teardown EXIT
  local t0=$SECONDS
  if [ "${WINE_PREFIX_TEMPLATE:-1}" != 0 ] && tpl=$(wine_template "$arch") &&
    cp -a "$tpl/prefix" "$WINEPREFIX"; then
    how="copied from $tpl"
  else
    rm -rf "$WINEPREFIX"
    wine_boot "$WINEPREFIX" "$arch" "$WINE_TMP/boot.log" || return 1
  fi
  timeout 30 "$WINESERVER" -p || { wine_log "wineserver did not start"; return 1; }
  wine_log "$arch prefix ready in $((SECONDS - t0)) s ($how): $WINEPREFIX"
}

wine_run() {
  local secs=$1
  shift
  timeout --kill-after=5 "$secs" "$WINE_BIN" "$@"
}

wine_winpath() {
  local p
  p=$(readlink -f "$1")
  echo "Z:${p//\//\\}"
}

# Imports a .reg file's text (given on standard input) into the running prefix.
wine_reg_import() {
  local f
  f=$(mktemp "$WINE_TMP/import.XXXXXX.reg")
  { printf 'REGEDIT4\r\n\r\n'; sed 's/$/\r/'; } >"$f"
  wine_run 60 regedit /S "$(wine_winpath "$f")" </dev/null >/dev/null 2>&1
}

wine_gui() {
  if [ -z "${WINE_TMP:-}" ] || [ ! -d "${WINEPREFIX:-}" ]; then
    wine_log "wine_gui: call wine_setup first"
    return 1
  fi
  if [ -z "${WINE_XVFB_PID:-}" ]; then
    if ! command -v Xvfb >/dev/null; then
      wine_log "wine_gui: Xvfb is not installed"
      return 1
    fi
    # Xvfb takes the first display number that no lock file claims and writes it.
    local numfile=$WINE_TMP/xvfb.display k
    : >"$numfile"
    Xvfb -displayfd 3 -screen 0 "${WINE_GUI_SCREEN:-1024x768x24}" -nolisten tcp -noreset \
      3>"$numfile" </dev/null >"$WINE_TMP/xvfb.log" 2>&1 &
    WINE_XVFB_PID=$!
    for ((k = 0; k < 100; k++)); do
      grep -q '^[0-9]' "$numfile" 2>/dev/null && break
      kill -0 "$WINE_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    if ! grep -q '^[0-9]' "$numfile"; then
      wine_log "wine_gui: Xvfb did not start (log: $WINE_TMP/xvfb.log)"
      kill "$WINE_XVFB_PID" 2>/dev/null
      WINE_XVFB_PID=
      return 1
    fi
    export DISPLAY=":$(head -n1 "$numfile")"
  fi
  # Wine here does not read the system's Wine font folder: without these, "MS Sans
  # Serif" falls back to another face and dialog-unit sizes change.
  if [ -d "$WINE_FONT_DIR" ]; then
    cp -f "$WINE_FONT_DIR"/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
  else
    wine_log "wine_gui: $WINE_FONT_DIR is missing (Debian package fonts-wine); dialog sizes will differ"
  fi
  # Without a window manager Wine draws the captions itself.
  printf '%s\n' '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' | wine_reg_import ||
    { wine_log "wine_gui: the X11 Driver settings could not be written"; return 1; }
  wine_log "wine_gui: DISPLAY=$DISPLAY"
}

# Compiles (once, kept in WINE_LOCALE_DIR) and selects the Chinese locale.
wine_gui_lang() {
  local lang=$1 charmap dir tmpd
  case $lang in
    zh_TW) charmap=BIG5 ;;
    zh_CN) charmap=GBK ;;
    *) wine_log "wine_gui_lang: unknown language '$lang' (zh_TW or zh_CN)"; return 1 ;;
  esac
  if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX/drive_c/windows/Fonts" ]; then
    wine_log "wine_gui_lang: call wine_setup and wine_gui first"
    return 1
  fi
  dir=${WINE_LOCALE_DIR:-${TMPDIR:-/tmp}/winebench-locale-$(id -u)}
  if [ ! -f "$dir/$lang.$charmap/LC_CTYPE" ]; then
    mkdir -p "$dir" || return 1
    # Built aside and renamed, so two scripts building at once never see half a locale.
    tmpd=$(mktemp -d "$dir/.build.XXXXXX") || return 1
    timeout 120 localedef -c -f "$charmap" -i "$lang" "$tmpd/$lang.$charmap" >"$tmpd/log" 2>&1
    if [ ! -f "$tmpd/$lang.$charmap/LC_CTYPE" ]; then
      wine_log "wine_gui_lang: localedef $lang.$charmap failed: $(tail -n1 "$tmpd/log")"
      rm -rf "$tmpd"
      return 1
    fi
    mv -T "$tmpd/$lang.$charmap" "$dir/$lang.$charmap" 2>/dev/null || true
    rm -rf "$tmpd"
  fi
  # wine_teardown puts the caller's locale back.
  if [ -z "${WINE_SAVED_LOCALE+set}" ]; then
    WINE_SAVED_LOCALE=$(declare -p LANG LOCPATH LC_ALL LC_CTYPE LC_MESSAGES 2>/dev/null)
  fi
  export LOCPATH=$dir
  export LANG=$lang.$charmap
  unset LC_ALL LC_CTYPE LC_MESSAGES
  # Substitutes do not apply to a face that exists: take Wine's MS Sans Serif out.
  rm -f "$WINEPREFIX"/drive_c/windows/Fonts/sse*.fon "$WINEPREFIX"/drive_c/windows/Fonts/ms_sans_serif.ttf
  if ! fc-list 2>/dev/null | grep -q 'WenQuanYi Micro Hei'; then
    wine_log "wine_gui_lang: WenQuanYi Micro Hei is not installed (Debian package fonts-wqy-microhei)"
  fi
  printf '%s\n' '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]' \
    '"MS Sans Serif"="WenQuanYi Micro Hei"' '"MS Shell Dlg"="WenQuanYi Micro Hei"' | wine_reg_import ||
    { wine_log "wine_gui_lang: the font substitutes could not be written"; return 1; }
  wine_log "wine_gui_lang: LANG=$LANG"
}

wine_shot() {
  local file=$1
  if [ -z "${DISPLAY:-}" ] || [ -z "${WINE_XVFB_PID:-}" ]; then
    wine_log "wine_shot: no display (call wine_gui first)"
    return 1
  fi
  mkdir -p "$(dirname "$file")"
  timeout 30 import -display "$DISPLAY" -window root "png:$file" </dev/null
}

wine_teardown() {
  local rc=$?
  trap - EXIT
  if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX:-}" ]; then
    timeout 30 "$WINE_SERVER_BIN" -k 2>/dev/null || true
    timeout 30 "$WINE_SERVER_BIN" -w 2>/dev/null || true
    wine_server_dir_remove "$WINEPREFIX"
  fi
  if [ -n "${WINE_XVFB_PID:-}" ]; then
    kill "$WINE_XVFB_PID" 2>/dev/null
    wait "$WINE_XVFB_PID" 2>/dev/null
    WINE_XVFB_PID=
  fi
  if [ -n "${WINE_SAVED_LOCALE+set}" ]; then
    unset LANG LOCPATH LC_ALL LC_CTYPE LC_MESSAGES
    eval "${WINE_SAVED_LOCALE//declare /declare -g }"  # globals, not locals of this function
    unset WINE_SAVED_LOCALE
  fi
  if [ -n "${WINE_TMP:-}" ] && [ -d "$WINE_TMP" ]; then
    if [ "${WINE_KEEP_PREFIX:-0}" = 1 ]; then
      wine_log "kept $WINE_TMP"
    else
      rm -rf "$WINE_TMP"
    fi
  fi
  WINE_TMP=
  return $rc
}

# wine_compare NAME EXE PASS_TEXT: a fresh prefix (of BENCH_ARCH, default win64), then
# EXE run with a work folder as its argument. EXE compares something native with what
# Wine's Windows does and ends with "<exe>: N passed, M failed"; its DIFF lines and that
# summary are shown. Exits the script: 0 when the summary says no failure, else 1.
wine_compare() {
  local name=$1 exe=$2 pass_text=$3 prog rc=0 summary arch=${BENCH_ARCH:-win64} label
  label="test-$name ($arch)"
  prog=$(basename "$exe" .exe)
  if [ ! -f "$exe" ]; then
    echo "$label: $exe is missing (build the $arch preset first)" >&2
    exit 1
  fi
  wine_setup "$name" "$arch" 2>/dev/null || { echo "$label: the Wine prefix could not be made"; exit 1; }
  mkdir -p "$WINE_TMP/files"
  wine_run 120 "$exe" "$(wine_winpath "$WINE_TMP/files")" >"$WINE_TMP/out.txt" 2>"$WINE_TMP/err.txt" </dev/null || rc=$?
  tr -d '\r' <"$WINE_TMP/out.txt" >"$WINE_TMP/out-lf.txt"
  summary=$(grep -E "^$prog: [0-9]+ passed, [0-9]+ failed\$" "$WINE_TMP/out-lf.txt" || true)
  if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    echo "$label: $prog timed out"
    rc=1
  elif [ -z "$summary" ]; then
    echo "$label: $prog gave no summary (exit code $rc)"
    sed -n '1,20p' "$WINE_TMP/err.txt"
    rc=1
  fi
  grep '^DIFF' "$WINE_TMP/out-lf.txt" || true
  [ -n "$summary" ] && echo "$summary"
  if [ "$rc" -ne 0 ]; then
    echo "$label: FAILED"
    exit 1
  fi
  echo "$label: $pass_text"
  exit 0
}
