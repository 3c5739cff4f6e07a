#!/usr/bin/env bash
# Zelko.sys on Wine's kernel: installed from package/2000xp/zelkron2kxp.inf for the touch
# frame that the test bench's virtual USB bus (ZkVusb.sys) plays, then driven through
# its control interface (zkprobe.exe, on Pointwell's device link) while vusbctl.exe
# injects reports, read failures and port states and reads what the bus has seen.
#
#   winebench/test-zelko.sh [--standin] [BUILD_DIR]
#
# Without BUILD_DIR: the i686 build (build/win32) in a win32 prefix, then the x86_64
# build (build/win64) in a win64 prefix, with the same checks; with it, that build only.
# --standin installs winebench/standin (raw reports only) in Zelko's place, to check
# the bench itself; the checks that need Zelko's mapping, settings or consumer reads
# are then skipped. ZELKO_SYS=path installs that file as Zelko.sys instead of the build's
# (give the BUILD_DIR of its architecture).
#
# Each check is a named step with an expected value; the list of PASS/FAIL/SKIP lines
# comes at the end. Exits non-zero on any failed check; the log (every command and its
# output) is kept on failure and its path printed. Where an architecture cannot run
# (no 32-bit Wine, no IA32 emulation: "Exec format error"), a SKIP line says why.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
standin=0
if [ "${1:-}" = "--standin" ]; then
  standin=1
  shift
fi
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
# shellcheck source=bench-lib.sh
source "$here/bench-lib.sh"
if [ "$standin" = 1 ]; then bench_builds "$0" "${1:-}" --standin; else bench_builds "$0" "${1:-}"; fi
build=$(cd "$1" 2>/dev/null && pwd) || build=$1
package_inf=$here/../package/2000xp/zelkron2kxp.inf

if [ "$standin" = 1 ]; then
  driver=$build/winebench/standin/ZkStandin.sys
else
  driver=${ZELKO_SYS:-$build/driver/usb/kernal_driver/usb/Zelko.sys}
fi
bus_sys=$build/winebench/vusb/ZkVusb.sys
bus_inf=$build/winebench/vusb/zkvusb.inf
vusbctl=$build/winebench/vusb/vusbctl.exe
probe=$build/winebench/zelkoprobe/zkprobe.exe
devinst=$build/winebench/devinst/devinst.exe
bench_require "$driver" "$bus_sys" "$bus_inf" "$vusbctl" "$probe" "$devinst" "$package_inf"

BENCH_BUDGET=${TEST_ZELKO_BUDGET:-${BENCH_BUDGET:-150}}
bench_open zelko
[ "$standin" = 1 ] && bench_note=" (stand-in driver)"

zelko_only() {  # zelko_only NAME... : true unless the stand-in runs (then the checks are skipped)
  if [ "$standin" = 1 ]; then
    local name
    for name in "$@"; do skip "$name" "stand-in driver"; done
    return 1
  fi
  return 0
}

bus() { run 30 "$vusbctl" "$@"; }
probe() { run 30 "$probe" "$@"; }

# The probe's event lines as "x,y,code" joined by ";" (any other line as it is).
events() {
  probe "$@" | sed -E 's/^event ok reserved=0 x=([0-9]+) y=([0-9]+) code=([0-9]+) bytes=16$/\1,\2,\3/' | paste -sd';'
}
# N reads: "event event ..."
reads() { local k a=(); for ((k = 0; k < $1; k++)); do a+=(event); done; echo "${a[@]}"; }

counters() { bus counters | grep '^counters ' | head -n1; }
# Selected counters of one reading, "name=value ..." in the order asked.
pick() {  # pick "COUNTERS-LINE" NAME...
  local line=$1 name out=()
  shift
  for name in "$@"; do
    out+=("$name=$(echo "$line" | tr ' ' '\n' | sed -n "s/^$name=//p")")
  done
  echo "${out[*]}"
}
value() { echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }

# ---------------------------------------------------------------------------
# Settings for the tool's key: tables X = 100 + 7 i, Y = 60000 - 11 i.

table_hex() {  # table_hex BASE STEP -> 10000 bytes as "lo,hi,..." (lower-case hex)
  awk -v base="$1" -v step="$2" 'BEGIN {
    for (i = 0; i < 5000; i++) { v = base + step * i; printf("%s%02x,%02x", i ? "," : "", v % 256, int(v / 256)) } }'
}
tx() { echo $((100 + 7 * $1)); }
ty() { echo $((60000 - 11 * $1)); }

write_settings_reg() {  # REG-FILE
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltran\\Pointwell]\r\n'
    printf '"XArray"=hex:%s\r\n' "$(table_hex 100 7)"
    printf '"YArray"=hex:%s\r\n' "$(table_hex 60000 -11)"
    # REG_SZ as the tool stores it: UTF-16 text without the terminating zero.
    printf '"doneMode"=hex(1):32,00\r\n'
    printf '"changexy"=hex(1):30,00\r\n'
    printf '"disabledev"=hex(1):30,00\r\n'
    printf '"moveSlider"=hex(1):30,00\r\n'
  } >"$1"
}

# "name=TYPE:value" for the six values of a key as reg query shows them; the tables
# as "match" when they hold the tables written above.
read_settings_key() {  # KEY
  local key=$1 out=() name line type data
  local xhex yhex
  xhex=$(table_hex 100 7 | tr -d ',' | tr 'a-f' 'A-F')
  yhex=$(table_hex 60000 -11 | tr -d ',' | tr 'a-f' 'A-F')
  local listing
  listing=$(run 30 reg query "$key")
  for name in XArray YArray doneMode changexy disabledev moveSlider; do
    line=$(echo "$listing" | awk -v n="$name" 'tolower($1) == tolower(n) { print; exit }')
    type=$(echo "$line" | awk '{ print $2 }')
    data=$(echo "$line" | awk '{ print $3 }')
    if [ "$name" = XArray ] || [ "$name" = YArray ]; then
      local want=$xhex
      [ "$name" = YArray ] && want=$yhex
      if [ "$data" = "$want" ]; then data=match; elif [ -n "$data" ]; then data="differs(${#data} hex digits)"; fi
    fi
    out+=("$name=${type:-missing}:$data")
  done
  echo "${out[*]}"
}

# ---------------------------------------------------------------------------

# shellcheck source=zelko-install.sh
source "$here/zelko-install.sh"
say "build $build ($BENCH_ARCH), driver $driver"
if ! wine_setup zelko "$BENCH_ARCH" >>"$log" 2>&1; then
  trap bench_finish EXIT
  check prefix.create "ok" "failed"
  exit 1
fi
trap bench_finish EXIT
say "prefix ready"

# --- install (zelko-install.sh): the INF staged first, so that the PnP manager finds it
# when the frame appears; then the bus, and Zelko's first read.
t0=$SECONDS
zelko_install run "$package_inf" "$driver" "$bus_sys" "$bus_inf" "$devinst" "$vusbctl"
check install.stage-inf "stage ok" "$(echo "$ZELKO_INSTALL_STAGE" | awk '{ print $1, $2 }')"
check install.bus "root ok" "$(echo "$ZELKO_INSTALL_ROOT" | awk '{ print $1, $2 }')"
check start.read-held "wait held=1 ok" "$ZELKO_INSTALL_HELD"
say "bus installed and Zelko reading after $((SECONDS - t0)) s"
c=$(counters)
check start.usb-requests "selects=1 configdesc=2 devdesc=1 class=1 lastclass=2 bad=0" \
  "$(pick "$c" selects configdesc devdesc class lastclass bad)"
check start.read-urb "lastflags=3 lastlength=8" "$(pick "$c" lastflags lastlength)"
out=$(run 30 reg query 'HKLM\System\CurrentControlSet\Services\Zelko' /v ImagePath)
check start.service "ImagePath REG_SZ C:\\windows\\system32\\drivers\\Zelko.sys" \
  "$(echo "$out" | awk '$1 == "ImagePath" { print $1, $2, $3 }')"

# --- control interface
check event.empty "111,111,111" "$(events --wait 10000 event)"
check event.bad-length "event error=87" "$(probe event 20)"
check command.bad-length "command 4 error=87" "$(probe command 4 15)"
check command.unknown "command 7 ok" "$(probe command 7)"

# --- raw mode (calibration): raw points with the touch status as code
check raw.on "command 4 ok" "$(probe command 4)"
bus touch 81 1234 2345 touch 82 1240 2350 touch 84 1250 2360 >/dev/null
check raw.events "1234,2345,129;1240,2350,130;1250,2360,132;111,111,111" "$(events $(reads 4))"
c=$(counters)
check raw.read-renewed "held=1 delivered=3 queued=0" "$(pick "$c" held delivered queued)"
# A 3-byte transfer: bytes 3..7 stay from the last report (x high 0x04, y 2360, status 0x84).
bus report 00 00 0A >/dev/null
check raw.short-transfer "1034,2360,132;111,111,111" "$(events $(reads 2))"

# --- mapped, no settings loaded: x * 40, y * 54; mode 1 (click at lift)
if zelko_only raw.off mapped.down mapped.up; then
  check raw.off "command 5 ok" "$(probe command 5)"
  bus touch 81 800 600 >/dev/null
  check mapped.down "32000,32400,128;111,111,111" "$(events $(reads 2))"
  bus touch 84 800 600 >/dev/null
  check mapped.up "32000,32400,129;32000,32400,128;111,111,111" "$(events $(reads 3))"
fi

# --- settings: the tool's key, CMD_RELOAD, the driver's copy under its service key
if zelko_only settings.tool-key settings.reload settings.mapped settings.copy-key; then
  write_settings_reg "$WINE_TMP/settings.reg"
  out=$(run 60 reg import "$(wine_winpath "$WINE_TMP/settings.reg")")
  check settings.tool-key "XArray=REG_BINARY:match YArray=REG_BINARY:match doneMode=REG_SZ:2 changexy=REG_SZ:0 disabledev=REG_SZ:0 moveSlider=REG_SZ:0" \
    "$(read_settings_key 'HKLM\SOFTWARE\Veltran\Pointwell')"
  check settings.reload "command 6 ok" "$(probe command 6)"
  # doneMode 2 (click at touch-down): a down report queues (0x81) then (0x80).
  bus touch 81 800 600 >/dev/null
  check settings.mapped "$(tx 800),$(ty 600),129;$(tx 800),$(ty 600),128;111,111,111" "$(events $(reads 3))"
  bus touch 84 800 600 >/dev/null
  probe drain >/dev/null
  check settings.copy-key "XArray=REG_BINARY:match YArray=REG_BINARY:match doneMode=REG_SZ:2 changexy=REG_SZ:0 disabledev=REG_SZ:0 moveSlider=REG_SZ:0" \
    "$(read_settings_key 'HKLM\System\CurrentControlSet\Services\Zelko\Pointwell')"
fi

# --- a read failing with STATUS_DEVICE_DATA_ERROR: port reset (asynchronous, then once
# more synchronously), port status, and the read again. (The stand-in resets once.)
resets=2
[ "$standin" = 1 ] && resets=1
c=$(counters)
r0=$(value "$c" resets) q0=$(value "$c" portqueries) t0=$(value "$c" transfers)
bus fail C000009C >/dev/null
out=$(bus wait "resets>=$((r0 + resets))" 10000 wait "portqueries>=$((q0 + 1))" 10000 wait held=1 10000 | paste -sd' ')
check recover.after-data-error "wait resets>=$((r0 + resets)) ok wait portqueries>=$((q0 + 1)) ok wait held=1 ok" "$out"
c=$(counters)
check recover.requests "resets=+$resets portqueries=+1 transfers=+1 held=1" \
  "resets=+$(($(value "$c" resets) - r0)) portqueries=+$(($(value "$c" portqueries) - q0)) transfers=+$(($(value "$c" transfers) - t0)) held=$(value "$c" held)"
bus touch 81 100 200 >/dev/null
if [ "$standin" = 1 ]; then
  check recover.events "100,200,129;111,111,111" "$(events $(reads 2))"
else
  check recover.events "$(tx 100),$(ty 200),129;$(tx 100),$(ty 200),128;111,111,111" "$(events $(reads 3))"
fi
bus touch 84 100 200 >/dev/null
probe drain >/dev/null

# --- the same with the port reporting "not connected": the reads stay off
bus port off >/dev/null
c=$(counters)
r0=$(value "$c" resets) q0=$(value "$c" portqueries) t0=$(value "$c" transfers)
bus fail C000009C >/dev/null
bus wait "resets>=$((r0 + resets))" 10000 wait "portqueries>=$((q0 + 1))" 10000 sleep 500 >/dev/null
c=$(counters)
check recover.port-disconnected "resets=+$resets portqueries=+1 transfers=+0 held=0" \
  "resets=+$(($(value "$c" resets) - r0)) portqueries=+$(($(value "$c" portqueries) - q0)) transfers=+$(($(value "$c" transfers) - t0)) held=$(value "$c" held)"
bus port on >/dev/null

# --- the frame pulled out and plugged in again: surprise removal, removal, a new
# device that reads again (and loads its settings from its copy)
c=$(counters)
s0=$(value "$c" surprise) m0=$(value "$c" removes) st0=$(value "$c" starts)
out=$(bus unplug wait "removes>=$((m0 + 1))" 15000 | paste -sd' ')
check replug.unplug "unplug ok wait removes>=$((m0 + 1)) ok" "$out"
c=$(counters)
check replug.removal-requests "surprise=+1 removes=+1 present=0 configured=0" \
  "surprise=+$(($(value "$c" surprise) - s0)) removes=+$(($(value "$c" removes) - m0)) present=$(value "$c" present) configured=$(value "$c" configured)"
check replug.device-gone "open error=2" "$(probe event)"
out=$(bus plug wait held=1 15000 | paste -sd' ')
check replug.plug "plug ok wait held=1 ok" "$out"
c=$(counters)
check replug.started "starts=+1 configured=1" "starts=+$(($(value "$c" starts) - st0)) configured=$(value "$c" configured)"
if zelko_only replug.settings; then
  bus touch 81 800 600 >/dev/null
  check replug.settings "$(tx 800),$(ty 600),129;$(tx 800),$(ty 600),128;111,111,111" "$(events --wait 10000 $(reads 3))"
  bus touch 84 800 600 >/dev/null
  probe drain >/dev/null
fi

# --- a kernel consumer's read (the bus sends IOCTL_ZELKO_READ_EVENT to Zelko's device)
if zelko_only consumer.held consumer.event consumer.one-reader consumer.raw-held consumer.unplug; then
  bus consumer-read 10 >/dev/null
  c=$(counters)
  check consumer.held "creads=1 cheld=1" "$(pick "$c" creads cheld)"
  # Two events queued, one for the consumer (the oldest), one left for the tool.
  bus touch 81 800 600 >/dev/null
  c=$(counters)
  check consumer.event "cheld=0 cstatus=0 cbytes=5 ccode=129 cx=$(tx 800) cy=$(ty 600)" \
    "$(pick "$c" cheld cstatus cbytes ccode cx cy)"
  check consumer.one-reader "$(tx 800),$(ty 600),128;111,111,111" "$(events $(reads 2))"
  bus touch 84 800 600 >/dev/null
  probe drain >/dev/null
  # In raw mode held consumer reads stay held; the tool gets the raw points.
  probe command 4 >/dev/null
  bus consumer-read 10 touch 82 900 700 >/dev/null
  check consumer.raw-held "cheld=1;900,700,130;111,111,111" \
    "$(pick "$(counters)" cheld);$(events $(reads 2))"
  probe command 5 >/dev/null
  # Pulled out with the consumer's read held: it ends with STATUS_CANCELLED.
  c=$(counters)
  m0=$(value "$c" removes)
  out=$(bus unplug wait "removes>=$((m0 + 1))" 15000 | paste -sd' ')
  c=$(counters)
  check consumer.unplug "unplug ok wait removes>=$((m0 + 1)) ok cheld=0 cstatus=$((0xC0000120)) cbytes=0" \
    "$out $(pick "$c" cheld cstatus cbytes)"
  bus plug wait held=1 15000 >/dev/null
fi

# --- the bus removed while the frame's interrupt read (and a consumer read) are held
[ "$standin" = 0 ] && bus consumer-read 10 >/dev/null
c=$(counters)
check remove.reads-held "held=1 cheld=$((1 - standin))" "$(pick "$c" held cheld)"
t0=$SECONDS
out=$(run 60 "$devinst" remove 'Root\ZkVusb')
check remove.bus "remove ok count=1" "$out"
say "removal took $((SECONDS - t0)) s"
check remove.devices-gone "open error 2;open error=2" "$(bus counters);$(probe event)"

exit 0
