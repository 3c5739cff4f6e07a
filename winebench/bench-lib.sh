# Shared by the Wine bench scripts (source it after setting `here`): the log, the
# time-boxed program runs, and the named checks with their closing summary.
#
#   bench_open NAME        the log (kept on failure) and the clock
#   run SECS PROGRAM ARGS  a Wine program, time-boxed, output without CRs (copied to the log)
#   now_ms                 the wall clock in milliseconds
#   check NAME EXPECTED ACTUAL / skip NAME REASON
#   trap bench_finish EXIT the PASS/FAIL/SKIP list and the exit status
#   bench_builds SCRIPT BUILD_DIR [OPTION...]   see below: one bench, both builds
#   bench_require FILE...  exits 1 naming the first FILE missing (build the preset first)
#   bench_prefix ARCH      a fresh prefix of ARCH (win32 or win64, after wine-env.sh);
#                          the checks that follow are named ARCH.NAME. Returns 1 after
#                          recording a SKIP (the architecture cannot run here) or a FAIL
#   bench_prefix_end       ends that prefix (wineserver, Xvfb, temp folder)
# BENCH_BUDGET (seconds, default 150): later Wine programs are not started, so a hung
# driver cannot push a script past its time.

# Every bench runs on both builds. A script calls `bench_builds "$0" "${1:-}" [OPTION...]`
# before its own work. Without a BUILD_DIR that runs `SCRIPT [OPTION...] BUILD` for the
# i686 build (build/win32, in a win32 prefix), then for the x86_64 build (build/win64,
# in a win64 prefix), and exits: 1 when either failed. With a BUILD_DIR it sets
# BENCH_ARCH from that build's toolchain and returns, or, when that architecture cannot
# run here, prints a SKIP line with the reason and exits 0.
# WINE_BENCH_PARALLEL=1 runs the two builds at the same time (outputs shown in order).
bench_builds() {
  local script=$1 build=$2 name why
  shift 2
  name=$(basename "$script" .sh)
  declare -F wine_arch_ok >/dev/null || source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
  if [ -n "$build" ]; then
    BENCH_ARCH=$(bench_build_arch "$build")
    if ! why=$(wine_arch_ok "$BENCH_ARCH"); then
      echo "SKIP $name ($BENCH_ARCH): $why"
      exit 0
    fi
    return 0
  fi
  local root arch rc=0 outs=() pids=() k
  root=$(cd "$(dirname "$script")/.." && pwd)
  for arch in win32 win64; do
    if [ "${WINE_BENCH_PARALLEL:-0}" = 1 ]; then
      outs+=("$(mktemp "${TMPDIR:-/tmp}/$name-$arch.XXXXXX.out")")
      bash "$script" "$@" "$root/build/$arch" >"${outs[-1]}" 2>&1 &
      pids+=($!)
    else
      bash "$script" "$@" "$root/build/$arch" || rc=1
    fi
  done
  for k in "${!pids[@]}"; do
    wait "${pids[$k]}" || rc=1
    cat "${outs[$k]}"
    rm -f "${outs[$k]}"
  done
  exit $rc
}

bench_require() {
  local f
  for f in "$@"; do
    if [ ! -f "$f" ]; then
      echo "$(basename "$0" .sh)${BENCH_ARCH:+ ($BENCH_ARCH)}: $f is missing (build the ${BENCH_ARCH:-win64} preset first)" >&2
      exit 1
    fi
  done
}

bench_build_arch() {  # bench_build_arch BUILD_DIR: win32 or win64, from its toolchain
  if grep -qs '^CMAKE_C_COMPILER[^=]*=.*i686-w64-mingw32' "$1/CMakeCache.txt"; then
    echo win32
  elif grep -qs '^CMAKE_C_COMPILER[^=]*=.*x86_64-w64-mingw32' "$1/CMakeCache.txt"; then
    echo win64
  else
    case $(basename "$1") in *32*) echo win32 ;; *) echo win64 ;; esac
  fi
}

bench_open() {
  bench_id=$1
  bench_name=$1${BENCH_ARCH:+ ($BENCH_ARCH)}
  bench_note=""
  bench_arch=""
  log=$(mktemp "${TMPDIR:-/tmp}/test-$1${BENCH_ARCH:+-$BENCH_ARCH}.XXXXXX.log")
  started=$SECONDS
  results=()
  failures=0
  budget=${BENCH_BUDGET:-150}
}

say() { echo "[$((SECONDS - started))s] $*" >>"$log"; }
now_ms() { date +%s%3N; }  # the wall clock in milliseconds, for the benches' timings

check() {
  local name=${bench_arch:+$bench_arch.}$1 expected=$2 actual=$3
  say "check $name: expected [$expected] got [$actual]"
  if [ "$actual" = "$expected" ]; then
    results+=("PASS $name")
  else
    results+=("FAIL $name: expected [$expected], got [$actual]")
    failures=$((failures + 1))
  fi
}

skip() { results+=("SKIP ${bench_arch:+$bench_arch.}$1 ($2)"); }

bench_prefix() {
  local arch=$1 why
  bench_arch=
  if ! why=$(wine_arch_ok "$arch"); then
    skip "$arch" "$why"
    return 1
  fi
  bench_arch=$arch
  say "prefix $arch"
  if ! wine_setup "$bench_id" "$arch" >>"$log" 2>&1; then
    trap bench_finish EXIT
    check prefix.create "ok" "failed"
    return 1
  fi
  trap bench_finish EXIT  # wine_setup set its own
}

bench_prefix_end() {
  say "end of the $bench_arch prefix"
  wine_teardown >>"$log" 2>&1
  trap bench_finish EXIT
  bench_arch=
}

bench_finish() {
  local rc=$?
  trap - EXIT
  say "teardown"
  wine_teardown >>"$log" 2>&1 || true
  echo "test-$bench_name: ${#results[@]} checks in $((SECONDS - started)) s$bench_note"
  local r
  for r in "${results[@]}"; do echo "  $r"; done
  if [ "$failures" -gt 0 ] || [ "$rc" -ne 0 ]; then
    echo "test-$bench_name: FAILED ($failures failed checks); log: $log"
    echo "---- last lines of the log"
    tail -n 40 "$log"
    exit 1
  fi
  rm -f "$log"
  echo "test-$bench_name: all checks passed"
  exit 0
}

# Output goes to a file of its own (never a pipe: Wine's background processes
# would inherit it), then without CRs to the log and to standard output.
run() {  # run SECS PROGRAM ARGS...
  local secs=$1
  shift
  local out rc=0
  if [ $((SECONDS - started)) -ge "$budget" ]; then
    say "not run (time budget of $budget s spent): $*"
    echo "not run: time budget spent"
    return
  fi
  out=$(mktemp "$WINE_TMP/out.XXXXXX")
  say "run $(basename "$1") ${*:2}"
  wine_run "$secs" "$@" >"$out" 2>>"$log" </dev/null || rc=$?
  tr -d '\r' <"$out" >"$out.lf"
  cat "$out.lf" >>"$log"
  [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ] && echo "timeout after $secs s"
  [ "$rc" -ne 0 ] && say "exit code $rc"
  cat "$out.lf"
}

# ---- dialogs, for the scripts that drive them with uiprobe through their own
# `ui` function (ui() { run 30 "$uiprobe" "$@"; }) --------------------------------------

# The text of the message box TITLE (its static control).
box_text() { ui controls "$1" | sed -n 's/^control id=[0-9]* class=Static .* text=\(.\+\)$/\1/p' | head -n1; }

# After a restart request Wine's "wineboot --kill" ends the prefix's programs for a
# few seconds: wait until it is over (at most 15 s) before the next program starts.
settle_restart() {
  local k
  for ((k = 0; k < 30; k++)); do
    pgrep -f 'wineboot.exe' >/dev/null || break
    sleep 0.5
  done
  sleep 1
}

# shot_window FILE [TITLE]: a screenshot of the screen, cut to the window TITLE when
# given, without time stamps (an unchanged screen leaves the picture unchanged).
shot_window() {
  local file=$1 r=""
  wine_shot "$file" >>"$log" 2>&1 || { say "screenshot $file failed"; return 1; }
  [ -n "${2:-}" ] && r=$(ui rect "$2" | awk '$1 == "rect" { print $4 - $2 "x" $5 - $3 "+" $2 "+" $3 }')
  convert "$file" ${r:+-crop "$r" +repage} -strip -define png:exclude-chunk=date,time "$file" >>"$log" 2>&1
}

