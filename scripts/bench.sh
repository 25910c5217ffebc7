#!/usr/bin/env bash
# Builds and runs the mission list benchmark and prints how it compares with a plain
# readdir loop writing the same lines.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh bench
cmake --preset native >/dev/null && cmake --build --preset native --target mission_list_bench >/dev/null
out=$(mktemp)
./build/native/mission_list_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_counters_tabular=true "$@" | tee "$out"
# Medians of both, side by side.
awk '/_median/ { split($1, name, "/"); time[name[1] "/" name[2]] = $2 }
     END {
       for (n = 1000; n <= 100000; n *= 100) {
         a = time["BM_WriteMissionList/" n "_median"]; b = time["BM_PlainReaddirLoop/" n "_median"]
         c = time["BM_PlainReaddirLoopThenRename/" n "_median"]
         if (a && b && c) printf "%6d entries: WriteMissionList %.0f us; plain loop %.0f us (ratio %.2f); plain loop then rename %.0f us (ratio %.2f)\n", n, a, b, a / b, c, a / c
       }
     }' "$out"
rm -f "$out"
