#include "util/kel_mixer.h"

// Placeholders until the audio unit lands: every load yields id 0, which is ignored.
void mixer_init() {}
void mixer_deinit() {}
int mixer_sample_load(const char*) { return 0; }
int mixer_stream_load(const char*) { return 0; }
void mixer_sample_play(int, float, float) {}
void mixer_stream_play(int, float) {}
void mixer_stream_stop(int) {}
void mixer_stream_pause(int, int) {}
void mixer_volume(int, float) {}
void mixer_reload_auto() {}
void mixer_clock_set(mixer_clock_fn) {}
const char* _mixer_sample_path(const char*) { return nullptr; }
const char* _mixer_stream_path(const char*) { return nullptr; }
