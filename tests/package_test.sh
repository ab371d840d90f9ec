#!/bin/sh
# Checks a built kelgame package the way a user meets it: lintian finds no error, the
# declared dependencies name SDL2, Lua 5.2 and SQLite, and the unpacked kelgame runs
# a bundled example headless and the bundled game when given no -mod, and has its lint
# standard, editor annotations and --new starter.
#   package_test.sh DEB [EMULATOR]
set -e
deb=$(readlink -f "$1")
emu=$2
[ -f "$deb" ] || { echo "package_test: no package $deb"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

lintian --tag-display-limit 0 "$deb" > "$work/lintian" 2>&1 || true
cat "$work/lintian"
if grep -q '^E:' "$work/lintian"; then echo "package_test: lintian errors"; exit 1; fi

# A description line with two leading spaces is shown verbatim, unwrapped.
if dpkg-deb -f "$deb" Description | grep -q '^  '; then
    echo "package_test: description lines would show verbatim"; exit 1
fi
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libsdl2-2.0-0 liblua5.2-0 libsqlite3-0; do
    echo "$depends" | grep -q "$lib" || { echo "package_test: no dependency on $lib"; exit 1; }
done

dpkg-deb -x "$deb" "$work/root"
bin="$work/root/usr/bin/kelgame"
mkdir "$work/home"
cd "$work/home"
HOME="$work/home" $emu "$bin" --verbose -headless -crash exit \
    -mod "$work/root/usr/share/doc/kelgame/examples/headless" > "$work/out" 2>&1 ||
    { cat "$work/out"; echo "package_test: the example failed"; exit 1; }
grep -q "glider" "$work/out" || { cat "$work/out"; echo "package_test: no result line"; exit 1; }
# No -mod and no ./data: the installed game starts (headless, it runs until stopped).
status=0
HOME="$work/home" timeout 10 $emu "$bin" -headless -crash exit --verbose > "$work/out" 2>&1 ||
    status=$?
grep -q "share/kelgame/main.lua" "$work/out" ||
    { tail -20 "$work/out"; echo "package_test: the bundled game was not found"; exit 1; }
[ "$status" -eq 124 ] || [ "$status" -eq 0 ] ||
    { tail -20 "$work/out"; echo "package_test: the bundled game failed ($status)"; exit 1; }
# The lint standard and annotations are installed as the program prints them, and a new
# game gets the installed font.
$emu "$bin" --luacheckrc | cmp -s - "$work/root/usr/share/kelgame/luacheckrc" ||
    { echo "package_test: luacheckrc not installed as printed"; exit 1; }
$emu "$bin" --lua-defs | cmp -s - "$work/root/usr/share/kelgame/kelgame-defs.lua" ||
    { echo "package_test: annotations not installed as printed"; exit 1; }
$emu "$bin" --new "$work/home/newgame" > /dev/null &&
    cmp -s "$work/home/newgame/fonts/dejavu.fnt" "$work/root/usr/share/kelgame/fonts/dejavu.fnt" ||
    { echo "package_test: --new did not copy the installed font"; exit 1; }
echo "package_test: ok $(basename "$deb") $(du -k "$deb" | cut -f1) kB"
