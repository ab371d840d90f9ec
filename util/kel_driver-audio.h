// kel_driver-audio: the SDL audio device and the software mixer.
//
// One device, mixed in 32-bit float stereo at 44100 Hz on SDL's audio thread, then
// peak-limited and converted to whatever format the device accepted. Sounds are
// sources in a table, referred to by id (1 up; 0 means none and is ignored by every
// call). Voices are what plays now: a sample may sound several times at once, a
// stream has at most one voice and loops.
//
//   _driver_audio_init();                       // by driver_init; silent if no device
//   int id = driver_audio_sample_load("a.wav"); // decoded whole into memory
//   driver_audio_sample_play(id, 1.0f, 0.0f);
//   int s = driver_audio_stream_load("m.ogg");  // decoded while it plays
//   driver_audio_stream_play(s, 0.5f);
//   driver_audio_stream_stop(s);
//
// A sample is held decoded in memory, so it may last at most
// DRIVER_AUDIO_SAMPLE_SECONDS (about 21 MB at the mix format); a longer sound is
// refused, named on stderr, and plays as an Ogg stream instead.
//
// All calls are main-thread only. They change the voice list and the source table
// under the device lock; loading and unloading of a source happen outside it, while
// no voice refers to the source.
#ifndef KEL_DRIVER_AUDIO_H
#define KEL_DRIVER_AUDIO_H

#include <stdint.h>
#include <atomic>
#include <vector>

enum { DRIVER_AUDIO_SAMPLE_SECONDS = 60 };

struct stb_vorbis;
struct _SDL_AudioStream;

// A sound generator; get_samples fills up to n interleaved stereo floats at 44100 Hz
// and returns how many it wrote. Runs on the audio thread.
class AudioCallback {
public:
    virtual int get_samples(float* buffer, int n);
    virtual ~AudioCallback();
};

// Positions and lengths count floats of interleaved stereo at 44100 Hz (2 per frame).
class AudioSource {
public:
    virtual int length() = 0;
    virtual int get(int pos, int n, float* tmp) = 0;
    virtual bool load();
    virtual void unload();
    virtual ~AudioSource();
};

// Decoded sound held in memory; counts its bytes in memused for its lifetime.
class AudioSourceMemory : public AudioSource {
public:
    explicit AudioSourceMemory(int count);  // zeroed; data null if allocation failed
    ~AudioSourceMemory() override;
    int length() override;
    int get(int pos, int n, float* tmp) override;
    int count;
    float* data;
    uint32_t bytes;
};

// Wraps a generator (owned) as an endless source.
class AudioSourceCallback : public AudioSource {
public:
    explicit AudioSourceCallback(AudioCallback* cb);
    ~AudioSourceCallback() override;
    int length() override;
    int get(int pos, int n, float* tmp) override;
    AudioCallback* callback;
};

// An Ogg Vorbis file decoded while it plays. The compressed file stays in memory
// while loaded. Read in order from position 0; a rate other than 44100 Hz is
// converted so the stream keeps its pitch and speed. The length is the file's claim
// until the decoder reaches its end; the end found there wins.
class AudioSourceVorbis : public AudioSource {
public:
    explicit AudioSourceVorbis(const char* path);
    ~AudioSourceVorbis() override;
    int length() override;
    int get(int pos, int n, float* tmp) override;
    bool load() override;
    void unload() override;
    char path[1024];
    stb_vorbis* decoder;
    unsigned rate;                // the file's sample rate
    int channels;                 // the file's channels
    unsigned char* file;          // the compressed file
    int len;                      // float samples at the mix rate
    uint32_t accounted;           // bytes added to memused
    _SDL_AudioStream* resampler;  // rate conversion, only when rate != 44100
    std::vector<float> decoded;   // decoder output before rate conversion
    uint64_t decoded_frames;      // frames the decoder gave since the start
    bool drained;                 // decoder at its end, resampler flushed
    std::atomic<bool> failed;     // the last load failed: the mixer does not retry
};

// A voice: one playing instance of a source.
struct AudioVoice {
    int id;
    float volume;   // target
    float extra;    // second play parameter; kept, not used by the mixing
    float current;  // volume reached at the end of the last mix
    int started;
    int position;   // in float samples
    int loop;
    int paused;
};

void _driver_audio_init();
void _driver_audio_deinit();
int driver_audio_sample_load(const char* path);
int driver_audio_stream_load(const char* path);
void driver_audio_sample_play(int id, float volume, float extra);
void driver_audio_stream_play(int id, float volume);
void driver_audio_stream_stop(int id);
void driver_audio_stream_pause(int id, int paused);
void driver_audio_volume(int id, float volume);
int driver_audio_callback_play(AudioCallback* cb, float volume);
// A changed sound file is noticed by the manager; the sound in memory stays.
void driver_audio_sample_reload(int id);
void driver_audio_stream_reload(int id);
void _driver_audio_memused(int delta);
// The decoders behind driver_audio_sample_load: a whole file as a memory sample at the
// mix format (owned by the caller), null when it cannot be read or decoded.
AudioSource* _driver_audio_sample_load_ogg(const char* path);
AudioSource* _driver_audio_sample_load_wav(const char* path);

// Unit-internal, also used by tests and benchmarks.
int _driver_audio_active();                      // 1 while a device is open
int _driver_audio_source_add(AudioSource* src);  // takes ownership; 0 without a mixer
AudioSource* _driver_audio_source(int id);
uint32_t _driver_audio_memused_get();
float _driver_audio_peak();
std::vector<AudioVoice> _driver_audio_voices();
// The SDL callback; mixes len bytes of the obtained format into stream.
void _driver_audio_callback(void* userdata, unsigned char* stream, int len);
// Runs the callback on the calling thread under the device lock.
void _driver_audio_mix(unsigned char* stream, int len);
void _driver_audio_pause(int paused);  // pauses the device's own callbacks
// Pretends the device accepted another format (freq, SDL format code, channels).
void _driver_audio_obtained_set(int freq, int format, int channels);
int _driver_audio_obtained_bytes_per_frame();

#endif
