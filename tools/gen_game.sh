#!/bin/sh
# Regenerates the bundled game's assets in data/game: builds gen_game, runs it, and
# encodes the longer sounds and the music as Ogg Vorbis (oggenc, from vorbis-tools;
# a fixed stream serial number keeps the files the same from run to run).
#   tools/gen_game.sh [BUILD_DIR]      (from the repository root; default build)
set -e
build=${1:-build}
cmake --build "$build" --target gen_game
out=data/game
mkdir -p "$out"
"$build/tools/gen_game" "$out"
for name in theme hit over; do
    oggenc -Q -q 0 -s 1 -o "$out/$name.ogg" "$out/$name.wav"
    rm "$out/$name.wav"
done
ls -l "$out"
