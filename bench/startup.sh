#!/bin/sh
# Process start to exit of a headless game that quits in _init, beside a bare Lua
# interpreter start (the floor): bench/startup.sh BUILD_DIR [RUNS]
build=${1:-build}
runs=${2:-50}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf 'function _init() kel_ext_call("exit") end\nfunction _loop() end\n' > "$dir/exit.lua"

# Average wall time of one run in microseconds.
measure() {
    start=$(date +%s%N)
    i=0
    while [ $i -lt "$runs" ]; do
        "$@" > /dev/null 2>&1 || { echo "startup: command failed: $*" >&2; exit 1; }
        i=$((i + 1))
    done
    end=$(date +%s%N)
    echo $(( (end - start) / runs / 1000 ))
}

game=$(measure "$build/kelgame" -headless -crash exit -mod "$dir/exit.lua")
load=$(measure "$build/kelgame" --version)
lua=$(measure lua5.2 -e '')
echo "startup (average of $runs runs)"
echo "  kelgame headless exit in _init: ${game} us"
echo "  kelgame --version (load only):  ${load} us"
echo "  lua5.2 -e '':                   ${lua} us"
awk -v g="$game" -v l="$lua" 'BEGIN { printf "  ratio: %.2f (goal <= 2)\n", g / l }'
