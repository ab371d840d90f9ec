// The mixing callback driven directly: voices, volume ramps, the limiter, conversion.
#include <SDL.h>
#include <string.h>

#include "tests/engine/test_audio_util.h"

static std::vector<float> ramp_data(int n) {
    std::vector<float> d((size_t)n);
    for (int i = 0; i < n; i++) d[(size_t)i] = (float)(i % 1000) / 4000.0f;  // below 0.25
    return d;
}

TEST_F(AudioTest, SilenceGivesZeroBytesAndResetsThePeak) {
    std::atomic<float> level(2.0f);
    int gen = driver_audio_callback_play(new ConstGen(&level), 1.0f);
    ASSERT_GT(gen, 0);
    ta_mix();
    EXPECT_FLOAT_EQ(_driver_audio_peak(), 2.0f);
    driver_audio_stream_stop(gen);
    EXPECT_EQ(ta_voice_count(), 0);
    std::vector<unsigned char> out(TA_BYTES, 0xAB);
    _driver_audio_mix(out.data(), TA_BYTES);
    EXPECT_EQ(out, std::vector<unsigned char>(TA_BYTES, 0));
    EXPECT_FLOAT_EQ(_driver_audio_peak(), 1.0f);
}

TEST_F(AudioTest, SamplePlaysOverlapAndEndInTheirLastCallback) {
    int id = ta_memory(std::vector<float>(2 * TA_FLOATS, 0.25f));
    driver_audio_sample_play(id, 1.0f, 7.0f);
    std::vector<float> a = ta_mix();
    EXPECT_FLOAT_EQ(a[0], 0.25f);
    EXPECT_FLOAT_EQ(a[TA_FLOATS - 1], 0.25f);
    driver_audio_sample_play(id, 1.0f, 0.0f);
    ASSERT_EQ(ta_voice_count(), 2);
    EXPECT_FLOAT_EQ(_driver_audio_voices()[0].extra, 7.0f);
    std::vector<float> b = ta_mix();  // first voice's last buffer, second's first
    for (float v : b) ASSERT_FLOAT_EQ(v, 0.5f);
    std::vector<AudioVoice> vs = _driver_audio_voices();
    ASSERT_EQ(vs.size(), 1u);  // the first ended here
    EXPECT_EQ(vs[0].position, TA_FLOATS);
    std::vector<float> c = ta_mix();
    EXPECT_FLOAT_EQ(c[5], 0.25f);
    EXPECT_EQ(ta_voice_count(), 0);
}

TEST_F(AudioTest, ShortSampleAddsOnlyItsSamples) {
    int id = ta_memory(std::vector<float>(100, 0.5f));
    driver_audio_sample_play(id, 1.0f, 0.0f);
    std::vector<float> a = ta_mix();
    EXPECT_FLOAT_EQ(a[99], 0.5f);
    EXPECT_FLOAT_EQ(a[100], 0.0f);
    EXPECT_FLOAT_EQ(a[TA_FLOATS - 1], 0.0f);
    EXPECT_EQ(ta_voice_count(), 0);
}

TEST_F(AudioTest, StreamPlayRestartsLoopsAndPauseKeepsPosition) {
    std::vector<float> d = ramp_data(3 * TA_FLOATS);
    int id = ta_memory(d);
    driver_audio_stream_play(id, 1.0f);
    std::vector<float> a = ta_mix();
    EXPECT_EQ(0, memcmp(a.data(), d.data(), TA_BYTES));
    // play again: the old voice goes, the new one starts at 0
    driver_audio_stream_play(id, 1.0f);
    std::vector<AudioVoice> vs = _driver_audio_voices();
    ASSERT_EQ(vs.size(), 1u);
    EXPECT_EQ(vs[0].position, 0);
    EXPECT_EQ(vs[0].loop, 1);
    a = ta_mix();
    EXPECT_EQ(0, memcmp(a.data(), d.data(), TA_BYTES));
    // pause: nothing mixed, position kept
    driver_audio_stream_pause(id, 1);
    a = ta_mix();
    EXPECT_EQ(a, std::vector<float>(TA_FLOATS, 0.0f));
    EXPECT_EQ(_driver_audio_voices()[0].position, TA_FLOATS);
    driver_audio_stream_pause(id, 0);
    a = ta_mix();
    EXPECT_EQ(0, memcmp(a.data(), d.data() + TA_FLOATS, TA_BYTES));
    a = ta_mix();  // last buffer of the source: wraps to 0 afterwards
    EXPECT_EQ(_driver_audio_voices()[0].position, 0);
    a = ta_mix();
    EXPECT_EQ(0, memcmp(a.data(), d.data(), TA_BYTES));
}

TEST_F(AudioTest, VolumeChangeRampsOverOneBuffer) {
    std::atomic<float> level(0.5f);
    int gen = driver_audio_callback_play(new ConstGen(&level), 1.0f);
    std::vector<float> a = ta_mix();
    EXPECT_FLOAT_EQ(a[TA_FLOATS / 2], 0.5f);
    driver_audio_volume(gen, 0.0f);
    a = ta_mix();
    EXPECT_FLOAT_EQ(a[0], 0.5f);
    for (int i = 0; i < TA_FLOATS; i += 97)
        ASSERT_NEAR(a[(size_t)i], 0.5f * (1.0f - (float)i / TA_FLOATS), 1e-5f) << i;
    EXPECT_LT(a[TA_FLOATS - 1], 0.001f);
    a = ta_mix();
    EXPECT_EQ(a, std::vector<float>(TA_FLOATS, 0.0f));
    // a constant volume other than 1 scales; a voice starts at its volume, no fade-in
    driver_audio_volume(gen, 0.5f);
    a = ta_mix();
    EXPECT_NEAR(a[TA_FLOATS - 1], 0.25f, 1e-3f);
    int gen2 = driver_audio_callback_play(new ConstGen(&level), 0.5f);
    ASSERT_GT(gen2, gen);
    a = ta_mix();
    EXPECT_FLOAT_EQ(a[0], 0.5f);
    EXPECT_FLOAT_EQ(a[TA_FLOATS - 1], 0.5f);
}

TEST_F(AudioTest, LimiterAttacksAtOnceAndReleasesOverOneBuffer) {
    std::atomic<float> level(2.0f);
    driver_audio_callback_play(new ConstGen(&level), 1.0f);
    std::vector<float> a = ta_mix();
    for (float v : a) ASSERT_FLOAT_EQ(v, 1.0f);
    EXPECT_FLOAT_EQ(_driver_audio_peak(), 2.0f);
    level = 1.0f;
    a = ta_mix();
    for (int i = 0; i < TA_FLOATS; i += 101)
        ASSERT_NEAR(a[(size_t)i], 0.5f + 0.5f * (float)i / TA_FLOATS, 1e-5f) << i;
    EXPECT_FLOAT_EQ(_driver_audio_peak(), 1.0f);
    a = ta_mix();
    for (float v : a) ASSERT_FLOAT_EQ(v, 1.0f);
    // quiet passages stay as they are
    level = 0.25f;
    a = ta_mix();
    for (float v : a) ASSERT_FLOAT_EQ(v, 0.25f);
    // a negative peak counts by its size
    level = -4.0f;
    a = ta_mix();
    EXPECT_FLOAT_EQ(a[3], -1.0f);
    EXPECT_FLOAT_EQ(_driver_audio_peak(), 4.0f);
}

TEST_F(AudioTest, BadIdsAreIgnored) {
    int id = ta_memory(std::vector<float>(16, 0.5f));
    for (int bad : {0, -1, id + 1, 1 << 30}) {
        driver_audio_sample_play(bad, 1.0f, 0.0f);
        driver_audio_stream_play(bad, 1.0f);
        driver_audio_stream_pause(bad, 1);
        driver_audio_volume(bad, 0.5f);
        driver_audio_stream_stop(bad);
        driver_audio_sample_reload(bad);
        driver_audio_stream_reload(bad);
    }
    EXPECT_EQ(ta_voice_count(), 0);
    EXPECT_EQ(_driver_audio_source(0), nullptr);
    EXPECT_EQ(_driver_audio_source(id + 1), nullptr);
    EXPECT_EQ(ta_mix(), std::vector<float>(TA_FLOATS, 0.0f));
}

// What the device receives must equal a conversion built afresh for every buffer.
static std::vector<unsigned char> reference_convert(const std::vector<float>& mix, int freq,
                                                    SDL_AudioFormat fmt, int ch, int len) {
    SDL_AudioCVT cvt;
    SDL_BuildAudioCVT(&cvt, AUDIO_F32LSB, 2, 44100, fmt, (Uint8)ch, freq);
    int n = 2 * (int)ceil(len / cvt.len_ratio / 4.0 / 2.0);
    std::vector<unsigned char> buf((size_t)n * 4 * (size_t)cvt.len_mult);
    memcpy(buf.data(), mix.data(), (size_t)n * 4);
    cvt.buf = buf.data();
    cvt.len = n * 4;
    if (cvt.needed) SDL_ConvertAudio(&cvt);
    buf.resize((size_t)len);
    return buf;
}

TEST_F(AudioTest, OutputIsConvertedToTheObtainedFormat) {
    std::vector<float> sine(8 * TA_FLOATS);
    for (size_t i = 0; i < sine.size(); i++) sine[i] = 0.5f * sinf((float)(i / 2) * 0.0628f);
    int id = ta_memory(sine);
    driver_audio_stream_play(id, 1.0f);
    struct Fmt {
        int freq;
        SDL_AudioFormat format;
        int channels;
    } fmts[] = {{44100, AUDIO_S16LSB, 2}, {22050, AUDIO_S16LSB, 1}, {22050, AUDIO_S16LSB, 1},
                {48000, AUDIO_S16LSB, 2}, {44100, AUDIO_F32LSB, 2}};
    size_t pos = 0;
    for (const Fmt& f : fmts) {
        _driver_audio_obtained_set(f.freq, f.format, f.channels);
        int len = TA_FRAMES * _driver_audio_obtained_bytes_per_frame();
        SDL_AudioCVT probe;
        SDL_BuildAudioCVT(&probe, AUDIO_F32LSB, 2, 44100, f.format, (Uint8)f.channels, f.freq);
        size_t n = 2 * (size_t)ceil(len / probe.len_ratio / 8.0);
        std::vector<float> mix(sine.begin() + (long)pos, sine.begin() + (long)(pos + n));
        std::vector<unsigned char> want = reference_convert(mix, f.freq, f.format, f.channels, len);
        std::vector<unsigned char> got((size_t)len, 0xAB);
        _driver_audio_mix(got.data(), len);
        EXPECT_EQ(got, want) << f.freq << " " << f.channels;
        pos += n;
    }
    // S16 at half scale
    _driver_audio_obtained_set(44100, AUDIO_S16LSB, 2);
    std::atomic<float> level(0.5f);
    driver_audio_stream_stop(id);
    driver_audio_callback_play(new ConstGen(&level), 1.0f);
    std::vector<Sint16> s16(TA_FLOATS);
    _driver_audio_mix((unsigned char*)s16.data(), TA_FLOATS * 2);
    EXPECT_NEAR(s16[0], 16384, 2);
    EXPECT_NEAR(s16[TA_FLOATS - 1], 16384, 2);
}
