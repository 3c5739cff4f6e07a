#!/usr/bin/env bash
# Runs winebench/inicompare under Wine: the native initialisation-file reader that the
# programs use off Windows must give GetPrivateProfileStringA's results. Exits non-zero
# on any difference.
#
#   winebench/test-inifile.sh [BUILD_DIR]
#
# Without BUILD_DIR: the i686 build (build/win32) in a win32 prefix, then the x86_64
# build (build/win64) in a win64 prefix; with it, that build only.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
# shellcheck source=bench-lib.sh
source "$here/bench-lib.sh"
bench_builds "$0" "${1:-}"
wine_compare inifile "$1/winebench/inicompare/inicompare.exe" "the native reader matches GetPrivateProfileStringA"
