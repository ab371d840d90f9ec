#!/bin/sh
# Replays play.txt into the game beside it with a window, recording what the router
# receives, and compares the captured last frame with end.png; then replays the
# recording and expects the same frame again. Alt+Q in play.txt ends the run at
# frame 70, so the capture of frame 99 is never reached, which fails the run (status 1).
#   replay_run.sh KELGAME-COMMAND...   (an emulator may come first)
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "replay_run: $*"; cat "$dir"/log* 2>/dev/null | tail -n 40; exit 1; }

run() {  # run LOG REPLAY CAPTURE EXTRA-ARGS
    log=$1 replay=$2 capture=$3 extra=$4
    (cd "$dir" && HOME="$dir" timeout -k 5 $((60 * ${KEL_TIMEOUT_SCALE:-1})) $kelgame --verbose -crash exit \
        -width 320 -height 240 -mod "$here" -fixed-dt -frames 100 -replay "$replay" \
        -capture "70:$capture" -capture 99:late.png $extra) > "$dir/$log" 2>&1
    st=$?
    [ $st -eq 1 ] || fail "exit status $st, expected 1 ($log)"
    grep -q '^kelgame: -capture 99:late.png: the run ended after 71 frames, before frame 99$' \
        "$dir/$log" || fail "Alt+Q did not end the run at frame 70 ($log)"
    [ "$(grep -c '^kelgame: ' "$dir/$log")" -eq 1 ] || fail "another failure ($log)"
    ! grep -q -e 'Lua error' -e 'Sanitizer' -e 'runtime error:' "$dir/$log" || fail "script or sanitizer error ($log)"
}

kelgame="$*"
run log1 "$here/play.txt" end.png "-record rec.txt"
grep -q '^\$ event suspend' "$dir/log1" || fail "the script did not see suspend"
grep -q '^70 keydown key=54 sym=113 button=4$' "$dir/rec.txt" || fail "Alt+Q not recorded"
run log2 rec.txt again.png ""
cmp -s "$dir/end.png" "$dir/again.png" || fail "the recording replays to another frame"
# Mesa's rasterisers agree on whole-pixel rectangles; KEL_CAPTURE_SAVE=DIR keeps the frame.
[ -z "$KEL_CAPTURE_SAVE" ] || cp "$dir/end.png" "$KEL_CAPTURE_SAVE/"
cmp -s "$dir/end.png" "$here/end.png" || fail "captured frame differs from end.png"
echo "replay_run: ok"
