// Engine-side cost of one image command: recorded into the API's draw list and replayed
// into the batch, with the batch's GL calls switched off (the GPU is not measured).
// Needs a display (make bench runs it under Xvfb): images are loaded as textures.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <vector>

#include "bench/bench_window.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_misc/mods_view.h"
#include "util/kel_driver-sdl2.h"
#include "util/kel_driver.h"
#include "util/kel_gfx.h"

static ModsAPI* _api;

// Process CPU time: the machine may be shared, wall time would count the waits.
static double cpu_ns() {
    struct timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e9 + ts.tv_nsec;
}

static bool _setup() {
    if (_api) return true;
    _api = bench_window_up("bench_app_gfx", nullptr);
    if (!_api) return false;
    _api->params_set("datadir", var(KEL_SOURCE_DIR "/bench/sprites/love"));
    return gfx_img_load("sprite") != 0;
}

// N sprites at fixed pseudo-random places, a quarter of them rotated: one frame each.
static void BM_ImageRecordReplay(benchmark::State& state) {
    if (!_setup()) {
        state.SkipWithError("no window");
        return;
    }
    const int n = (int)state.range(0);
    std::vector<float> xs(n), ys(n);
    srand(42);
    for (int i = 0; i < n; i++) xs[i] = (float)(rand() % 624), ys[i] = (float)(rand() % 464);
    const std::string name = "sprite";
    gfx_batch_dry_set(1);
    double t0 = cpu_ns();
    for (auto _ : state) {
        _api->clear();
        _api->view(0, 0, 640, 480);
        for (int i = 0; i < n; i++)
            _api->image_draw(name, 0xFFFFFF, 255, xs[i], ys[i], 16, 16, (i & 3) ? 0.0f : 33.0f);
        _api->replay();
    }
    gfx_batch_dry_set(0);
    state.counters["ns_per_sprite"] = cpu_ns() - t0;
    state.counters["ns_per_sprite"] = state.counters["ns_per_sprite"] / ((double)n * state.iterations());
}
BENCHMARK(BM_ImageRecordReplay)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
