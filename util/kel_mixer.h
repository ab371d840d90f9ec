// kel_mixer: samples and streams by name, on top of the audio driver.
//
// A name is a word or a relative path without extension; it is resolved by trying
// the extensions "", ".wav", ".ogg", ".mp3", ".aac", ".caf", ".raw" in the data area,
// then in the user area. Each name is loaded once; its id (0 when it could not be
// found or loaded, which is remembered too) is returned on every later request.
//
//   mixer_init();
//   int id = mixer_sample_load("jump");   // data/jump.wav, say
//   mixer_sample_play(id, 1.0f, 0.0f);
//   mixer_reload_auto();                  // every frame; checks files once a second
//   mixer_deinit();
//
// Main thread only.
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

// The wall clock of the reload check, in whole seconds; null restores time().
typedef long (*mixer_clock_fn)(void);
void mixer_clock_set(mixer_clock_fn fn);
// The resolved path of a loaded sample name ("" when not found, null when never asked).
const char* _mixer_sample_path(const char* name);

#endif
