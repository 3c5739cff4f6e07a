#!/usr/bin/env bash
# Runs every libFuzzer target of the fuzz build (build/fuzz/fuzz/*_fuzz) for N inputs
# each (default 20000), starting from fuzz/corpus/<target>/ when it exists. New
# inputs go to a temp folder, never into the repository. Fails on the first finding;
# the crashing input is kept under build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20000}
bin=${FUZZ_BUILD:-build/fuzz}/fuzz
findings=${FUZZ_BUILD:-build/fuzz}/findings
shopt -s nullglob
targets=("$bin"/*_fuzz)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets in $bin (build the fuzz preset first)" >&2
  exit 1
fi
mkdir -p "$findings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for t in "${targets[@]}"; do
  name=$(basename "$t")
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  mkdir -p "$work/$name"
  echo "== $name: $runs runs"
  if ! ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} "$t" -runs="$runs" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/$name-" "$work/$name" "${seeds[@]}" \
      >"$work/$name.log" 2>&1; then
    tail -40 "$work/$name.log"
    echo "fuzz: $name FAILED (input kept under $findings/)"
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)' "$work/$name.log" || true
done
echo "fuzz: ${#targets[@]} targets passed"
