#!/bin/sh
# Text drawing, ours against LÖVE 11.4's love.graphics.print, in the same run and on
# the same X server: bench/bench_text_love.sh BUILD_DIR
# Both draw 50 x 1,000 characters of the bundled font at size 14 per frame and present;
# both lines give the wall time per frame (ns per character = ms / 50,000).
set -e
if [ -z "$DISPLAY" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" sh "$0" "$@"
fi
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
command -v love >/dev/null || { echo "bench_text_love: love not installed, skipped"; exit 0; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp "$src"/bench/love_text/*.lua "$src"/data/fonts/dejavu.fnt "$src"/data/fonts/dejavu.png "$tmp"/
"$build"/bench/bench_font --benchmark_filter=Frame --benchmark_min_time=2 2>&1 | grep -a '^BM_'
timeout 300 love "$tmp" 2>&1 | grep -a 'love_print\|LOVE ERROR'
