#!/usr/bin/env bash
# Dravick.sys on Wine's kernel, installed from package/2000xp/Dravila.inf for the
# device root\DRAVLINE, with a test-only stand-in for the mouse class driver
# (winebench/dravbench: DravBench.sys and its checker dravck.exe).
#
#   winebench/test-dravick.sh [BUILD_DIR]
#
# Without BUILD_DIR: the i686 build (build/win32) in a win32 prefix, then the x86_64
# build (build/win64) in a win64 prefix, with the same checks; with it, that build only.
#
# Wine 8 loads no filter drivers, so the stand-in cannot sit above Dravick as the
# class's upper filter: it is the bus of the root\DRAVLINE device instead, Wine's
# PnP manager installs Dravick on that device from the staged INF (in the bench's
# process), and the stand-in sends the class driver's requests to the top of the
# stack. A touch at the frame cannot reach Dravick under Wine 8: its
# IoRegisterPlugPlayNotification and IoGetDeviceObjectPointer are stubs, so no
# consumer driver can find and open Zelko (docs/wine.md); the bench probes both
# and reports them. Prints PASS/FAIL/SKIP lines; exits non-zero on a failed check;
# SKIP with the reason where an architecture cannot run here.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
# shellcheck source=bench-lib.sh
source "$here/bench-lib.sh"
bench_builds "$0" "${1:-}"
build=$(cd "$1" 2>/dev/null && pwd) || build=$1

inf=$here/../package/2000xp/Dravila.inf
driver=$build/driver/usb/kernal_driver/2kService/Dravick.sys
bench_sys=$build/winebench/dravbench/DravBench.sys
bench_inf=$build/winebench/dravbench/dravbench.inf
dravck=$build/winebench/dravbench/dravck.exe
bench_require "$inf" "$driver" "$bench_sys" "$bench_inf" "$dravck"

bench_open dravick
ck() { run 30 "$dravck" "$@" | paste -sd';'; }
# One field of a "state ..." line.
field() { echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }

if ! wine_setup dravick "$BENCH_ARCH" >>"$log" 2>&1; then
  trap bench_finish EXIT
  check prefix.create ok failed
  exit 1
fi
trap bench_finish EXIT

pkg=$WINE_TMP/package bench=$WINE_TMP/bench
mkdir -p "$pkg" "$bench"
cp "$inf" "$driver" "$pkg/"
cp "$bench_sys" "$bench_inf" "$bench/"

# --- install: Dravila.inf staged, then the bus; Wine installs Dravick on its child.
check install.stage "stage ok" "$(ck stage "$(wine_winpath "$pkg/Dravila.inf")")"
check install.bus "root ok" "$(ck root 'Root\DravBench' "$(wine_winpath "$bench/dravbench.inf")")"
check install.attached "wait-attached ok" "$(ck --wait 20000 wait-attached 30000)"
state=$(ck state)
check start.stack "present=1 started=1 attached=1 driver=\\Driver\\Dravick starts=1" \
  "$(for f in present started attached driver starts; do printf '%s=%s ' $f "$(field "$state" $f)"; done | sed 's/ $//')"
service=$(run 30 reg query 'HKLM\System\CurrentControlSet\Services\Dravick' | awk 'NF >= 3 { print $1 "=" $3 }' |
  grep -E '^(Type|Start|Group|ImagePath)=' | sort | paste -sd' ')
check install.service "Group=Pointer ImagePath=C:\\windows\\system32\\drivers\\Dravick.sys Start=0x3 Type=0x1" "$service"

# --- the mouse class driver's requests, with any buffer length
check class.attributes-short "attributes 8 status=0xC0000023 bytes=0" "$(ck attributes 8)"
check class.attributes "attributes 12 status=0x00000000 bytes=12 id=0x28 buttons=0 rate=0 queue=0" "$(ck attributes 12)"
check class.attributes-long "attributes 16 status=0x00000000 bytes=12 id=0x28 buttons=0 rate=0 queue=0" \
  "$(ck attributes 16)"
check class.other-requests \
  "internal 0x000F0403 status=0xC0000002;internal 0x000F0803 status=0xC00000BB;internal 0x000F1003 status=0xC00000BB;internal 0x000F0007 status=0xC0000010" \
  "$(ck internal 0x000F0403 internal 0x000F0803 internal 0x000F1003 internal 0x000F0007)"
check class.connect "connect status=0x00000000;connect status=0xC0000043" "$(ck connect connect)"
check class.open-close "create status=0x00000000;close status=0x00000000;create status=0x00000000" \
  "$(ck create close create)"

# --- what a consumer of Zelko's interface needs from the kernel: on Wine 8 both are stubs,
# so no touch can reach Dravick and the service callback stays silent.
state=$(ck state)
check wine.consumer-binding "getdeviceobjectpointer=stub notification=stub" \
  "getdeviceobjectpointer=$(field "$state" getdeviceobjectpointer) notification=$(field "$state" notification)"
check class.no-records "records count=0" "$(ck records)"
results+=("SKIP event-road (a touch at the frame to MOUSE_INPUT_DATA): Wine 8 stubs IoRegisterPlugPlayNotification and IoGetDeviceObjectPointer")

# --- the device goes: Dravick ends surprise removal itself, passes the removal down and detaches
check remove.unplug "unplug ok;wait-removed ok" "$(ck unplug wait-removed 20000)"
state=$(ck state)
check remove.requests "present=0 attached=0 surprise=0 removes=1" \
  "$(for f in present attached surprise removes; do printf '%s=%s ' $f "$(field "$state" $f)"; done | sed 's/ $//')"
check remove.bus "remove ok count=1" "$(ck remove 'Root\DravBench')"
check remove.gone "open error 2" "$(ck state)"

exit 0
