#!/bin/sh
# Sprite throughput, kelgame beside LOVE 11.4 on the same machine and display:
#   sh bench/sprites.sh [BUILD_DIR]
# For 16 x 16 sprites (fill-bound) and 2 x 2 sprites (the per-sprite path): frames per
# second and CPU milliseconds per frame (all threads; steadier than fps when the machine
# is shared) for N = 1,000 .. 20,000 sprites (60 Hz limiter off), then the largest N
# that still holds 60 fps for each engine, found by bisection; medians of three runs.
#   SIZES="2"  only those sprite sizes      QUICK=1  the table only, no bisection
build=${1:-build}
if [ -z "$DISPLAY" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" sh "$0" "$@"
fi
here=$(dirname "$0")/sprites
export SDL_AUDIODRIVER=dummy

kel() {
    KEL_BENCH_UNLIMITED=1 timeout 60 "$build/kelgame" --verbose -mod "$here/kel.lua" -datadir "$here/love" \
        -width 640 -height 480 -n "$1" -size "$size" 2>/dev/null | sed -n 's/.*fps=\([0-9.]*\).*cpu_ms=\([0-9.]*\).*/\1 \2/p' | tail -1
}
lov() {
    timeout 60 love "$here/love" "$1" "$size" 2>/dev/null |
        sed -n 's/.*fps=\([0-9.]*\).*cpu_ms=\([0-9.]*\).*/\1 \2/p' | tail -1
}
# The middle of three "fps cpu_ms" results, by fps.
mid3() { printf '%s\n%s\n%s\n' "${1:-0 0}" "${2:-0 0}" "${3:-0 0}" | sort -n | sed -n 2p; }
# Median of three runs: the machine may be shared, single runs are noisy.
med() {
    a=$($1 $2) b=$($1 $2) c=$($1 $2)
    mid3 "$a" "$b" "$c"
}
# Both engines at one N, runs interleaved so that a change of load hits both alike.
both() {
    k1=$(kel $1) l1=$(lov $1) k2=$(kel $1) l2=$(lov $1) k3=$(kel $1) l3=$(lov $1)
    printf '%-8s %20s %20s\n' $1 "$(mid3 "$k1" "$k2" "$k3")" "$(mid3 "$l1" "$l2" "$l3")"
}
# Largest N (to 250 sprites) at 60 fps or more: bisection between lo (holds) and hi.
most() {
    lo=$2 hi=$3
    while [ $((hi - lo)) -gt 250 ]; do
        mid=$(((lo + hi) / 2))
        f=$(med $1 $mid | cut -d' ' -f1)
        if [ -n "$f" ] && [ "$(echo "$f >= 60" | bc)" = 1 ]; then lo=$mid; else hi=$mid; fi
    done
    echo $lo
}

if ! command -v love >/dev/null; then
    echo "sprites: love not installed; its column stays empty"
    lov() { :; }
fi
for size in ${SIZES:-16 2}; do
    echo "== ${size} x ${size} sprites"
    printf '%-8s %20s %20s\n' N "kelgame fps cpu_ms" "love fps cpu_ms"
    for n in 1000 5000 10000 20000; do both $n; done
    [ -n "$QUICK" ] && continue
    k=$(most kel 1000 40000)
    echo "kelgame holds 60 fps up to about $k sprites"
    if command -v love >/dev/null; then
        l=$(most lov 1000 40000)
        echo "love holds 60 fps up to about $l sprites"
        echo "ratio: $(echo "scale=2; $k / $l" | bc)"
    fi
    echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
done
