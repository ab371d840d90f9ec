#!/bin/sh
# The bundled game's play-through (play.txt, made by record.sh) replayed with a window:
# the run must reach the same end (score 50, then Quit from the title menu) and the
# captured frames must be those of the reference: exact under llvmpipe; under softpipe
# (the emulated ARM build) scaled images may differ by a shade, so a tolerance.
#   run.sh [--offscreen] KELGAME-COMMAND...   (an emulator may come first)
# --offscreen: with no display server at all (SDL's offscreen driver, DISPLAY unset); the
# test is skipped (status 77) where this SDL cannot open that driver.
# KEL_CAPTURE_SAVE=DIR keeps the captured frames, to make new references.
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "bundled_replay: $*"; tail -n 40 "$dir/log"; exit 1; }
if [ "$1" = --offscreen ]; then
    shift
    unset DISPLAY WAYLAND_DISPLAY
    export SDL_VIDEODRIVER=offscreen
    printf '3 keydown key=43 sym=102 button=2\n5 keydown key=43 sym=102 button=2\n' > "$dir/ctrlf.txt"
    (cd "$dir" && HOME="$dir" timeout -k 5 $((60 * ${KEL_TIMEOUT_SCALE:-1})) "$@" --verbose \
        -crash exit -width 320 -height 180 -mod "$here/offscreen.lua" -replay "$dir/ctrlf.txt" \
        -frames 20 -capture 7:probe.png) > "$dir/log" 2>&1
    st=$?
    if grep -q '^kelgame: cannot open a window' "$dir/log"; then
        echo "bundled_replay: skipped, no offscreen video here:"; grep "^kelgame: " "$dir/log"; exit 77
    fi
    [ $st -eq 0 ] || fail "offscreen: exit status $st"
    grep -q '^\$ clipboard "copied"$' "$dir/log" || fail "offscreen: clipboard"
    grep -q '^\$ window [0-9]* x [0-9]*$' "$dir/log" || fail "offscreen: full screen and back"
    [ -s "$dir/probe.png" ] || fail "offscreen: nothing captured"
fi
frames="75:zoom 600:play 760:over"
run() {
    (cd "$dir" && HOME="$dir" SDL_AUDIODRIVER=dummy timeout -k 5 $((170 * ${KEL_TIMEOUT_SCALE:-1})) "$@") \
        > "$dir/log" 2>&1 || fail "exit status $?"
}

# In a window of another shape (the 16:9 view in 4:3) the bands above and below the
# view stay black: the title's stars reach past the view's edges.
run "$@" -crash exit -width 820 -height 615 -mod "$here/../../data" -fixed-dt -seed 7 \
    -replay "$here/play.txt" -frames 61 -capture 60:bands.png
python3 - "$dir/bands.png" "$here/.." <<'EOF' || fail "drawing in the bands"
import sys
sys.path.insert(0, sys.argv[2])
from png_diff import load
w, h, c, px = load(sys.argv[1])
band = int((h - w * 270 / 480) / 2) - 1
rows = list(range(band)) + list(range(h - band, h))
lit = [y for y in rows if any(px[(y * w + x) * c + k] for x in range(w) for k in range(3))]
print(f"bands of {band} rows: {len(lit)} with something drawn")
sys.exit(1 if lit else 0)
EOF

set -- "$@" --verbose -crash exit -width 480 -height 270 -mod "$here/../../data" \
    -fixed-dt -seed 7 -replay "$here/play.txt" -frames 2000 -capture 1500:late.png
for f in $frames; do set -- "$@" -capture "$f.png"; done
# Quit from the menu comes before frame 1500: that capture fails the run, and nothing else.
(cd "$dir" && HOME="$dir" SDL_AUDIODRIVER=dummy timeout -k 5 $((170 * ${KEL_TIMEOUT_SCALE:-1})) "$@") \
    > "$dir/log" 2>&1
st=$?
[ $st -eq 1 ] || fail "exit status $st, expected 1"
grep -q '^kelgame: -capture 1500:late.png: the run ended after [0-9]* frames, before frame 1500$' \
    "$dir/log" || fail "Quit was not picked from the title menu"
[ "$(grep -c '^kelgame: ' "$dir/log")" -eq 1 ] || fail "another failure"
! grep -q -e 'Lua error' -e 'Sanitizer' -e 'runtime error:' "$dir/log" || fail "script or sanitizer error"
# the score record.sh printed
grep -q '^\$ saved 50 rank 1$' "$dir/log" || fail "the round did not end as recorded"
[ -z "$KEL_CAPTURE_SAVE" ] || cp "$dir"/*.png "$KEL_CAPTURE_SAVE/"
for f in $frames; do
    png=${f#*:}.png
    if [ "$GALLIUM_DRIVER" = softpipe ]; then
        python3 "$here/../png_diff.py" "$dir/$png" "$here/$png" || fail "$png differs from the reference"
    else
        cmp -s "$dir/$png" "$here/$png" || fail "$png differs from the reference"
    fi
done
echo "bundled_replay: ok"
