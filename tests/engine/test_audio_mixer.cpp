// The mixing callback driven directly: voices, volume ramps, the limiter, conversion.
#include <SDL.h>
#include <string.h>

#include "tests/engine/test_audio_util.h"

static const std::vector<float> kZero(TA_FLOATS, 0.0f);

TEST_F(AudioTest, SilenceAndBadIds) {
    std::atomic<float> level(2.0f);
    int gen = driver_audio_callback_play(new ConstGen(&level), 1.0f);
    ta_mix();
    EXPECT_FLOAT_EQ(_driver_audio_peak(), 2.0f);
    driver_audio_stream_stop(gen);
    std::vector<unsigned char> out(TA_BYTES, 0xAB);
    _driver_audio_mix(out.data(), TA_BYTES);
    EXPECT_EQ(out, std::vector<unsigned char>(TA_BYTES, 0));
    EXPECT_FLOAT_EQ(_driver_audio_peak(), 1.0f);
    for (int bad : {0, -1, gen + 1, 1 << 30}) {
        driver_audio_sample_play(bad, 1.0f, 0.0f);
        driver_audio_stream_play(bad, 1.0f);
        driver_audio_stream_pause(bad, 1);
        driver_audio_volume(bad, 0.5f);
        driver_audio_stream_stop(bad);
    }
    EXPECT_EQ(ta_voice_count(), 0);
    EXPECT_EQ(ta_mix(), kZero);
}

// A looping source shorter than a buffer, or ending inside one, goes on from its start
// in the same buffer: no run of silence at the loop point.
TEST_F(AudioTest, LoopsContinueWithinTheBuffer) {
    for (int len : {300, TA_FLOATS + 6, 5 * TA_FLOATS / 2}) {
        std::vector<float> d((size_t)len);
        for (int i = 0; i < len; i++) d[(size_t)i] = 0.1f + 0.5f * (float)i / (float)len;
        int id = ta_memory(d);
        driver_audio_stream_play(id, 1.0f);
        for (int b = 0; b < 4; b++) {
            std::vector<float> out = ta_mix();
            for (int i = 0; i < TA_FLOATS; i++)
                ASSERT_EQ(out[(size_t)i], d[(size_t)((b * TA_FLOATS + i) % len)]) << len << " " << b;
        }
        driver_audio_stream_stop(id);
    }
}

TEST_F(AudioTest, VolumeChangesRampOverOneBuffer) {
    std::atomic<float> level(0.5f);
    int gen = driver_audio_callback_play(new ConstGen(&level), 1.0f);
    EXPECT_FLOAT_EQ(ta_mix()[TA_FLOATS / 2], 0.5f);
    driver_audio_volume(gen, 0.0f);
    std::vector<float> a = ta_mix();
    for (int i = 0; i < TA_FLOATS; i += 97)
        ASSERT_NEAR(a[(size_t)i], 0.5f * (1.0f - (float)i / TA_FLOATS), 1e-5f) << i;
    EXPECT_EQ(ta_mix(), kZero);
    driver_audio_volume(gen, 0.5f);
    EXPECT_NEAR(ta_mix()[TA_FLOATS - 1], 0.25f, 1e-3f);
    driver_audio_callback_play(new ConstGen(&level), 0.5f);  // starts at its volume
    a = ta_mix();
    EXPECT_FLOAT_EQ(a[0], 0.5f);
    EXPECT_FLOAT_EQ(a[TA_FLOATS - 1], 0.5f);
}

// The device gets exactly what a conversion built afresh for each buffer gives.
TEST_F(AudioTest, OutputIsConvertedToTheObtainedFormat) {
    std::vector<float> sine(8 * TA_FLOATS);
    for (size_t i = 0; i < sine.size(); i++) sine[i] = 0.5f * sinf((float)(i / 2) * 0.0628f);
    driver_audio_stream_play(ta_memory(sine), 1.0f);
    const int fmts[][3] = {{44100, AUDIO_S16LSB, 2}, {22050, AUDIO_S16LSB, 1},
                           {22050, AUDIO_S16LSB, 1}, {48000, AUDIO_U8, 2},
                           {44100, AUDIO_F32LSB, 2}};
    size_t pos = 0;
    for (const int* f : fmts) {
        _driver_audio_obtained_set(f[0], f[1], f[2]);
        int len = TA_FRAMES * _driver_audio_obtained_bytes_per_frame();
        SDL_AudioCVT cvt;
        SDL_BuildAudioCVT(&cvt, AUDIO_F32LSB, 2, 44100, (SDL_AudioFormat)f[1], (Uint8)f[2], f[0]);
        size_t n = 2 * (size_t)ceil(len / cvt.len_ratio / 8.0);
        std::vector<unsigned char> want(n * 4 * (size_t)cvt.len_mult);
        memcpy(want.data(), sine.data() + pos, n * 4);
        cvt.buf = want.data();
        cvt.len = (int)n * 4;
        if (cvt.needed) SDL_ConvertAudio(&cvt);
        want.resize((size_t)len);
        std::vector<unsigned char> got((size_t)len, 0xAB);
        _driver_audio_mix(got.data(), len);
        EXPECT_EQ(got, want) << f[0] << " " << f[1] << " " << f[2];
        pos += n;
    }
}
