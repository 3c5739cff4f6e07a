#!/usr/bin/env bash
# Runs winebench/inicompare under wine64: the native initialisation-file reader
# that the programs use off Windows must give GetPrivateProfileStringA's results.
# Exits non-zero on any difference. Needs the win64 build (build/win64, or the
# folder given as the first argument).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/win64}
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
wine_compare inifile "$build/winebench/inicompare/inicompare.exe" \
  "the native reader matches GetPrivateProfileStringA"
