#!/bin/sh
# End to end with real X input and signals: kelgame runs input_record.lua beside this
# script on a private Xvfb (so no other test's window can take the focus), xdotool types
# and clicks through XTEST, and the events the script received are read back from the
# user file it writes (HOME is the work directory).
#   run.sh KELGAME-COMMAND...   (an emulator may come first)
kelgame="$*"
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
scale=${KEL_TIMEOUT_SCALE:-1}
xvfb= game=
trap '[ -z "$game" ] || kill -9 $game; [ -z "$xvfb" ] || kill $xvfb; rm -rf "$dir"' EXIT
fail() { echo "e2e: $*"; cat "$dir/events.txt"; tail -n 30 "$dir/game.log"; exit 1; }
has() { grep -q -- "$1" "$dir/events.txt" 2>/dev/null; }
# wait_for SECONDS COMMAND...: until the command succeeds
wait_for() {
    t=$(($1 * 10 * scale))
    shift
    until "$@"; do
        t=$((t - 1))
        [ $t -gt 0 ] || return 1
        sleep 0.1
    done
}
# A private X server with one screen of that size; Xvfb picks a free display itself.
start_x() {
    [ -z "$xvfb" ] || { kill $xvfb; wait $xvfb; }
    rm -f "$dir/display"
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3> "$dir/display" 2> "$dir/xvfb.log" &
    xvfb=$!
    wait_for 10 test -s "$dir/display" || fail "no X server: $(cat "$dir/xvfb.log")"
    export DISPLAY=":$(cat "$dir/display")"
}
# Starts the game with these arguments and waits for its first frame. Leaks are the
# headless runs' business; GL drivers keep allocations at exit.
start_game() {
    rm -f "$dir/events.txt"
    (cd "$dir" && HOME="$dir" ASAN_OPTIONS=detect_leaks=0 exec $kelgame --verbose \
        -mod "$here/input_record.lua" "$@") > "$dir/game.log" 2>&1 &
    game=$!
    wait_for 30 has ready || fail "no first frame"
}
# end_game WANT: waits up to 15 s for the game to end with that status.
end_game() {
    (sleep $((15 * scale)); kill -9 $game) > /dev/null 2>&1 &
    watch=$!
    wait $game
    st=$?
    kill $watch 2> /dev/null
    game=
    [ $st -eq "$1" ] || fail "exit status $st, expected $1"
}
# The game window (re-created by the fullscreen toggle) focused, its id in $win.
focus() {
    win=$(xdotool search --sync --name '^KelGame$' | tail -n 1)
    xdotool windowfocus --sync "$win"
}
chord() {  # held like a person holds them
    xdotool keydown "$1"
    sleep 0.15
    xdotool key "$2"
    sleep 0.15
    xdotool keyup "$1"
}
start_x 640x480x24
# A key, a click, Ctrl+F and Alt+Q; -record writes the live input as the router got it.
start_game -width 320 -height 240 -record "$dir/rec.txt"
focus
xdotool mousemove --window "$win" 100 60
xdotool key --delay 50 a Down
wait_for 5 has "keyup key=97" || fail "no key"
xdotool click 1
wait_for 5 has "^up key" || fail "no click"
chord ctrl f
wait_for 5 has "keydown key=102" || fail "no Ctrl+F"
sleep 0.3  # the window is re-created
focus
chord alt q
end_game 0
grep -q ' keydown key=38 sym=97$' "$dir/rec.txt" && grep -q ' keydown key=54 sym=113 button=4$' \
    "$dir/rec.txt" || fail "not recorded: $(cat "$dir/rec.txt")"
# The key, then its text as a second keydown (text input is on); a click in window
# coordinates, then in view ones (160 x 120 view, 320 x 240 window); Ctrl+F gives "reset",
# then the key itself; Alt+Q "suspend" as the last event, then its saving frame. (The file
# as one line, "|" for each line break.)
tr '\n' '|' < "$dir/events.txt" | grep -q "|keydown key=97 name=A text= .*|keydown key=0 name= \
text=a .*|mousedown [^|]*x=100 y=60 button=1.*|down [^|]*x=50 y=30 button=1.*|reset .*\
|keydown key=102.*|suspend [^|]*|saved after suspend|$" || fail "events missing or out of order"
! grep -q -e '^keydown key=113' -e '^quit' "$dir/events.txt" || fail "Q or quit reached the script"

# SIGTERM (a launcher) and SIGINT (Ctrl+C) end the game as Alt+Q does: the script sees
# "suspend", then one more frame to save in; the record has "quit".
for way in "TERM 143 -width 320" "INT 130 -headless"; do
    set -- $way
    start_game -record "$dir/rec.txt" $3 $4
    kill -$1 $game
    end_game $2
    [ "$(tail -n 2 "$dir/events.txt" | head -c 8)" = "suspend " ] && has "saved after suspend$" &&
        grep -q ' quit$' "$dir/rec.txt" || fail "SIG$1 did not end the game as Alt+Q does"
done

# A handheld's sleep stops the process (SIGSTOP) and continues it (SIGCONT); a launcher
# pauses it with SIGTSTP, which the game sees as "suspend" before it stops itself. Either
# way it goes on with "resume" and a first step that leaves out the time it stood still.
start_game -headless
kill -STOP $game
sleep 1.5
kill -CONT $game
wait_for 5 has "dt after resume" || fail "no resume after SIGCONT"
! has "^suspend " || fail "suspend before SIGSTOP, which nobody could tell"
kill -TSTP $game
wait_for 5 has "saved after suspend" || fail "no suspend after SIGTSTP"
wait_for 5 sh -c "ps -o stat= -p $game | grep -q T" || fail "not stopped after SIGTSTP"
sleep 1.5
kill -CONT $game
resumed() { [ "$(grep -c "dt after resume$1" "$dir/events.txt")" -eq 2 ]; }
wait_for 5 resumed || fail "no second resume"
resumed " 0.0" || fail "the 1.5 s stood still were played"
kill $game
end_game 143

# With a window, the same pair from the window's focus, for a game that asked for it.
start_game -width 320 -height 240 -suspendable 1
focus
xdotool windowfocus "$(xdotool search --maxdepth 0 --name '')"  # the root: no window
wait_for 5 has "^suspend " || fail "no suspend when the focus went"
focus
wait_for 5 has "^resume " || fail "no resume when the focus came back"
kill $game
end_game 143

# Without -width and -height a small display (a handheld's 320 x 240) is filled; a
# desktop one gets a window of 80% of its size, or all of it with --fullscreen.
for c in "320x240x24 320x240" "1000x700x24 800x560" "1000x700x24 1000x700 --fullscreen"; do
    set -- $c
    start_x $1
    start_game $3
    has "ready window $2" || fail "$1 $3: not ready window $2"
    kill $game
    end_game 143
done
echo "e2e: ok"
