#!/bin/sh
# The game-maker tools: the printed lint standard and annotations are the tree's files;
# the bundled game and every example lint clean with the standard; --new writes a starter
# that lints clean, refuses to write over itself, and runs the same replay headless and
# in a window, recording it, and the recording replays to the same save.
#   run.sh SOURCE_DIR KELGAME-COMMAND...   (an emulator may come first)
src=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "tools_run: $*"; tail -n 30 "$dir"/log* 2>/dev/null; exit 1; }
command -v luacheck > /dev/null || fail "luacheck missing (scripts/install-deps test installs lua-check)"

"$@" --luacheckrc > "$dir/rc" && cmp "$dir/rc" "$src/share/luacheckrc" || fail "--luacheckrc"
"$@" --lua-defs | cmp - "$src/share/kelgame-defs.lua" || fail "--lua-defs"
luacheck --no-color --config "$dir/rc" "$src/data" "$src/examples" > "$dir/log-lint" ||
    fail "luacheck warns on the bundled game or an example"

game="$dir/new game"   # a space: the name becomes "new-game"
"$@" --new "$game" > "$dir/log-new" || fail "--new failed"
(cd "$game" && luacheck --no-color .) > "$dir/log-lint-new" || fail "the starter does not lint clean"
cp "$game/README.md" "$dir/readme"
rm "$game/main.lua"
"$@" --new "$game/" > "$dir/log-again" 2>&1 && fail "--new wrote over an existing game"
grep -q "^kelgame: --new: .*/README.md exists; nothing written$" "$dir/log-again" || fail "no reason given"
[ ! -e "$game/main.lua" ] && cmp -s "$game/README.md" "$dir/readme" || fail "a refused --new wrote"
rm -rf "$game" && "$@" --new "$game" > /dev/null || fail "--new after removal"

run() {  # run NAME ARGS...: in its own directory, which is also HOME
    name=$1
    shift
    mkdir -p "$dir/$name"
    (cd "$dir/$name" && HOME="$dir/$name" timeout -k 5 $((60 * ${KEL_TIMEOUT_SCALE:-1})) $kelgame \
        --verbose -crash exit -mod "$game" -fixed-dt -frames 60 "$@") > "$dir/log-$name" 2>&1 ||
        fail "exit status $? ($name)"
    ! grep -q -e '^kelgame: ' -e 'Lua error' -e 'Sanitizer' -e 'runtime error:' "$dir/log-$name" ||
        fail "a warning or an error ($name)"
    grep -qx '{"hops":2}' "$dir/$name/new-game-save.json" || fail "the two hops were not saved ($name)"
}
kelgame="$*"
run headless -headless -replay "$here/play.txt"
run window -width 320 -height 180 -replay "$here/play.txt" -record rec.txt -capture 59:end.png
run again -width 320 -height 180 -replay "$dir/window/rec.txt" -capture 59:end.png
cmp -s "$dir/window/end.png" "$dir/again/end.png" || fail "the recording replays to another frame"
echo "tools_run: ok"
