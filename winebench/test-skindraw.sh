#!/usr/bin/env bash
# Runs winebench/drawcompare under wine64: BmpImage drawn through StretchDIBits
# must give the same pixels as the native canvas that the native tests inspect.
# Exits non-zero on any difference. Needs the win64 build (build/win64, or the
# folder given as the first argument).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/win64}
exe=$build/winebench/drawcompare/drawcompare.exe
if [ ! -f "$exe" ]; then
  echo "test-skindraw: $exe is missing (build the win64 preset first)" >&2
  exit 1
fi

# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
wine_setup skindraw

work="$WINE_TMP/files"
mkdir -p "$work"
rc=0
wine_run 120 "$exe" "$(wine_winpath "$work")" >"$WINE_TMP/out.txt" 2>"$WINE_TMP/err.txt" || rc=$?
tr -d '\r' <"$WINE_TMP/out.txt" >"$WINE_TMP/out-lf.txt"

summary=$(grep -E '^drawcompare: [0-9]+ passed, [0-9]+ failed$' "$WINE_TMP/out-lf.txt" || true)
if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
  echo "test-skindraw: drawcompare timed out"
  rc=1
elif [ -z "$summary" ]; then
  echo "test-skindraw: drawcompare gave no summary (exit code $rc)"
  sed -n '1,20p' "$WINE_TMP/err.txt"
  rc=1
fi
grep '^DIFF' "$WINE_TMP/out-lf.txt" || true
[ -n "$summary" ] && echo "$summary"
if [ "$rc" -ne 0 ]; then
  echo "test-skindraw: FAILED"
  exit 1
fi
echo "test-skindraw: the native canvas draws as StretchDIBits does"
