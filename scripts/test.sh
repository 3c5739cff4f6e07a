#!/usr/bin/env bash
# Runs every test: the native suite, the same under AddressSanitizer + UBSan, the
# concurrency tests under ThreadSanitizer, the Windows builds with their checks, and
# the fuzz targets for a short smoke run. Fails on the first error.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
step() { echo; echo "==== $*"; }

step "native suite"
cmake --preset sim >/dev/null
cmake --build --preset sim -j "$jobs"
ctest --preset sim -j "$jobs"

step "AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset sim-asan >/dev/null
cmake --build --preset sim-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset sim-asan -j "$jobs"

step "ThreadSanitizer (concurrency tests)"
cmake --preset sim-tsan >/dev/null
cmake --build --preset sim-tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 ctest --preset sim-tsan -j "$jobs"

step "Windows builds (win32, win64)"
for p in win32 win64; do
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p" -j "$jobs"
done
scripts/check-pe.sh

if [ -d fuzz ] && ls fuzz/*.cpp >/dev/null 2>&1; then
  step "fuzz smoke run"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  scripts/fuzz.sh 20000
fi

# Each Wine bench runs the i686 build (win32 prefix) and the x86_64 build (win64
# prefix); the two run side by side, in prefixes copied from a booted template.
export WINE_BENCH_PARALLEL=${WINE_BENCH_PARALLEL:-1}
wine_started=$SECONDS
for t in winebench/test-*.sh; do
  [ -f "$t" ] || continue
  step "Wine: $t"
  bash "$t"
done
echo "Wine benches: $((SECONDS - wine_started)) s"
echo
echo "all tests passed"
