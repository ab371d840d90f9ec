#include "util/kel_driver-audio.h"

// Placeholders until the audio unit lands: no device, every load fails.
void _driver_audio_init() {}
void _driver_audio_deinit() {}
int driver_audio_sample_load(const char*) { return 0; }
int driver_audio_stream_load(const char*) { return 0; }
void driver_audio_sample_play(int, float, float) {}
void driver_audio_stream_play(int, float) {}
void driver_audio_stream_stop(int) {}
void driver_audio_stream_pause(int, int) {}
void driver_audio_volume(int, float) {}
