#!/bin/sh
# Runs every fuzz target for a bounded time: fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
# Each target starts from the kept corpus fuzz/corpus/NAME and the hand-made fuzz/seeds/NAME;
# what it finds goes to fuzz/corpus-NAME (not kept). FUZZ_MERGE=1 afterwards folds the finds
# that add coverage into fuzz/corpus/NAME, to be committed.
set -e
build=$(cd "$1" && pwd); secs=${2:-60}
shift 2 || shift $#
here=$(cd "$(dirname "$0")" && pwd)
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"
# stb_vorbis asks for what a forged length claims and copes with a null answer.
export ASAN_OPTIONS="allocator_may_return_null=1"
# the windowed target needs an X server: a virtual one when there is none
run() {
    if [ "$1" = "$build/fuzz/fuzz_script_gl" ] && [ -z "$DISPLAY" ]; then
        xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$@"
    else
        "$@"
    fi
}
targets=$*
[ -n "$targets" ] || targets=$(cd "$build/fuzz" && ls fuzz_* | grep -v '\.')
for name in $targets; do
    exe=$build/fuzz/$name
    [ -x "$exe" ] || continue
    corpus=$here/corpus-$name
    mkdir -p "$corpus"
    seeds=
    # fuzz_script_gl starts from fuzz_script's seeds as well
    for d in "$here/corpus/${name#fuzz_}" "$here/seeds/${name#fuzz_}" "$here/seeds/script"; do
        [ "$d" != "$here/seeds/script" ] || [ "$name" = fuzz_script_gl ] || continue
        [ ! -d "$d" ] || seeds="$seeds $d"
    done
    opts=
    # stb_vorbis leaks a little for many refused files (suppressed above); over a long run
    # that alone passes libFuzzer's default 2 GB.
    [ "$name" != fuzz_ogg ] || opts="-rss_limit_mb=4096"
    case $name in
    fuzz_script*)
        # The game lives on from one input to the next, so nearly every input ends with
        # more allocated than it began with and libFuzzer's leak check after each would
        # scan the whole heap (a third of the time). The harness checks growth per call
        # itself; LeakSanitizer still runs at exit.
        opts="-detect_leaks=0 -timeout=30"
        ;;
    esac
    echo "fuzz: $name for ${secs}s"
    run "$exe" -max_total_time="$secs" -print_final_stats=1 -artifact_prefix="$here/" $opts \
        "$corpus" $seeds
    if [ -n "$FUZZ_MERGE" ]; then
        mkdir -p "$here/corpus/${name#fuzz_}"
        run "$exe" -merge=1 -rss_limit_mb=4096 $opts "$here/corpus/${name#fuzz_}" "$corpus"
    fi
done
