#!/bin/sh
# Runs every example game (examples/*/main.lua) for a few frames, headless and, when
# a display is there, in a window; fails on a non-zero exit status, a script error
# or a sanitizer report.
#   run_examples.sh SOURCE_DIR KELGAME-COMMAND...   (an emulator may come first)
src=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
for main in "$src"/examples/*/main.lua; do
    name=$(basename "$(dirname "$main")")
    for mode in headless window; do
        if [ "$mode" = headless ]; then
            flag=-headless
        elif [ -n "$DISPLAY" ] && [ "${KEL_TIMEOUT_SCALE:-1}" = 1 ]; then
            # emulated GL (softpipe under qemu) takes minutes per example; the GL
            # paths are checked there by the GL tests, the scripts by the headless runs
            flag=
        else
            continue
        fi
        # Own working and home directory: the examples save into the user area.
        dir="$work/$name-$mode"
        mkdir -p "$dir"
        # a damaged save must not stop the game: numbers JSON allows but a double does not hold
        [ "$name" = save ] && printf '{"best":1e400,"rounds":-1e400}' > "$dir/kelgame-example-save.json"
        # A failed windowed script keeps its window open; the timeout ends it.
        (cd "$dir" && HOME="$dir" timeout -k 5 $((20 * ${KEL_TIMEOUT_SCALE:-1})) "$@" --verbose $flag \
            -crash exit -datadir "$src/data" -mod "$main" -frames 30) > "$dir/log" 2>&1
        got=$?
        if [ "$got" -ne 0 ] ||
            grep -q -e 'Lua error' -e '^\$ kelgame:' -e 'Sanitizer' -e 'runtime error:' "$dir/log"; then
            echo "FAIL $name ($mode): exit status $got"
            tail -n 40 "$dir/log"
            fail=1
        else
            echo "ok   $name ($mode)"
        fi
    done
done
exit $fail
