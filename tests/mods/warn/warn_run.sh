#!/bin/sh
# Runs main.lua beside it with a window: standard error must be expected.txt exactly
# (each mistake once though made twice), and empty with --quiet.
#   warn_run.sh KELGAME-COMMAND...   (an emulator may come first)
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
for quiet in "" --quiet; do
    (cd "$dir" && HOME="$dir" timeout -k 5 $((60 * ${KEL_TIMEOUT_SCALE:-1})) "$@" $quiet -crash exit \
        -width 320 -height 180 -fixed-dt -mod "$here/main.lua") > "$dir/out" 2> "$dir/err" ||
        { echo "warn_run: exit status $? ($quiet)"; cat "$dir/err"; exit 1; }
    if [ -z "$quiet" ]; then
        diff "$here/expected.txt" "$dir/err" || { echo "warn_run: stderr differs"; exit 1; }
    elif [ -s "$dir/err" ]; then
        echo "warn_run: --quiet still printed:"; cat "$dir/err"; exit 1
    fi
done
echo "warn_run: ok"
