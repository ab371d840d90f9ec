#!/bin/sh
# What a window system may lack, with no display server at all (SDL's offscreen driver,
# DISPLAY unset): offscreen.lua beside this script must run on. Skipped (status 77) where
# this SDL cannot open that driver.
#   offscreen.sh KELGAME-COMMAND...
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "offscreen: $*"; tail -n 40 "$dir/log"; exit 1; }
unset DISPLAY WAYLAND_DISPLAY
export SDL_VIDEODRIVER=offscreen
printf '3 keydown key=43 sym=102 button=2\n5 keydown key=43 sym=102 button=2\n' > "$dir/ctrlf.txt"
(cd "$dir" && HOME="$dir" timeout -k 5 60 "$@" --verbose -crash exit -width 320 -height 180 \
    -mod "$here/offscreen.lua" -replay "$dir/ctrlf.txt" -frames 20 -capture 7:probe.png) \
    > "$dir/log" 2>&1
st=$?
if grep -q '^kelgame: cannot open a window' "$dir/log"; then
    echo "offscreen: skipped, no offscreen video here:"; grep "^kelgame: " "$dir/log"; exit 77
fi
[ $st -eq 0 ] || fail "exit status $st"
grep -q '^\$ clipboard "copied"$' "$dir/log" || fail "clipboard"
grep -q '^\$ window [0-9]* x [0-9]*$' "$dir/log" || fail "full screen and back"
[ -s "$dir/probe.png" ] || fail "nothing captured"
echo "offscreen: ok"
