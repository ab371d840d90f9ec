#!/bin/sh
# Runs every fuzz target for a bounded time: fuzz/run.sh BUILD_DIR SECONDS
set -e
build=$1; secs=${2:-60}
for exe in "$build"/fuzz/fuzz_*; do
    [ -x "$exe" ] || continue
    name=$(basename "$exe")
    corpus=fuzz/corpus-$name
    mkdir -p "$corpus"
    seeds=fuzz/seeds/${name#fuzz_}
    [ -d "$seeds" ] || seeds=
    echo "fuzz: $name for ${secs}s"
    "$exe" -max_total_time="$secs" -print_final_stats=1 "$corpus" $seeds
done
