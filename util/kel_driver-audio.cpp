#include "util/kel_driver-audio.h"

// Placeholders until the audio unit lands: no device, every load fails.
int AudioCallback::get_samples(float*, int) { return 0; }
AudioCallback::~AudioCallback() {}
bool AudioSource::load() { return true; }
void AudioSource::unload() {}
AudioSource::~AudioSource() {}
AudioSourceMemory::AudioSourceMemory(int n) : count(n), data(nullptr), bytes(0) {}
AudioSourceMemory::~AudioSourceMemory() {}
int AudioSourceMemory::length() { return count; }
int AudioSourceMemory::get(int, int, float*) { return 0; }
AudioSourceCallback::AudioSourceCallback(AudioCallback* cb) : callback(cb) {}
AudioSourceCallback::~AudioSourceCallback() { delete callback; }
int AudioSourceCallback::length() { return 1; }
int AudioSourceCallback::get(int, int, float*) { return 0; }
AudioSourceVorbis::AudioSourceVorbis(const char*)
    : path(), decoder(nullptr), rate(0), channels(0), file(nullptr), len(0), accounted(0),
      resampler(nullptr), drained(false) {}
AudioSourceVorbis::~AudioSourceVorbis() {}
int AudioSourceVorbis::length() { return 0; }
int AudioSourceVorbis::get(int, int, float*) { return 0; }
bool AudioSourceVorbis::load() { return false; }
void AudioSourceVorbis::unload() {}

void _driver_audio_init() {}
void _driver_audio_deinit() {}
int driver_audio_sample_load(const char*) { return 0; }
int driver_audio_stream_load(const char*) { return 0; }
void driver_audio_sample_play(int, float, float) {}
void driver_audio_stream_play(int, float) {}
void driver_audio_stream_stop(int) {}
void driver_audio_stream_pause(int, int) {}
void driver_audio_volume(int, float) {}
int driver_audio_callback_play(AudioCallback* cb, float) { delete cb; return 0; }
void driver_audio_sample_reload(int) {}
void driver_audio_stream_reload(int) {}
void _driver_audio_memused(int) {}
int _driver_audio_active() { return 0; }
int _driver_audio_source_add(AudioSource* src) { delete src; return 0; }
AudioSource* _driver_audio_source(int) { return nullptr; }
uint32_t _driver_audio_memused_get() { return 0; }
float _driver_audio_peak() { return 1.0f; }
std::vector<AudioVoice> _driver_audio_voices() { return {}; }
void _driver_audio_callback(void*, unsigned char*, int) {}
void _driver_audio_mix(unsigned char*, int) {}
void _driver_audio_pause(int) {}
void _driver_audio_obtained_set(int, int, int) {}
int _driver_audio_obtained_bytes_per_frame() { return 8; }
