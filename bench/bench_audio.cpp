// One 1024-frame mixing callback with memory voices and Vorbis streams. The counters
// give the callback's time as a percentage of the buffer's play time (23.2 ms):
// rt_pct from the thread's CPU time (what the mixing costs), wall_pct from the clock
// (inflated when the machine is busy).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <string>
#include <vector>

#include "util/kel_driver-audio.h"
#include "util/kel_driver.h"

static const double kBufferSeconds = 1024.0 / 44100.0;

static std::string data(const char* name) {
    return std::string(KEL_SOURCE_DIR) + "/tests/data/audio/" + name;
}

static bool start() {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    driver_verbose_set(0);
    _driver_audio_init();
    _driver_audio_pause(1);
    return _driver_audio_active();
}

static double cpu_now() {
    struct timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

static void run(benchmark::State& state) {
    std::vector<float> out(2048);
    double cpu = 0.0, wall = 0.0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        double c0 = cpu_now();
        _driver_audio_mix((unsigned char*)out.data(), (int)(out.size() * 4));
        cpu += cpu_now() - c0;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        benchmark::DoNotOptimize(out.data());
    }
    double n = (double)state.iterations();
    state.counters["rt_pct"] = 100.0 * cpu / n / kBufferSeconds;
    state.counters["wall_pct"] = 100.0 * wall / n / kBufferSeconds;
}

// Looping voices over distinct one-second sounds.
static void BM_MixMemoryVoices(benchmark::State& state) {
    if (!start()) {
        state.SkipWithError("no audio device");
        return;
    }
    for (int v = 0; v < state.range(0); v++) {
        AudioSourceMemory* m = new AudioSourceMemory(2 * 44100);
        for (int i = 0; i < m->count; i++) m->data[i] = (float)((i * (v + 3)) % 200) / 800.0f;
        driver_audio_stream_play(_driver_audio_source_add(m), 0.5f);
    }
    run(state);
    _driver_audio_deinit();
}
BENCHMARK(BM_MixMemoryVoices)->Arg(1)->Arg(16)->Arg(64);

// Streams decoded in the callback: at 44100 Hz, and at 22050 Hz through the rate converter.
static void BM_MixVorbisStreams(benchmark::State& state) {
    if (!start()) {
        state.SkipWithError("no audio device");
        return;
    }
    const char* file = state.range(1) ? "mono_22050.ogg" : "stereo_44100.ogg";
    for (int s = 0; s < state.range(0); s++)
        driver_audio_stream_play(driver_audio_stream_load(data(file).c_str()), 0.5f);
    run(state);
    _driver_audio_deinit();
}
BENCHMARK(BM_MixVorbisStreams)->Args({1, 0})->Args({4, 0})->Args({1, 1})->Args({4, 1});

BENCHMARK_MAIN();
