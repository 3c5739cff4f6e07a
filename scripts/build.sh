#!/usr/bin/env bash
# Builds everything and makes the product: the sim, win32 and win64 presets, then
# dist/ (scripts/make-dist.sh: the i686 product folder for Windows 98/2000/XP and
# the x86_64 one that Wine runs, each checked and zipped), then the main job: a
# touch session replayed through the whole driver stack on the simulated machine,
# and the report-path benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
for p in sim win32 win64; do
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p" -j "$jobs"
done
echo "== dist"
dist_rc=0
scripts/make-dist.sh || dist_rc=$?
echo "== zelkosim: zelkosim/scenarios/tap.zs"
build/sim/zelkosim/zelkosim zelkosim/scenarios/tap.zs
if [ -x build/sim/bench/zelko_bench ]; then
  echo "== benchmarks"
  build/sim/bench/zelko_bench --benchmark_min_time=0.2
fi
if [ "$dist_rc" -ne 0 ]; then
  echo "build: dist/ failed its checks (above)"
  exit "$dist_rc"
fi
