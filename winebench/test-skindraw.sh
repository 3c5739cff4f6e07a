#!/usr/bin/env bash
# Runs winebench/drawcompare under Wine: BmpImage drawn through StretchDIBits must give
# the same pixels as the native canvas that the native tests inspect. Exits non-zero on
# any difference.
#
#   winebench/test-skindraw.sh [BUILD_DIR]
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
wine_compare skindraw "$1/winebench/drawcompare/drawcompare.exe" \
  "the native canvas draws as StretchDIBits does"
