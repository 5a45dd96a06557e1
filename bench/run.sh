#!/usr/bin/env bash
# Builds the benchmarks in Release (-O2) into build-bench/ (installing missing
# packages) and runs them. Arguments go to the benchmark program; without any,
# every case runs five times and only the mean, median and spread are shown.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

build="${TRIVANE_BENCH_BUILD_DIR:-$root/build-bench}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DTRIVANE_BENCH=ON -DTRIVANE_BUILD_TESTS=OFF >/dev/null
# Everything: the benchmarks (the window's too, when Qt is there) and the programs they run.
cmake --build "$build" -j "$(nproc)" >/dev/null

if [ $# -eq 0 ]; then
  set -- --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
fi
"$build/bench/trivane_bench" "$@"
