// The mixer with its device running: the main thread changes voices and sources
// while SDL's audio thread mixes them. tests/engine/test_audio_tsan.sh builds this
// with ThreadSanitizer to check the lock discipline.
#include <SDL.h>

#include "tests/engine/test_audio_util.h"

// Counts the buffers the audio thread mixes.
struct CountingGen : ConstGen {
    std::atomic<int>* calls;
    CountingGen(std::atomic<float>* l, std::atomic<int>* c) : ConstGen(l), calls(c) {}
    int get_samples(float* buf, int n) override {
        calls->fetch_add(1);
        return ConstGen::get_samples(buf, n);
    }
};

static bool wait_calls(std::atomic<int>& calls, int at_least) {
    for (int i = 0; i < 400 && calls.load() < at_least; i++) SDL_Delay(5);
    return calls.load() >= at_least;
}

TEST(AudioThreads, MainThreadChangesWhileTheDeviceMixes) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    _driver_audio_init();
    ASSERT_TRUE(_driver_audio_active());
    std::atomic<float> level(0.1f);
    std::atomic<int> calls(0);
    int gen = driver_audio_callback_play(new CountingGen(&level, &calls), 1.0f);
    ASSERT_TRUE(wait_calls(calls, 2)) << "the device thread never mixed";
    int wav = driver_audio_sample_load(ta_data("s16_mono_44100.wav").c_str());
    int song = driver_audio_stream_load(ta_data("stereo_44100.ogg").c_str());
    int slow = driver_audio_stream_load(ta_data("mono_22050.ogg").c_str());
    int broken = driver_audio_stream_load("no_such_file.ogg");  // retries on the audio thread
    driver_audio_stream_play(broken, 1.0f);
    Uint32 end = SDL_GetTicks() + 1500;
    for (int round = 0; SDL_GetTicks() < end; round++) {
        driver_audio_sample_play(wav, 0.3f, 0.0f);
        if (round % 7 == 0) driver_audio_stream_play(song, 0.5f);
        if (round % 11 == 0) driver_audio_stream_play(slow, 0.5f);
        if (round % 13 == 0) driver_audio_stream_stop(song);
        if (round % 17 == 0) driver_audio_sample_load(ta_data("u8_mono_22050.wav").c_str());
        driver_audio_volume(song, (float)(round % 10) / 10.0f);
        driver_audio_stream_pause(slow, round % 3 == 0);
        level = (float)(round % 5);
        (void)_driver_audio_peak();
        SDL_Delay(3);
    }
    EXPECT_TRUE(wait_calls(calls, calls.load() + 2));
    for (int id : {song, broken, gen}) driver_audio_stream_stop(id);
    for (int i = 0; i < 200 && _driver_audio_voices().size() > 1; i++) SDL_Delay(5);
    EXPECT_EQ(_driver_audio_voices().size(), 1u);  // samples ended by themselves
    _driver_audio_deinit();  // with a stream still playing
    EXPECT_FALSE(_driver_audio_active());
    EXPECT_EQ(_driver_audio_memused_get(), 0u);
}
