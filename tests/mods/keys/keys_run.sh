#!/bin/sh
# Plays play.txt into the game beside it, started from the game's folder with a bare
# "-mod main.lua", once headless and once with a window: both end in the same state.
# Its last line is a recorded quit (window close or signal), which replays as "suspend".
#   keys_run.sh KELGAME-COMMAND...   (an emulator may come first)
cd "$(dirname "$0")" || exit 1
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
want='$ state x=-1 y=-1 keys=Left,Up,Return,Space,A,Left Ctrl,Keypad 1,F1'
for mode in -headless "-width 160 -height 120"; do
    out=$(HOME="$home" timeout -k 5 $((60 * ${KEL_TIMEOUT_SCALE:-1})) "$@" --verbose -crash exit \
        -mod main.lua -replay play.txt -fixed-dt -frames 40 $mode 2>&1)
    status=$?
    got=$(printf '%s\n' "$out" | grep '^\$ state')
    if [ $status -ne 0 ] || [ "$got" != "$want" ]; then
        printf '%s\n' "$out" | tail -n 30
        echo "keys_run: $mode: status $status, got '$got', want '$want'"
        exit 1
    fi
done
echo "keys_run: ok"
