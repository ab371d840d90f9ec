// The mixer with its device running: the main thread changes voices and sources
// while SDL's audio thread mixes them. Built with -fsanitize=thread by
// tests/tsan_audio.sh to check the lock discipline.
#include <SDL.h>

#include <thread>

#include "tests/engine/test_audio_util.h"

// Counts the buffers the audio thread asks for.
struct CountingGen : AudioCallback {
    std::atomic<int>* calls;
    explicit CountingGen(std::atomic<int>* c) : calls(c) {}
    int get_samples(float* buf, int n) override {
        calls->fetch_add(1);
        for (int i = 0; i < n; i++) buf[i] = 0.1f;
        return n;
    }
};

class AudioThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        _driver_audio_init();
        ASSERT_TRUE(_driver_audio_active());
    }
    void TearDown() override { _driver_audio_deinit(); }
};

static void wait_calls(std::atomic<int>& calls, int at_least) {
    for (int i = 0; i < 400 && calls.load() < at_least; i++) SDL_Delay(5);
}

TEST_F(AudioThreadTest, MainThreadChangesWhileTheDeviceMixes) {
    std::atomic<int> calls(0);
    int gen = driver_audio_callback_play(new CountingGen(&calls), 1.0f);
    ASSERT_GT(gen, 0);
    wait_calls(calls, 2);
    ASSERT_GE(calls.load(), 2) << "the device thread never mixed";

    int wav = driver_audio_sample_load(ta_data("s16_mono_44100.wav").c_str());
    int song = driver_audio_stream_load(ta_data("stereo_44100.ogg").c_str());
    int slow = driver_audio_stream_load(ta_data("mono_22050.ogg").c_str());
    int broken = driver_audio_stream_load("no_such_file.ogg");  // retries on the audio thread
    ASSERT_GT(wav, 0);
    ASSERT_GT(song, 0);
    driver_audio_stream_play(broken, 1.0f);
    Uint32 end = SDL_GetTicks() + 1500;
    for (int round = 0; SDL_GetTicks() < end; round++) {
        driver_audio_sample_play(wav, 0.3f, 0.0f);
        if (round % 7 == 0) driver_audio_stream_play(song, 0.5f);
        if (round % 11 == 0) driver_audio_stream_play(slow, 0.5f);
        driver_audio_volume(song, (float)(round % 10) / 10.0f);
        driver_audio_stream_pause(slow, round % 3 == 0);
        if (round % 13 == 0) driver_audio_stream_stop(song);
        if (round % 17 == 0) driver_audio_sample_load(ta_data("u8_mono_22050.wav").c_str());
        (void)_driver_audio_peak();
        (void)_driver_audio_voices();
        SDL_Delay(3);
    }
    int seen = calls.load();
    wait_calls(calls, seen + 2);
    EXPECT_GE(calls.load(), seen + 2);
    driver_audio_stream_stop(song);
    driver_audio_stream_stop(slow);
    driver_audio_stream_stop(broken);
    driver_audio_stream_stop(gen);
    // short samples end by themselves
    for (int i = 0; i < 200 && ta_voice_count() > 0; i++) SDL_Delay(5);
    EXPECT_EQ(ta_voice_count(), 0);
}

TEST_F(AudioThreadTest, DeinitWhileMixingStopsCleanly) {
    std::atomic<int> calls(0);
    driver_audio_callback_play(new CountingGen(&calls), 1.0f);
    int song = driver_audio_stream_load(ta_data("mono_22050.ogg").c_str());
    driver_audio_stream_play(song, 1.0f);
    wait_calls(calls, 3);
    EXPECT_GE(calls.load(), 3);
    _driver_audio_deinit();  // closes the device with voices still playing
    EXPECT_FALSE(_driver_audio_active());
    EXPECT_EQ(_driver_audio_memused_get(), 0u);
}
