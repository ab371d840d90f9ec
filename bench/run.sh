#!/bin/sh
# Runs every benchmark of a build: bench/run.sh BUILD_DIR
set -e
build=$1
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
