#!/bin/sh
# Builds the threaded tests (audio, the web client's resolver) with ThreadSanitizer and runs them:
#   tests/engine/test_audio_tsan.sh [BUILD_DIR]   (default: build-tsan)
# Exits non-zero when a test fails or a data race is reported.
set -e
src=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$src/build-tsan}
cmake -S "$src" -B "$build" -DKEL_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread" -DCMAKE_C_FLAGS="-fsanitize=thread" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build "$build" --target test_audio_threads test_audio_mixer test_web -j2
work="$build/tests/work/tsan_audio"
mkdir -p "$work"
cd "$work"
export SDL_AUDIODRIVER=dummy KEL_SOURCE_DIR="$src"
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1"
for t in test_audio_threads test_audio_mixer test_web; do
    echo "== $t (ThreadSanitizer)"
    status=0
    "$build/tests/$t" --gtest_brief=1 >"$t.log" 2>&1 || status=$?
    grep -v '^\[.*\.cpp:' "$t.log"
    [ "$status" = 0 ] || { echo "$t: exit status $status" >&2; exit 1; }
done
