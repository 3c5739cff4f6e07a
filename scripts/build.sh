#!/usr/bin/env bash
# Builds all three presets and runs the main job: a touch session replayed through
# the whole driver stack on the simulated machine, then the report-path benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
for p in sim win32 win64; do
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p" -j "$jobs"
done
echo "== zelkosim: zelkosim/scenarios/tap.zs"
build/sim/zelkosim/zelkosim zelkosim/scenarios/tap.zs
if [ -x build/sim/bench/zelko_bench ]; then
  echo "== benchmarks"
  build/sim/bench/zelko_bench --benchmark_min_time=0.2
fi
