#!/usr/bin/env bash
# How a Wine bench script runs on both builds (winebench/bench-lib.sh, wine-env.sh),
# without Wine: stand-in loaders take the place of wine and wine64.
#   - both builds, i686 first, each with its build folder and architecture;
#   - a 32-bit loader that the kernel refuses ("Exec format error") or that is missing
#     gives a SKIP line with the reason, and the x86_64 run still goes;
#   - a failing build fails the whole run, also when the two run side by side, and the
#     side-by-side output keeps the order;
#   - a build folder given runs that build only, its architecture taken from its toolchain.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lib=$(cd "$here/../../winebench" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
rc=0
expect() {  # expect NAME EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then
    echo "ok $1"
  else
    printf 'FAIL %s\n  expected: %s\n  got:      %s\n' "$1" "$2" "$3"
    rc=1
  fi
}

# A build tree: build/win32 made by the i686 toolchain, build/win64 by x86_64.
mkdir -p "$tmp/tree/build/win32" "$tmp/tree/build/win64" "$tmp/tree/winebench" "$tmp/other/b"
echo 'CMAKE_C_COMPILER_AR:FILEPATH=/usr/bin/i686-w64-mingw32-gcc-ar' >"$tmp/tree/build/win32/CMakeCache.txt"
echo 'CMAKE_C_COMPILER_AR:FILEPATH=/usr/bin/x86_64-w64-mingw32-gcc-ar' >"$tmp/tree/build/win64/CMakeCache.txt"
cp "$tmp/tree/build/win32/CMakeCache.txt" "$tmp/other/b/"
# The bench, with an option of its own taken before the build folder (as test-zelko's
# --standin): says which build it got; FAIL_ARCH makes that build fail.
cat >"$tmp/tree/winebench/test-dummy.sh" <<SCRIPT
source "$lib/wine-env.sh"
source "$lib/bench-lib.sh"
opt=none
[ "\${1:-}" = --opt ] && { opt=given; shift; }
[ "\$opt" = given ] && bench_builds "\$0" "\${1:-}" --opt || bench_builds "\$0" "\${1:-}"
echo "ran \$BENCH_ARCH \$1 opt=\$opt"
[ "\$BENCH_ARCH" != "\${FAIL_ARCH:-}" ]
SCRIPT
printf '#!/bin/sh\necho wine-8.0\n' >"$tmp/wine-ok"
# What a kernel without IA32 emulation does with the 32-bit loader, shown with a
# program it cannot load anywhere here: the ELF header of a 32-bit ARM executable.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\050\000\001\000\000\000' >"$tmp/wine-badformat"
printf '\000\200\000\000\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\000\000\050\000\000\000\000\000' >>"$tmp/wine-badformat"
chmod +x "$tmp/wine-ok" "$tmp/wine-badformat"
export WINE_SERVER_BIN=$tmp/wine-ok WINE64_BIN=$tmp/wine-ok
run() { bash "$tmp/tree/winebench/test-dummy.sh" "$@" 2>&1; echo "exit $?"; }

out=$(WINE32_BIN=$tmp/wine-ok run --opt | paste -sd'|')
expect both-builds "ran win32 $tmp/tree/build/win32 opt=given|ran win64 $tmp/tree/build/win64 opt=given|exit 0" "$out"

out=$(WINE32_BIN=$tmp/wine-badformat run | paste -sd'|')
expect exec-format-error "SKIP test-dummy (win32): $tmp/wine-badformat cannot run here: cannot execute binary file: Exec format error|ran win64 $tmp/tree/build/win64 opt=none|exit 0" "$out"

out=$(WINE32_BIN=$tmp/none run | paste -sd'|')
expect no-wine32 "SKIP test-dummy (win32): 32-bit Wine is not installed ($tmp/none; Debian package wine32:i386)|ran win64 $tmp/tree/build/win64 opt=none|exit 0" "$out"

out=$(WINE32_BIN=$tmp/wine-ok FAIL_ARCH=win32 run | tail -n1)
expect failure-counts "exit 1" "$out"

out=$(WINE32_BIN=$tmp/wine-ok FAIL_ARCH=win64 WINE_BENCH_PARALLEL=1 run | paste -sd'|')
expect side-by-side "ran win32 $tmp/tree/build/win32 opt=none|ran win64 $tmp/tree/build/win64 opt=none|exit 1" "$out"

out=$(WINE32_BIN=$tmp/wine-ok run "$tmp/other/b" | paste -sd'|')
expect one-build "ran win32 $tmp/other/b opt=none|exit 0" "$out"
exit $rc
