#!/bin/sh
# Regenerates the committed test sounds (needs sox with Ogg Vorbis support).
# Every tone is a sine at half of full scale.
set -e
cd "$(dirname "$0")"
sox -n -r 44100 -b 16 -c 1 s16_mono_44100.wav synth 0.1 sine 441 vol 0.5
sox -n -r 22050 -b 8 -c 1 u8_mono_22050.wav synth 0.1 sine 441 vol 0.5
sox -n -r 48000 -b 16 -c 2 s16_stereo_48000.wav synth 0.1 sine 441 sine 882 vol 0.5
sox -n -r 22050 -c 1 mono_22050.ogg synth 1 sine 500 vol 0.5
sox -n -r 44100 -c 2 stereo_44100.ogg synth 1 sine 441 sine 882 vol 0.5
sox -n -r 44100 -b 16 -c 1 beep.wav synth 0.5 sine 1000 vol 0.5
