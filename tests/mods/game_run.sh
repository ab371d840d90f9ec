#!/bin/sh
# Plays a test game folder (a copy of it is the working and home directory) by its runs.txt
# and checks what the runs printed and captured. In the folder:
#   runs.txt      one run a line: STATUS [ENV-ARGS... --] ARGS... ($src is the source tree);
#                 ENV-ARGS go to env; each run has --verbose and "-mod main.lua" before its
#                 own arguments (a bare file name: the working directory is the game's folder)
#   expected.txt  every "$ " (script) and "kelgame: " (error) line of the runs, in order
#   log.txt       COUNT EXTENDED-REGEX: so many lines of the runs' logs match
#   frames.txt    pixels of captured frames, for png_pixels.py (fN.png is frame N's capture)
#   *.png         a run that captures (or saves) a file of that name must make it the same
#                 (within a shade under softpipe)
#   game_run.sh FOLDER KELGAME-COMMAND...   (an emulator may come first)
here=$(cd "$1" && pwd)
src=$(cd "$here/../../.." && pwd)
shift
kelgame="$*"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp -r "$here/." "$dir/"
rm -f "$dir"/*.png
fail() { echo "game_run: $*"; tail -n 40 "$dir/log"; exit 1; }
grep -v -e '^#' -e '^$' "$here/runs.txt" > "$dir/.runs"
n=0
while IFS= read -r line; do
    n=$((n + 1))
    eval "set -- $line"
    want=$1
    shift
    envs=
    case " $* " in *" -- "*)
        while [ "$1" != -- ]; do envs="$envs $1"; shift; done
        shift ;;
    esac
    (cd "$dir" && HOME="$dir" timeout -k 5 $((170 * ${KEL_TIMEOUT_SCALE:-1})) env $envs \
        $kelgame --verbose -mod main.lua "$@") < /dev/null > "$dir/log" 2>&1
    st=$?
    [ $st -eq "$want" ] || fail "run $n: exit status $st, expected $want"
    ! grep -q -e 'Sanitizer' -e 'runtime error:' "$dir/log" || fail "run $n: sanitizer report"
    grep -e '^\$ ' -e '^kelgame: ' "$dir/log" >> "$dir/.printed"
    cat "$dir/log" >> "$dir/.log"
    [ -z "$KEL_CAPTURE_SAVE" ] || cp "$dir"/*.png "$KEL_CAPTURE_SAVE/"
    for png in "$here"/*.png; do  # checked after each run: a later run may write it again
        got="$dir/${png##*/}"
        # softpipe (the emulated ARM build) may scale images a shade apart from llvmpipe
        if [ -f "$got" ] && [ "$GALLIUM_DRIVER" = softpipe ]; then
            python3 "$here/../../png_diff.py" "$got" "$png" || fail "run $n: $got differs"
        elif [ -f "$got" ]; then
            cmp -s "$png" "$got" || fail "run $n: ${png##*/} differs from the captured frame"
        fi
        rm -f "$got"
    done
done < "$dir/.runs"
touch "$dir/.printed"
diff "$here/expected.txt" "$dir/.printed" || fail "printed lines differ from expected.txt"
[ ! -f "$here/log.txt" ] || grep -v -e '^#' -e '^$' "$here/log.txt" | while read -r want p; do
    [ "$(grep -cE -- "$p" "$dir/.log")" -eq "$want" ] ||
        { echo "game_run: not $want lines $p"; exit 1; }
done || exit 1
[ ! -f "$here/frames.txt" ] || python3 "$here/../../png_pixels.py" "$here/frames.txt" "$dir" ||
    fail "pixels differ"
echo "game_run: ok"
