# Wine prefix helpers for the Wine test scripts; source this file.
#
#   wine_setup [NAME]    fresh 64-bit prefix under a new temp folder, persistent wineserver
#   wine_run SECS CMD..  runs CMD (a Windows program and its arguments) under wine64,
#                        time-boxed; its exit code is returned (124 on time-out)
#   wine_winpath PATH    the Windows form (Z:\...) of a Linux path
#   wine_teardown        stops the wineserver and removes the temp folder
#
# wine_setup installs an EXIT trap that calls wine_teardown; a caller that needs its
# own EXIT trap should call wine_teardown from it.
#
# Settings (environment, optional): WINE_BOOT_TIMEOUT (s, default 120),
# WINE_KEEP_PREFIX=1 keeps the temp folder for inspection.

WINE_BIN=${WINE_BIN:-/usr/lib/wine/wine64}
WINE_SERVER_BIN=${WINE_SERVER_BIN:-/usr/lib/wine/wineserver64}
WINE_BOOT_TIMEOUT=${WINE_BOOT_TIMEOUT:-120}

wine_log() { echo "wine-env: $*" >&2; }

wine_setup() {
  local name=${1:-winebench}
  if [ ! -x "$WINE_BIN" ] || [ ! -x "$WINE_SERVER_BIN" ]; then
    wine_log "wine64 is not installed ($WINE_BIN)"
    return 1
  fi
  WINE_TMP=$(mktemp -d "${TMPDIR:-/tmp}/$name.XXXXXX") || return 1
  export WINEPREFIX="$WINE_TMP/prefix"
  export WINEARCH=win64
  export WINELOADER="$WINE_BIN"
  export WINESERVER="$WINE_SERVER_BIN"
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEDEBUG=${WINEDEBUG:--all}
  trap wine_teardown EXIT
  mkdir -p "$WINEPREFIX"
  local t0=$SECONDS
  if ! timeout "$WINE_BOOT_TIMEOUT" "$WINE_BIN" wineboot -i >"$WINE_TMP/boot.log" 2>&1; then
    wine_log "wineboot failed or timed out after $((SECONDS - t0)) s (log: $WINE_TMP/boot.log)"
    return 1
  fi
  # Let the boot finish (registry written, boot processes ended), then keep one
  # persistent server for the test: driver hosts and caches live until wine_teardown.
  if ! timeout "$WINE_BOOT_TIMEOUT" "$WINESERVER" -w; then
    wine_log "wineserver did not settle after the boot"
    return 1
  fi
  timeout 30 "$WINESERVER" -p || { wine_log "wineserver did not start"; return 1; }
  wine_log "prefix ready in $((SECONDS - t0)) s: $WINEPREFIX"
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

wine_teardown() {
  local rc=$?
  trap - EXIT
  if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX:-}" ]; then
    timeout 30 "$WINE_SERVER_BIN" -k 2>/dev/null || true
    timeout 30 "$WINE_SERVER_BIN" -w 2>/dev/null || true
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

# wine_compare NAME EXE PASS_TEXT: a fresh prefix, then EXE run with a work folder
# as its argument. EXE compares something native with what Wine's Windows does and
# ends with "<exe>: N passed, M failed"; its DIFF lines and that summary are shown.
# Exits the script: 0 when the summary says no failure, else 1.
wine_compare() {
  local name=$1 exe=$2 pass_text=$3 prog rc=0 summary
  prog=$(basename "$exe" .exe)
  if [ ! -f "$exe" ]; then
    echo "test-$name: $exe is missing (build the win64 preset first)" >&2
    exit 1
  fi
  wine_setup "$name" || exit 1
  mkdir -p "$WINE_TMP/files"
  wine_run 120 "$exe" "$(wine_winpath "$WINE_TMP/files")" >"$WINE_TMP/out.txt" 2>"$WINE_TMP/err.txt" || rc=$?
  tr -d '\r' <"$WINE_TMP/out.txt" >"$WINE_TMP/out-lf.txt"
  summary=$(grep -E "^$prog: [0-9]+ passed, [0-9]+ failed\$" "$WINE_TMP/out-lf.txt" || true)
  if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    echo "test-$name: $prog timed out"
    rc=1
  elif [ -z "$summary" ]; then
    echo "test-$name: $prog gave no summary (exit code $rc)"
    sed -n '1,20p' "$WINE_TMP/err.txt"
    rc=1
  fi
  grep '^DIFF' "$WINE_TMP/out-lf.txt" || true
  [ -n "$summary" ] && echo "$summary"
  if [ "$rc" -ne 0 ]; then
    echo "test-$name: FAILED"
    exit 1
  fi
  echo "test-$name: $pass_text"
  exit 0
}
