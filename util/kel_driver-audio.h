// kel_driver-audio: the SDL audio device and the software mixer.
// (Placeholder interface; the audio unit fills it in.)
#ifndef KEL_DRIVER_AUDIO_H
#define KEL_DRIVER_AUDIO_H

void _driver_audio_init();
void _driver_audio_deinit();
int driver_audio_sample_load(const char* path);
int driver_audio_stream_load(const char* path);
void driver_audio_sample_play(int id, float volume, float extra);
void driver_audio_stream_play(int id, float volume);
void driver_audio_stream_stop(int id);
void driver_audio_stream_pause(int id, int paused);
void driver_audio_volume(int id, float volume);

#endif
