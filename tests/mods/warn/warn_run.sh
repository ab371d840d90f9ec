#!/bin/sh
# Runs main.lua beside it with a window: standard error must be expected.txt exactly
# (each mistake once though made twice), and empty with --quiet. Sound goes through ALSA
# (not the test's dummy device): where none opens (no sound card) one line says so, and
# none of ALSA's own probe errors show. (Left unset, SDL first probes other sound servers,
# after which LeakSanitizer's tracer crashes at exit in the sanitizer build.)
#   warn_run.sh KELGAME-COMMAND...   (an emulator may come first)
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
nocard=
ls /dev/snd/pcm* > /dev/null 2>&1 || [ -n "$PULSE_SERVER" ] ||
    [ -S "${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native" ] || nocard=1
for quiet in "" --quiet; do
    (cd "$dir" && HOME="$dir" timeout -k 5 $((60 * ${KEL_TIMEOUT_SCALE:-1})) env SDL_AUDIODRIVER=alsa \
        "$@" $quiet -crash exit -width 320 -height 180 -fixed-dt -mod "$here/main.lua") \
        > "$dir/out" 2> "$dir/err" ||
        { echo "warn_run: exit status $? ($quiet)"; cat "$dir/err"; exit 1; }
    if [ -z "$quiet" ]; then
        sound=$(grep -c '^kelgame: no sound device (.*): the game runs silent$' "$dir/err")
        [ "$sound" -le 1 ] && { [ -z "$nocard" ] || [ "$sound" -eq 1 ]; } ||
            { echo "warn_run: $sound lines about sound"; cat "$dir/err"; exit 1; }
        grep -v '^kelgame: no sound device' "$dir/err" | diff "$here/expected.txt" - ||
            { echo "warn_run: stderr differs"; exit 1; }
    elif [ -s "$dir/err" ]; then
        echo "warn_run: --quiet still printed:"; cat "$dir/err"; exit 1
    fi
done
echo "warn_run: ok"
