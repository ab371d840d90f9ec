#!/bin/sh
# Runs the game beside it with a window: once with play.txt (Ctrl+F3 shows and hides the
# overlay), once with -stats; checks its figures (the script fails on a wrong one) and
# the overlay's pixels in captured frames (frames.txt).
#   run.sh DATA_DIR KELGAME-COMMAND...   (an emulator may come first)
data=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
run() {  # run LOG ARGS...
    log=$1
    shift
    (cd "$dir" && HOME="$dir" timeout -k 5 $((60 * ${KEL_TIMEOUT_SCALE:-1})) "$@") > "$dir/$log" 2>&1 ||
        { echo "stats: exit status $? ($log)"; tail -n 40 "$dir/$log"; exit 1; }
}
set -- "$@" --verbose -crash exit -width 320 -height 240 -datadir "$data" -mod "$here" -fixed-dt -frames 10
run log1 "$@" -replay "$here/play.txt" -capture 2:f2.png -capture 5:f5.png -capture 8:f8.png
grep -q '^\$ stats ok: overlay in 3 frames, F3 seen 1$' "$dir/log1" || { cat "$dir/log1"; exit 1; }
run log2 "$@" -stats -capture 0:f0.png
grep -q '^\$ stats ok: overlay in 8 frames' "$dir/log2" || { cat "$dir/log2"; exit 1; }
[ -z "$KEL_CAPTURE_SAVE" ] || cp "$dir"/*.png "$KEL_CAPTURE_SAVE/"
python3 "$here/../../png_pixels.py" "$here/frames.txt" "$dir" || exit 1
echo "stats: ok"
