#!/bin/sh
# Runs every benchmark of a build: bench/run.sh BUILD_DIR
set -e
build=$1
# The build leaves them out when Google Benchmark is missing: say so rather than run none.
ls "$build"/bench/bench_* > /dev/null 2>&1 ||
    { echo "bench: no benchmarks in $build (scripts/install-deps bench, then build again)" >&2; exit 1; }
for exe in "$build"/bench/bench_*; do
    [ -x "$exe" ] || continue
    echo "== $(basename "$exe")"
    "$exe" --benchmark_counters_tabular=true
done
for s in bench/*.sh; do
    case "$s" in bench/run.sh) continue;; esac
    echo "== $s"
    sh "$s" "$build"
done
