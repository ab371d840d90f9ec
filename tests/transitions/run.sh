#!/bin/sh
# Runs examples/transitions by itself with a window and checks pixels of its frames
# (frames.txt): the outgoing scene shows and then blends into the new one, widgets
# included, with no flash of the new scene before the effect.
#   run.sh SOURCE_DIR KELGAME-COMMAND...   (an emulator may come first)
src=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
set -- "$@" -crash exit -width 320 -height 180 -datadir "$src/data" \
    -mod "$src/examples/transitions/main.lua" -fixed-dt -frames 30
for f in 0 1 2 4 6 7 8; do set -- "$@" -capture "$f:f$f.png"; done
(cd "$dir" && HOME="$dir" timeout -k 5 $((60 * ${KEL_TIMEOUT_SCALE:-1})) "$@") > "$dir/log" 2>&1 ||
    { echo "transitions: exit status $?"; tail -n 40 "$dir/log"; exit 1; }
[ -z "$KEL_CAPTURE_SAVE" ] || cp "$dir"/*.png "$KEL_CAPTURE_SAVE/"
python3 "$here/../png_pixels.py" "$here/frames.txt" "$dir" || exit 1
echo "transitions: ok"
