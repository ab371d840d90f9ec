#include "util/kel_driver-audio.h"

#include <SDL.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include "util/kel_driver.h"
#include "util/kel_log.h"

enum { MIX_FREQ = 44100, MIX_CHANNELS = 2, MIX_FRAMES = 1024 };
enum { RESAMPLE_FRAMES = 1024 };  // decoder chunk fed to a stream's rate converter

struct Mixer {
    SDL_AudioDeviceID device;
    SDL_AudioSpec mix;
    SDL_AudioSpec desired;
    SDL_AudioSpec obtained;
    std::vector<AudioSource*> sources;
    std::vector<AudioVoice> voices;
    float peak;
    // Callback state, kept between calls so the audio thread does not allocate.
    std::vector<float> mixbuf;
    std::vector<float> scratch;
    std::vector<Uint8> cvtbuf;
    SDL_AudioCVT cvt;
    int cvt_valid;  // cvt matches the obtained format below
    SDL_AudioFormat cvt_format;
    int cvt_channels;
    int cvt_freq;
};

static Mixer* _mixer = nullptr;
// A statistic for the log; the audio thread changes it when a failed stream retries.
static std::atomic<uint32_t> _memused(0);

// --- sources

int AudioCallback::get_samples(float*, int) { return 0; }
AudioCallback::~AudioCallback() {}

bool AudioSource::load() { return true; }
void AudioSource::unload() {}
AudioSource::~AudioSource() {}

AudioSourceMemory::AudioSourceMemory(int n) : count(n > 0 ? n : 0), data(nullptr), bytes(0) {
    if (count > 0) data = (float*)calloc((size_t)count, sizeof(float));
    if (!data) count = 0;
    bytes = (uint32_t)count * 4u;
    if (bytes) _driver_audio_memused((int)bytes);
}

AudioSourceMemory::~AudioSourceMemory() {
    free(data);
    if (bytes) _driver_audio_memused(-(int)bytes);
}

int AudioSourceMemory::length() { return count; }

int AudioSourceMemory::get(int pos, int n, float* tmp) {
    if (pos < 0 || pos >= count || n <= 0) return 0;
    int m = std::min(n, count - pos);
    memcpy(tmp, data + pos, (size_t)m * sizeof(float));
    return m;
}

AudioSourceCallback::AudioSourceCallback(AudioCallback* cb) : callback(cb) {}
AudioSourceCallback::~AudioSourceCallback() { delete callback; }
int AudioSourceCallback::length() { return 1; }

int AudioSourceCallback::get(int, int n, float* tmp) {
    if (!callback) return 0;
    int m = callback->get_samples(tmp, n);
    return std::max(0, std::min(m, n));
}

// Appends packet `want` (from 0) of an Ogg file to out by its pages' lacing; false when
// the file ends first.
static bool _ogg_packet(const unsigned char* p, size_t n, int want, std::string* out) {
    size_t pos = 0;
    int packet = 0;
    while (pos + 27 <= n && memcmp(p + pos, "OggS", 4) == 0) {
        int segs = p[pos + 26];
        size_t at = pos + 27 + (size_t)segs;
        if (at > n) return false;
        for (int i = 0; i < segs; i++) {
            size_t len = p[pos + 27 + i];
            if (at + len > n) return false;
            if (packet == want) out->append((const char*)p + at, len);
            at += len;
            if (len < 255 && packet++ == want) return true;
        }
        pos = at;
    }
    return false;
}

static uint32_t _ogg_u32(const std::string& s, size_t at) {
    const unsigned char* b = (const unsigned char*)s.data() + at;
    return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
}

// stb_vorbis trusts the lengths of the comment header: a forged one makes it free
// pointers it never set (a crash, on the audio thread for a stream). The comment packet
// must hold every length it announces.
static bool _ogg_comments_sound(const unsigned char* p, size_t n) {
    std::string c;
    if (!_ogg_packet(p, n, 1, &c) || c.size() < 15 || memcmp(c.data(), "\x03vorbis", 7) != 0)
        return false;
    size_t at = 7;
    uint32_t len = _ogg_u32(c, at);
    if (len > c.size() - at - 8) return false;  // the vendor, then the comment count
    at += 4 + len;
    uint32_t count = _ogg_u32(c, at);
    at += 4;
    if (count > (c.size() - at) / 4) return false;
    for (uint32_t i = 0; i < count; i++) {
        if (c.size() - at < 4) return false;
        len = _ogg_u32(c, at);
        at += 4;
        if (len > c.size() - at) return false;
        at += len;
    }
    return true;
}

AudioSourceVorbis::AudioSourceVorbis(const char* p)
    : path(), decoder(nullptr), rate(0), channels(0), file(nullptr), len(0), accounted(0),
      resampler(nullptr), decoded_frames(0), drained(false), failed(false) {
    snprintf(path, sizeof path, "%s", p ? p : "");
}

AudioSourceVorbis::~AudioSourceVorbis() { unload(); }

// The mixer's way in: a stream that failed to load stays silent, without trying (and
// logging) again on every buffer, until it is played again.
static bool _vorbis_ready(AudioSourceVorbis* s) { return s->decoder || (!s->failed && s->load()); }

int AudioSourceVorbis::length() { return _vorbis_ready(this) ? len : 0; }

bool AudioSourceVorbis::load() {
    if (decoder) return true;
    failed = true;  // until the end below is reached
    KEL_LOG("AudioSourceVorbis.load", "_mixer: AudioSourceVorbis.load '%s' ...\n", path);
    size_t size = 0;
    unsigned char* buf = (unsigned char*)driver_file_alloc(path, &size);
    if (!buf || size > (size_t)INT_MAX) {
        free(buf);
        KEL_LOG("AudioSourceVorbis.load",
                "_mixer: error in _stream_load_ogg '%s' (driver_file_alloc)\n", path);
        return false;
    }
    int err = 0;
    stb_vorbis* v = _ogg_comments_sound(buf, size)
                        ? stb_vorbis_open_memory(buf, (int)size, &err, nullptr)
                        : nullptr;
    if (!v) {
        free(buf);
        KEL_LOG("AudioSourceVorbis.load",
                "_mixer: error in _stream_load_ogg '%s' (stb_vorbis_open_memory)\n", path);
        return false;
    }
    stb_vorbis_info info = stb_vorbis_get_info(v);
    rate = info.sample_rate;
    channels = info.channels;
    if (rate != MIX_FREQ) {
        // Keeps the stream at its own pitch; the converter carries its filter state
        // across buffers, so there is one per stream.
        resampler = SDL_NewAudioStream(AUDIO_F32SYS, MIX_CHANNELS, (int)rate, AUDIO_F32SYS,
                                       MIX_CHANNELS, MIX_FREQ);
        if (!resampler) {
            stb_vorbis_close(v);
            free(buf);
            KEL_LOG("AudioSourceVorbis.load",
                    "_mixer: error in _stream_load_ogg '%s' (SDL_NewAudioStream: %s)\n", path,
                    SDL_GetError());
            return false;
        }
        decoded.assign((size_t)RESAMPLE_FRAMES * MIX_CHANNELS, 0.0f);
    }
    uint64_t frames = stb_vorbis_stream_length_in_samples(v);
    if (rate != MIX_FREQ && rate > 0) frames = frames * MIX_FREQ / rate;
    uint64_t floats = frames * MIX_CHANNELS;
    if (floats > (uint64_t)(INT_MAX - 1)) floats = (uint64_t)(INT_MAX - 1);
    len = (int)floats;
    file = buf;
    decoded_frames = 0;
    drained = false;
    accounted = (uint32_t)size;
    _driver_audio_memused((int)accounted);
    decoder = v;  // last: a decoder means fully loaded
    failed = false;
    return true;
}

void AudioSourceVorbis::unload() {
    if (!decoder) return;
    KEL_LOG("AudioSourceVorbis.unload", "_mixer: AudioSourceVorbis.unload '%s' ...\n", path);
    stb_vorbis_close(decoder);
    decoder = nullptr;
    if (resampler) SDL_FreeAudioStream(resampler);
    resampler = nullptr;
    std::vector<float>().swap(decoded);
    free(file);
    file = nullptr;
    _driver_audio_memused(-(int)accounted);
    accounted = 0;
}

// Decodes up to frames stereo frames into out; a mono file sounds on both channels.
static int _vorbis_decode(AudioSourceVorbis* s, float* out, int frames) {
    int got = stb_vorbis_get_samples_float_interleaved(s->decoder, MIX_CHANNELS, out,
                                                        frames * MIX_CHANNELS);
    if (got < 0) got = 0;
    if (s->channels == 1)
        for (int i = 0; i < got; i++) out[2 * i + 1] = out[2 * i];
    return got;
}

// The decoder is at its end: the stream is as long as what came out of it, whatever
// its last page claimed (a forged claim would leave hours of silence before the loop).
static void _vorbis_end(AudioSourceVorbis* s, uint64_t floats) {
    if (floats < (uint64_t)s->len) s->len = (int)floats;
}

int AudioSourceVorbis::get(int pos, int n, float* tmp) {
    if (!_vorbis_ready(this)) return 0;
    int count = std::min(n, len - pos);
    count &= ~1;
    if (count <= 0) return 0;
    if (pos == 0) {
        stb_vorbis_seek_start(decoder);
        if (resampler) SDL_AudioStreamClear(resampler);
        decoded_frames = 0;
        drained = false;
    }
    if (!resampler) {
        int frames = count / MIX_CHANNELS, got = _vorbis_decode(this, tmp, frames);
        if (got < frames) _vorbis_end(this, (uint64_t)pos + (uint64_t)got * MIX_CHANNELS);
        return got * MIX_CHANNELS;
    }
    int want = count * (int)sizeof(float);
    while (!drained && SDL_AudioStreamAvailable(resampler) < want) {
        int got = _vorbis_decode(this, decoded.data(), RESAMPLE_FRAMES);
        if (got > 0) {
            decoded_frames += (uint64_t)got;
            SDL_AudioStreamPut(resampler, decoded.data(),
                               got * MIX_CHANNELS * (int)sizeof(float));
        } else {
            // The converter holds back the last input until more follows: push
            // silence through it; the length bound cuts what lies past the end.
            std::fill(decoded.begin(), decoded.end(), 0.0f);
            SDL_AudioStreamPut(resampler, decoded.data(), (int)(decoded.size() * sizeof(float)));
            SDL_AudioStreamFlush(resampler);
            drained = true;
            _vorbis_end(this, decoded_frames * MIX_FREQ / rate * MIX_CHANNELS);
            count = std::min(count, len - pos) & ~1;
            if (count <= 0) return 0;
            want = count * (int)sizeof(float);
        }
    }
    int bytes = SDL_AudioStreamGet(resampler, tmp, want);
    if (bytes < 0) bytes = 0;
    return (bytes / (int)sizeof(float)) & ~1;
}

// --- device

static void _cvt_update(Mixer* m);

void _driver_audio_memused(int delta) {
    uint32_t now = _memused.fetch_add((uint32_t)delta) + (uint32_t)delta;
    KEL_LOG("_driver_audio_memused", "_mixer->memused: %.2fM\n", now / 1048576.0);
}

uint32_t _driver_audio_memused_get() { return _memused.load(); }

// The sound library's probes (ALSA on a machine without a sound card) write a screen of
// errors straight to fd 2; unless verbose, that fd points at /dev/null while the device is
// found and opened. Returns the saved fd, or -1 when nothing was changed.
static int _stderr_hush() {
    if (driver_verbose_get()) return -1;
    fflush(stderr);
    int saved = fcntl(2, F_DUPFD_CLOEXEC, 3);
    if (saved < 0) return -1;
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0 || dup2(null, 2) < 0) {
        if (null >= 0) close(null);
        close(saved);
        return -1;
    }
    close(null);
    return saved;
}

static void _stderr_back(int saved) {
    if (saved < 0) return;
    fflush(stderr);
    while (dup2(saved, 2) < 0 && errno == EINTR) {
    }
    close(saved);
}

static void _audio_open_failed() {
    log_warn("no sound device (%s): the game runs silent", SDL_GetError());
}

void _driver_audio_init() {
    if (_mixer) return;
    int saved = _stderr_hush();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        _stderr_back(saved);
        _audio_open_failed();
        return;
    }
    Mixer* m = new Mixer();
    m->sources.push_back(nullptr);
    m->peak = 1.0f;
    SDL_zero(m->mix);
    m->mix.freq = MIX_FREQ;
    m->mix.format = AUDIO_F32LSB;
    m->mix.channels = MIX_CHANNELS;
    m->desired = m->mix;
    m->desired.samples = MIX_FRAMES;
    m->desired.callback = _driver_audio_callback;
    m->desired.userdata = nullptr;
    SDL_zero(m->obtained);
    m->device = SDL_OpenAudioDevice(nullptr, 0, &m->desired, &m->obtained,
                                    SDL_AUDIO_ALLOW_ANY_CHANGE);
    _stderr_back(saved);
    if (m->device == 0) {
        _audio_open_failed();
        delete m;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return;
    }
    KEL_LOG("_driver_audio_init", "_mixer: device=%d, freq=%d, channels=%d, samples=%d\n",
            (int)m->device, m->obtained.freq, m->obtained.channels, m->obtained.samples);
    KEL_LOG("_driver_audio_init", "_mixer: audio_init: OK\n");
    // Size the callback's buffers now so the audio thread starts without allocating.
    _cvt_update(m);
    if (m->cvt.needed >= 0) {
        size_t n = 2 * (size_t)ceil(m->obtained.size / m->cvt.len_ratio / 4.0 / 2.0);
        m->mixbuf.resize(n);
        m->scratch.resize(n);
        if (m->cvt.needed) m->cvtbuf.resize(n * 4 * (size_t)m->cvt.len_mult);
    }
    _mixer = m;
    SDL_PauseAudioDevice(m->device, 0);
}

void _driver_audio_deinit() {
    if (!_mixer) return;
    KEL_LOG("_driver_audio_deinit", "_mixer: audio_deinit ...\n");
    Mixer* m = _mixer;
    SDL_CloseAudioDevice(m->device);  // joins the audio thread
    for (size_t i = m->sources.size(); i-- > 1;) delete m->sources[i];
    delete m;
    _mixer = nullptr;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    KEL_LOG("_driver_audio_deinit", "_mixer: audio_deinit: OK\n");
}

int _driver_audio_active() { return _mixer != nullptr; }

static AudioSource* _source(int id) {
    if (!_mixer || id <= 0 || (size_t)id >= _mixer->sources.size()) return nullptr;
    return _mixer->sources[id];
}

AudioSource* _driver_audio_source(int id) { return _source(id); }

int _driver_audio_source_add(AudioSource* src) {
    if (!src) return 0;
    if (!_mixer) {
        delete src;
        return 0;
    }
    SDL_LockAudioDevice(_mixer->device);
    _mixer->sources.push_back(src);
    int id = (int)_mixer->sources.size() - 1;
    SDL_UnlockAudioDevice(_mixer->device);
    return id;
}

float _driver_audio_peak() {
    if (!_mixer) return 1.0f;
    SDL_LockAudioDevice(_mixer->device);
    float p = _mixer->peak;
    SDL_UnlockAudioDevice(_mixer->device);
    return p;
}

std::vector<AudioVoice> _driver_audio_voices() {
    std::vector<AudioVoice> v;
    if (!_mixer) return v;
    SDL_LockAudioDevice(_mixer->device);
    v = _mixer->voices;
    SDL_UnlockAudioDevice(_mixer->device);
    return v;
}

// --- loading

// Converts len bytes of (format, channels, freq) audio to a memory source in the mix format.
static AudioSource* _driver_audio_convert(const void* buf, Uint32 len, SDL_AudioFormat format,
                                          int channels, int freq, const char* path) {
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, format, (Uint8)channels, freq, AUDIO_F32LSB, MIX_CHANNELS,
                          MIX_FREQ) < 0) {
        KEL_LOG("_driver_audio_convert", "_mixer: error converting '%s' - %s\n", path,
                SDL_GetError());
        return nullptr;
    }
    uint64_t cap = (uint64_t)len * (uint64_t)(cvt.len_mult > 0 ? cvt.len_mult : 1);
    if (len == 0 || len > (Uint32)INT_MAX || cap > (uint64_t)INT_MAX) {
        KEL_LOG("_driver_audio_convert", "_mixer: error converting '%s' - bad size %u\n", path,
                (unsigned)len);
        return nullptr;
    }
    cvt.len = (int)len;
    cvt.buf = (Uint8*)malloc((size_t)cap);
    if (!cvt.buf) return nullptr;
    memcpy(cvt.buf, buf, len);
    if (SDL_ConvertAudio(&cvt) < 0) {
        KEL_LOG("_driver_audio_convert", "_mixer: error converting '%s' - %s\n", path,
                SDL_GetError());
        free(cvt.buf);
        return nullptr;
    }
    int count = (cvt.len_cvt / 4) & ~1;  // whole stereo frames
    AudioSourceMemory* src = nullptr;
    if (count > 0) {
        src = new AudioSourceMemory(count);
        if (src->data) {
            memcpy(src->data, cvt.buf, (size_t)count * 4);
        } else {
            delete src;
            src = nullptr;
        }
    }
    free(cvt.buf);
    return src;
}

// A sample is decoded whole: frames at rate are refused past DRIVER_AUDIO_SAMPLE_SECONDS,
// before the decoding or conversion that would take their memory. `cut`: the decoding
// was stopped there, the sound is longer still.
static bool _sample_too_long(uint64_t frames, int rate, const char* path, bool cut = false) {
    if (rate <= 0 || frames <= (uint64_t)DRIVER_AUDIO_SAMPLE_SECONDS * (uint64_t)rate)
        return false;
    char length[32];
    if (cut)
        snprintf(length, sizeof length, "over %d s", (int)DRIVER_AUDIO_SAMPLE_SECONDS);
    else
        snprintf(length, sizeof length, "%.0f s", (double)frames / rate);
    KEL_LOG("_sample_too_long", "_mixer: sample '%s' lasts %s, more than %d s\n", path, length,
            (int)DRIVER_AUDIO_SAMPLE_SECONDS);
    log_warn("sound too long for a sample: %s (%s, at most %d s): play it as an Ogg stream",
             path, length, (int)DRIVER_AUDIO_SAMPLE_SECONDS);
    return true;
}

AudioSource* _driver_audio_sample_load_ogg(const char* path) {
    size_t size = 0;
    unsigned char* buf = (unsigned char*)driver_file_alloc(path, &size);
    if (!buf || size > (size_t)INT_MAX) {
        free(buf);
        KEL_LOG("_driver_audio_sample_load_ogg",
                "_mixer: error in _sample_load_ogg '%s' (driver_file_alloc)\n", path);
        return nullptr;
    }
    int err = 0;
    stb_vorbis* v = _ogg_comments_sound(buf, size)
                        ? stb_vorbis_open_memory(buf, (int)size, &err, nullptr)
                        : nullptr;
    stb_vorbis_info info = {};
    if (v) info = stb_vorbis_get_info(v);
    int channels = info.channels, rate = (int)info.sample_rate;
    std::vector<short> out;
    bool ok = v && channels > 0 && rate > 0;
    // The last page's claim refuses a long file at once; 0xFFFFFFFE means a claim past
    // 32 bits, not believed. The decoding below stops at the limit whatever the claim.
    unsigned claim = ok ? stb_vorbis_stream_length_in_samples(v) : 0;
    bool refused = ok && claim != 0xFFFFFFFEu && _sample_too_long(claim, rate, path);
    uint64_t max = (uint64_t)DRIVER_AUDIO_SAMPLE_SECONDS * (uint64_t)rate;
    std::vector<short> chunk((size_t)4096 * (size_t)(channels > 0 ? channels : 1));
    while (ok && !refused) {
        int got = stb_vorbis_get_samples_short_interleaved(v, channels, chunk.data(),
                                                           (int)chunk.size());
        if (got <= 0) break;
        out.insert(out.end(), chunk.begin(), chunk.begin() + (size_t)got * channels);
        uint64_t frames = out.size() / (size_t)channels;
        if (frames > max) refused = _sample_too_long(frames, rate, path, true);
    }
    if (v) stb_vorbis_close(v);
    free(buf);
    if (refused) return nullptr;
    if (!ok || out.empty()) {
        KEL_LOG("_driver_audio_sample_load_ogg",
                "_mixer: error in _sample_load_ogg '%s' (stb_vorbis_open_memory)\n", path);
        return nullptr;
    }
    return _driver_audio_convert(out.data(), (Uint32)(out.size() * sizeof(short)), AUDIO_S16SYS,
                                 channels, rate, path);
}

static uint32_t _wav_u32(const unsigned char* b) {
    return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
}

// SDL's WAV reader allocates the size a chunk header claims before it reads: a forged
// header asks for gigabytes. Every chunk inside the RIFF must fit in the file. Chunks
// are looked for up to the RIFF's end (the whole file when it claims 0 or more than
// there is), as SDL does, so bytes appended after it are not taken for chunks.
static bool _wav_chunks_sound(const unsigned char* p, size_t n, const char* path) {
    if (n < 12 || memcmp(p, "RIFF", 4) != 0 || memcmp(p + 8, "WAVE", 4) != 0) {
        KEL_LOG("_driver_audio_sample_load_wav", "_mixer: '%s' is not a RIFF WAVE file\n", path);
        return false;
    }
    uint64_t riff = _wav_u32(p + 4);
    uint64_t end = riff == 0 || riff > n - 8 ? n : riff + 8;
    for (uint64_t at = 12; at + 8 <= end;) {
        uint64_t size = _wav_u32(p + at + 4);
        if (size > n - at - 8) {
            KEL_LOG("_driver_audio_sample_load_wav",
                    "_mixer: '%s': chunk '%.4s' claims %llu bytes, the file holds %llu after it\n",
                    path, (const char*)p + at, (unsigned long long)size,
                    (unsigned long long)(n - at - 8));
            return false;
        }
        at += 8 + size + (size & 1);
    }
    return true;
}

AudioSource* _driver_audio_sample_load_wav(const char* path) {
    size_t size = 0;
    unsigned char* file = (unsigned char*)driver_file_alloc(path, &size);
    SDL_AudioSpec fmt;
    Uint8* buf = nullptr;
    Uint32 len = 0;
    if (!file || size > (size_t)INT_MAX || !_wav_chunks_sound(file, size, path) ||
        !SDL_LoadWAV_RW(SDL_RWFromConstMem(file, (int)size), 1, &fmt, &buf, &len)) {
        free(file);
        KEL_LOG("_driver_audio_sample_load_wav", "_mixer: error in _sample_load_wav '%s'\n", path);
        return nullptr;
    }
    free(file);
    int frame = (int)(SDL_AUDIO_BITSIZE(fmt.format) / 8) * fmt.channels;
    AudioSource* src = nullptr;
    if (frame <= 0 || !_sample_too_long(len / (Uint32)frame, fmt.freq, path))
        src = _driver_audio_convert(buf, len, fmt.format, fmt.channels, fmt.freq, path);
    SDL_FreeWAV(buf);
    return src;
}

int driver_audio_sample_load(const char* path) {
    if (!_mixer || !path) return 0;
    AudioSource* src = strstr(path, ".ogg") ? _driver_audio_sample_load_ogg(path)
                                            : _driver_audio_sample_load_wav(path);
    if (!src) return 0;
    int id = _driver_audio_source_add(src);
    KEL_LOG("driver_audio_sample_load", "_mixer: sample_load %d (%s)\n", id, path);
    return id;
}

int driver_audio_stream_load(const char* path) {
    if (!_mixer || !path) return 0;
    AudioSource* src = nullptr;
    if (strstr(path, ".ogg")) {
        if (strlen(path) >= sizeof(((AudioSourceVorbis*)nullptr)->path)) {
            KEL_LOG("driver_audio_stream_load", "_mixer: stream path too long '%s'\n", path);
            return 0;
        }
        src = new AudioSourceVorbis(path);
    } else {
        src = _driver_audio_sample_load_wav(path);
    }
    if (!src) return 0;
    int id = _driver_audio_source_add(src);
    KEL_LOG("driver_audio_stream_load", "_mixer: stream_load %d (%s)\n", id, path);
    return id;
}

void driver_audio_sample_reload(int) {}
void driver_audio_stream_reload(int) {}

// --- voices

static void _voice_add(int id, float volume, float extra, int loop) {
    AudioVoice v = {id, volume, extra, volume, 0, 0, loop, 0};
    SDL_LockAudioDevice(_mixer->device);
    _mixer->voices.push_back(v);
    SDL_UnlockAudioDevice(_mixer->device);
}

static void _voices_remove(int id) {
    SDL_LockAudioDevice(_mixer->device);
    std::vector<AudioVoice>& vs = _mixer->voices;
    vs.erase(std::remove_if(vs.begin(), vs.end(), [id](const AudioVoice& v) { return v.id == id; }),
             vs.end());
    SDL_UnlockAudioDevice(_mixer->device);
}

void driver_audio_sample_play(int id, float volume, float extra) {
    if (!_source(id)) return;
    _voice_add(id, volume, extra, 0);
}

void driver_audio_stream_play(int id, float volume) {
    AudioSource* src = _source(id);
    if (!src) return;
    KEL_LOG("driver_audio_stream_play", "_mixer: stream_play %d\n", id);
    _voices_remove(id);
    src->load();  // a failure plays silence until the next play
    _voice_add(id, volume, 0.0f, 1);
}

void driver_audio_stream_stop(int id) {
    AudioSource* src = _source(id);
    if (!src) return;
    KEL_LOG("driver_audio_stream_stop", "_mixer: stream_stop\n");
    _voices_remove(id);
    src->unload();
}

void driver_audio_stream_pause(int id, int paused) {
    if (!_source(id)) return;
    KEL_LOG("driver_audio_stream_pause", "_mixer: stream_pause\n");
    SDL_LockAudioDevice(_mixer->device);
    for (AudioVoice& v : _mixer->voices)
        if (v.id == id) v.paused = paused;
    SDL_UnlockAudioDevice(_mixer->device);
}

void driver_audio_volume(int id, float volume) {
    if (!_source(id)) return;
    SDL_LockAudioDevice(_mixer->device);
    for (AudioVoice& v : _mixer->voices)
        if (v.id == id) v.volume = volume;
    SDL_UnlockAudioDevice(_mixer->device);
}

int driver_audio_callback_play(AudioCallback* cb, float volume) {
    if (!cb) return 0;
    if (!_mixer) {
        delete cb;
        return 0;
    }
    int id = _driver_audio_source_add(new AudioSourceCallback(cb));
    _voice_add(id, volume, 0.0f, 1);
    return id;
}

// --- mixing

// Adds m samples of src into dst at volume c, ramping linearly to t over the buffer.
static void _mix_add(float* dst, const float* src, int m, float c, float t) {
    if (c == t) {
        if (c == 0.0f) return;
        if (c == 1.0f) {
            for (int i = 0; i < m; i++) dst[i] += src[i];
        } else {
            for (int i = 0; i < m; i++) dst[i] += src[i] * c;
        }
        return;
    }
    float step = (t - c) / (float)m;
    for (int i = 0; i < m; i++) dst[i] += src[i] * (c + step * (float)i);
}

// Scales the mix so it never exceeds 1.0; a drop in level is released over one buffer.
static void _limit(float* buf, int n, float* peak) {
    float p = 1.0f;
    for (int i = 0; i < n; i++) p = std::max(p, fabsf(buf[i]));
    float prev = *peak;
    if (p >= prev) {
        if (p != 1.0f) {
            float g = 1.0f / p;
            for (int i = 0; i < n; i++) buf[i] *= g;
        }
    } else {
        float g0 = 1.0f / prev, step = (1.0f / p - g0) / (float)n;
        for (int i = 0; i < n; i++) buf[i] *= g0 + step * (float)i;
    }
    *peak = p;
}

static void _cvt_update(Mixer* m) {
    const SDL_AudioSpec& o = m->obtained;
    if (m->cvt_valid && m->cvt_format == o.format && m->cvt_channels == o.channels &&
        m->cvt_freq == o.freq)
        return;
    if (SDL_BuildAudioCVT(&m->cvt, m->mix.format, m->mix.channels, m->mix.freq, o.format,
                          o.channels, o.freq) < 0) {
        SDL_BuildAudioCVT(&m->cvt, m->mix.format, m->mix.channels, m->mix.freq, m->mix.format,
                          m->mix.channels, m->mix.freq);
        m->cvt.needed = -1;  // unusable: the callback outputs silence
    }
    m->cvt_valid = 1;
    m->cvt_format = o.format;
    m->cvt_channels = o.channels;
    m->cvt_freq = o.freq;
}

// Fills all n samples of a looping voice: at the end of the source it goes on from
// the start within the same buffer, so music loops without a gap. A source that comes
// short before its end (or has no length) leaves silence for the rest, and the
// position still moves by the whole buffer.
static int _voice_fill_loop(AudioVoice& v, AudioSource* src, float* tmp, int n) {
    int off = std::max(0, std::min(src->get(v.position, n, tmp), n));
    v.position += off;
    int len = src->length();  // after the read: a stream learns its end by reaching it
    while (off < n && len > 0 && v.position >= len) {
        v.position = 0;
        int more = std::max(0, std::min(src->get(0, n - off, tmp + off), n - off));
        if (!more) break;
        off += more;
        v.position += more;
        len = src->length();
    }
    if (off < n) {
        memset(tmp + off, 0, (size_t)(n - off) * sizeof(float));
        v.position += n - off;
    }
    if (v.position >= len) v.position = 0;
    return n;
}

void _driver_audio_callback(void*, Uint8* stream, int len) {
    Mixer* m = _mixer;
    if (!m || len <= 0) return;
    _cvt_update(m);
    if (m->cvt.needed < 0) {
        SDL_memset(stream, m->obtained.silence, (size_t)len);
        return;
    }
    int n = 2 * (int)ceil(len / m->cvt.len_ratio / 4.0 / 2.0);
    if (m->mixbuf.size() < (size_t)n) {
        m->mixbuf.resize(n);
        m->scratch.resize(n);
    }
    float* mix = m->mixbuf.data();
    float* tmp = m->scratch.data();
    bool mixed = false;
    std::vector<AudioVoice>& vs = m->voices;
    for (size_t k = vs.size(); k-- > 0;) {
        AudioVoice& v = vs[k];
        AudioSource* src = _source(v.id);
        if (!src) {
            vs.erase(vs.begin() + (long)k);
            continue;
        }
        if (!v.started) {
            v.started = 1;
            v.current = v.volume;
        }
        if (v.paused) continue;
        if (!mixed) {
            memset(mix, 0, (size_t)n * sizeof(float));
            mixed = true;
        }
        int got = v.loop ? _voice_fill_loop(v, src, tmp, n) : src->get(v.position, n, tmp);
        if (got > 0) _mix_add(mix, tmp, got, v.current, v.volume);
        v.current = v.volume;
        if (v.loop) continue;
        v.position += n;
        if (v.position >= src->length()) vs.erase(vs.begin() + (long)k);
    }
    if (!mixed) {
        SDL_memset(stream, m->obtained.silence, (size_t)len);
        m->peak = 1.0f;
        return;
    }
    _limit(mix, n, &m->peak);
    int bytes = n * 4;
    if (!m->cvt.needed) {
        memcpy(stream, mix, (size_t)std::min(len, bytes));
        if (bytes < len) SDL_memset(stream + bytes, m->obtained.silence, (size_t)(len - bytes));
        return;
    }
    size_t cap = (size_t)bytes * (size_t)m->cvt.len_mult;
    if (m->cvtbuf.size() < cap) m->cvtbuf.resize(cap);
    m->cvt.len = bytes;
    m->cvt.buf = m->cvtbuf.data();
    memcpy(m->cvt.buf, mix, (size_t)bytes);
    int out = 0;
    if (SDL_ConvertAudio(&m->cvt) == 0) out = std::min(len, m->cvt.len_cvt);
    memcpy(stream, m->cvt.buf, (size_t)out);
    if (out < len) SDL_memset(stream + out, m->obtained.silence, (size_t)(len - out));
}

void _driver_audio_mix(Uint8* stream, int len) {
    if (!_mixer) {
        memset(stream, 0, (size_t)len);
        return;
    }
    SDL_LockAudioDevice(_mixer->device);
    _driver_audio_callback(nullptr, stream, len);
    SDL_UnlockAudioDevice(_mixer->device);
}

void _driver_audio_pause(int paused) {
    if (_mixer) SDL_PauseAudioDevice(_mixer->device, paused);
}

void _driver_audio_obtained_set(int freq, int format, int channels) {
    if (!_mixer) return;
    SDL_LockAudioDevice(_mixer->device);
    SDL_AudioSpec& o = _mixer->obtained;
    o.freq = freq;
    o.format = (SDL_AudioFormat)format;
    o.channels = (Uint8)channels;
    o.silence = format == AUDIO_U8 ? 0x80 : 0;
    o.size = (Uint32)(o.samples * channels * (SDL_AUDIO_BITSIZE(o.format) / 8));
    SDL_UnlockAudioDevice(_mixer->device);
}

int _driver_audio_obtained_bytes_per_frame() {
    if (!_mixer) return 0;
    return _mixer->obtained.channels * (SDL_AUDIO_BITSIZE(_mixer->obtained.format) / 8);
}
