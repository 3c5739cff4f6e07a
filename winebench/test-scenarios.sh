#!/usr/bin/env bash
# zelkosim's scenarios on both platforms, side by side. The simulated kernel is ours
# and can share our misunderstandings; Wine has its own kernel, PnP manager and usbd.
# Each scenario in zelkosim/scenarios/*.zs that uses only what the Wine bench can do
# runs twice:
#   - under Wine with zsrun (winebench/zsrun): the real Zelko.sys from
#     package/2000xp/zelkron2kxp.inf on the bench's virtual USB bus, installed as
#     test-zelko.sh installs it (zelko-install.sh);
#   - natively with zelkosim --consumer none (the simulated kernel).
# The two outputs must be equal, and equal to the scenario's X.out. A difference is
# printed side by side with a header naming the scenario and the columns.
#
#   winebench/test-scenarios.sh [WIN_BUILD [SIM_BUILD]]     (SIM_BUILD: build/sim)
#   SCENARIOS="tap raw" winebench/test-scenarios.sh          only these scenarios
#
# Without WIN_BUILD: the i686 build (build/win32) in a win32 prefix, then the x86_64
# build (build/win64) in a win64 prefix; with it, that build only.
#
# A scenario that needs what this platform cannot do (stop, start, sleep, wake) is
# skipped with zsrun's reason (docs/wine.md says why Wine cannot). Every scenario
# starts from the state zelkosim starts from: zsrun unplugs the frame (Wine removes
# Zelko's device; the driver stays loaded), deletes the tool's key and Zelko's copy and
# connects the port before its first line; the scenario's own plug brings a new device
# with an empty queue.
#
# One PASS/FAIL/SKIP line per scenario, then "N passed, M failed, K skipped". Exits
# non-zero on any failure; the log (every Wine command with zsrun's trace, Wine's
# errors from the driver host) is kept on failure and its path printed. Where an
# architecture cannot run here, or without the simulated build's zelkosim, a SKIP line
# says why.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
simbuild=$(cd "${2:-$root/build/sim}" 2>/dev/null && pwd) || simbuild=${2:-$root/build/sim}
scenario_dir=$root/zelkosim/scenarios
package_inf=$root/package/2000xp/zelkron2kxp.inf

zelkosim=$simbuild/zelkosim/zelkosim
if [ ! -x "$zelkosim" ]; then
  echo "SKIP test-scenarios: the simulated build's zelkosim is missing ($zelkosim; cmake --build --preset sim --target zelkosim)"
  exit 0
fi
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
# shellcheck source=bench-lib.sh
source "$here/bench-lib.sh"  # run (time-boxed Wine programs), bench_builds
bench_builds "$0" "${1:-}"
build=$(cd "$1" 2>/dev/null && pwd) || build=$1
label="test-scenarios ($BENCH_ARCH)"

driver=${ZELKO_SYS:-$build/driver/usb/kernal_driver/usb/Zelko.sys}
bus_sys=$build/winebench/vusb/ZkVusb.sys
bus_inf=$build/winebench/vusb/zkvusb.inf
vusbctl=$build/winebench/vusb/vusbctl.exe
devinst=$build/winebench/devinst/devinst.exe
zsrun=$build/winebench/zsrun/zsrun.exe
bench_require "$driver" "$bus_sys" "$bus_inf" "$vusbctl" "$devinst" "$zsrun" "$package_inf"

if [ -n "${SCENARIOS:-}" ]; then
  scenarios=()
  for n in $SCENARIOS; do scenarios+=("$scenario_dir/$n.zs"); done
else
  scenarios=("$scenario_dir"/*.zs)
fi

log=$(mktemp "${TMPDIR:-/tmp}/test-scenarios-$BENCH_ARCH.XXXXXX.log")
started=$SECONDS
passed=0 failed=0 skipped=0
say() { echo "[$((SECONDS - started))s] $*" >>"$log"; }

finish() {
  local rc=$?
  trap - EXIT
  say "teardown"
  wine_teardown >>"$log" 2>&1 || true
  echo "$label: $passed passed, $failed failed, $skipped skipped in $((SECONDS - started)) s"
  if [ "$failed" -gt 0 ] || [ "$rc" -ne 0 ]; then
    echo "$label: FAILED; log: $log"
    exit 1
  fi
  rm -f "$log"
  exit 0
}

budget=${TEST_SCENARIOS_BUDGET:-150}

pass() { passed=$((passed + 1)); echo "PASS $1"; }
skip() { skipped=$((skipped + 1)); echo "SKIP $1 ($2)"; }
fail() { failed=$((failed + 1)); echo "FAIL $1: $2"; }

side_by_side() {  # TITLE LEFT-NAME LEFT-FILE RIGHT-NAME RIGHT-FILE
  echo "---- $1: left $2, right $4"
  diff -y -W 160 --expand-tabs "$3" "$5"
  echo "----"
}

# ---------------------------------------------------------------------------

# shellcheck source=zelko-install.sh
source "$here/zelko-install.sh"
say "$BENCH_ARCH build $build, sim build $simbuild, driver $driver"
if ! wine_setup scenarios "$BENCH_ARCH" >>"$log" 2>&1; then
  trap finish EXIT
  fail prefix "the Wine prefix could not be made"
  exit 1
fi
trap finish EXIT
say "prefix ready"

if ! zelko_install run "$package_inf" "$driver" "$bus_sys" "$bus_inf" "$devinst" "$vusbctl"; then
  fail install "Zelko is not reading on the bench [$ZELKO_INSTALL_STAGE] [$ZELKO_INSTALL_ROOT] [$ZELKO_INSTALL_HELD]"
  exit 1
fi
say "Zelko installed and reading"

work=$WINE_TMP/scenarios
mkdir -p "$work"
for zs in "${scenarios[@]}"; do
  name=$(basename "$zs" .zs)
  expected=${zs%.zs}.out
  if [ ! -f "$zs" ] || [ ! -f "$expected" ]; then
    fail "$name" "no $name.zs with its $name.out"
    continue
  fi
  if [ $((SECONDS - started)) -ge "$budget" ]; then
    fail "$name" "not run: the time budget of $budget s is spent"
    continue
  fi
  # Wine: zsrun's trace (-v) and messages go to a file of their own, then the log.
  wine_out=$work/$name.wine wine_err=$work/$name.wine.err sim_out=$work/$name.sim
  say "scenario $name"
  rc=0
  wine_run 60 "$zsrun" -v "$(wine_winpath "$zs")" >"$wine_out.crlf" 2>"$wine_err" </dev/null || rc=$?
  tr -d '\r' <"$wine_out.crlf" >"$wine_out"
  tr -d '\r' <"$wine_err" >>"$log"
  say "zsrun exit code $rc"
  if [ "$rc" -eq 3 ]; then
    skip "$name" "$(tr -d '\r' <"$wine_err" | sed -n 's/^zsrun: //p' | head -n1)"
    continue
  fi
  src=0
  timeout 30 "$zelkosim" --consumer none "$zs" >"$sim_out" 2>"$sim_out.err" </dev/null || src=$?
  if [ "$rc" -ne 0 ]; then
    what="zsrun exit code $rc"
    [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ] && what="zsrun timed out after 60 s"
    fail "$name" "$what: $(tr -d '\r' <"$wine_err" | grep -v '^zsrun: line [0-9]* (' | grep -v '^zsrun: fresh' | tail -n1)"
    side_by_side "$name" "zelkosim (simulated kernel)" "$sim_out" "zsrun (Wine, Zelko.sys)" "$wine_out"
    continue
  fi
  if [ "$src" -ne 0 ]; then
    fail "$name" "zelkosim exit code $src: $(head -n1 "$sim_out.err")"
    continue
  fi
  if ! cmp -s "$sim_out" "$wine_out"; then
    fail "$name" "the platforms differ"
    side_by_side "$name" "zelkosim (simulated kernel)" "$sim_out" "zsrun (Wine, Zelko.sys)" "$wine_out"
    if ! cmp -s "$expected" "$sim_out"; then
      side_by_side "$name" "$name.out (expected)" "$expected" "zelkosim (simulated kernel)" "$sim_out"
    fi
    continue
  fi
  if ! cmp -s "$expected" "$sim_out"; then
    fail "$name" "both platforms agree, but not with $name.out"
    side_by_side "$name" "$name.out (expected)" "$expected" "both platforms" "$sim_out"
    continue
  fi
  pass "$name"
done

exit 0
