#!/bin/sh
# Plays the bundled game once through xdotool on a virtual X server while kelgame records
# the input into play.txt beside this script. Only to make a new play.txt (then refresh
# the reference frames: see docs/running.md); the tests replay the committed file.
#   xvfb-run -a sh tests/mods/bundled/record.sh build/kelgame   (needs xdotool)
# It prints the screens and the score: they go into expected.txt.
here=$(cd "$(dirname "$0")" && pwd)
kelgame=${1:-build/kelgame}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
HOME="$home" SDL_AUDIODRIVER=dummy $kelgame --verbose -width 480 -height 270 -fixed-dt -seed 7 \
    -record "$here/play.txt" > "$home/log" 2>&1 &
pid=$!
win=""
while [ -z "$win" ]; do sleep 0.2; win=$(xdotool search --name "Star Sweep" 2>/dev/null | head -n 1); done
xdotool windowfocus "$win"
sleep 1
over() { grep -q '^\$ saved' "$home/log"; }
# Nothing more is pressed once the round is over: the keys would go on to the next screen.
hold() {  # hold SECONDS KEY...
    t=$1; shift
    over && return
    for k; do xdotool keydown "$k"; done; sleep "$t"; for k; do xdotool keyup "$k"; done
}
tap() { over || xdotool key "$1"; sleep "${2:-0.3}"; }
tap Return 1.2                                     # Start
i=0
while ! over && [ $i -lt 20 ]; do                  # sweep around, pulsing now and then
    hold 0.7 Right; hold 0.45 Down; tap space 0.1
    hold 0.8 Left; hold 0.5 Up; hold 0.3 Right
    hold 0.35 Up Left; tap space 0.1; hold 0.6 Down
    i=$((i + 1))
done
sleep 1.5
key() { xdotool key "$1"; sleep "$2"; }
key Return 1.2                                     # game over: back to the title
key Down 0.4; key Down 0.4; key Down 0.4; key Return 2   # Quit
sleep 1; kill $pid 2>/dev/null; wait $pid
grep -e '^\$ screen' -e '^\$ saved' "$home/log"
