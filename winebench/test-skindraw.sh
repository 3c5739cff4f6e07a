#!/usr/bin/env bash
# Runs winebench/drawcompare under wine64: BmpImage drawn through StretchDIBits
# must give the same pixels as the native canvas that the native tests inspect.
# Exits non-zero on any difference. Needs the win64 build (build/win64, or the
# folder given as the first argument).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/win64}
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
wine_compare skindraw "$build/winebench/drawcompare/drawcompare.exe" \
  "the native canvas draws as StretchDIBits does"
