// kel_mixer: samples and streams by name, on top of the audio driver.
// (Placeholder interface; the audio unit fills it in.)
#ifndef KEL_MIXER_H
#define KEL_MIXER_H

void mixer_init();
void mixer_deinit();
int mixer_sample_load(const char* name);
int mixer_stream_load(const char* name);
void mixer_sample_play(int id, float volume, float extra);
void mixer_stream_play(int id, float volume);
void mixer_stream_stop(int id);
void mixer_stream_pause(int id, int paused);
void mixer_volume(int id, float volume);
void mixer_reload_auto();

#endif
