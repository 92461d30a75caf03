#!/usr/bin/env bash
# Builds the bench preset (release, with the benchmarks) and runs the
# benchmarks and the start-up comparison, printing the table of figures.
# Raw results go to build/bench/bench-results. Extra arguments go to the
# benchmark executable (e.g. --benchmark_filter=open).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh
if ! command -v hyperfine >/dev/null; then
  echo "Installing: hyperfine"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq hyperfine
fi
cmake --preset bench >/dev/null
cmake --build --preset bench
exec python3 benchmarks/run_benchmarks.py --bin build/bench/bin --out build/bench/bench-results \
  ${BENCH_REPETITIONS:+--repetitions "$BENCH_REPETITIONS"} -- "$@"
