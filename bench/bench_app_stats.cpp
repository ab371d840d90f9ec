// What the performance overlay adds to a frame: a 640 x 480 frame of 200 sprites drawn
// and finished on the GPU (glFinish: llvmpipe draws late), with the overlay off (0) and
// on (1). Counters: the overlay's GL draw calls a frame (must be 0 off, above 0 on) and
// its darkening of the top left pixel (must be on exactly when the overlay is).
#include <benchmark/benchmark.h>
#include <GLES/gl.h>
#include <stdlib.h>

#include <vector>

#include "bench/bench_window.h"
#include "src/game/game.h"
#include "src/mods_misc/mods_stats.h"
#include "util/kel_font.h"
#include "util/kel_gfx.h"

static ModsAPI* _api;
static Game _host;

static bool _setup() {
    if (_api) return true;
    _api = bench_window_up("bench_app_stats", &_host);
    if (!_api) return false;
    _host.api = _api;
    font_init();
    _api->params_set("datadir", var(KEL_SOURCE_DIR "/bench/sprites/love"));
    return gfx_img_load("sprite") != 0;
}

static void BM_FrameWithOverlay(benchmark::State& state) {
    if (!_setup()) {
        state.SkipWithError("no window or no sprite");
        return;
    }
    const int on = (int)state.range(0);
    mods_stats_init(on);
    srand(42);
    _api->clear();
    _api->view(0, 0, 640, 480);
    _api->rect_draw(0xffffff, 0, 0, 640, 480);
    for (int i = 0; i < 200; i++)
        _api->image_draw("sprite", 0xFFFFFF, 255, (float)(rand() % 624), (float)(rand() % 464), 16,
                         16, 0.0f);
    long overlay_draws = 0;
    for (auto _ : state) {
        gfx_clear();
        _api->replay();
        mods_stats_scene_end(&_host);
        long before = gfx_counts().draws;
        mods_stats_paint(&_host);
        overlay_draws += gfx_counts().draws - before;
        glFinish();
        gfx_frame_next();
        mods_stats_frame_end();
    }
    std::vector<uint8_t> px = gfx_read_rgba(0, 479, 1, 1);  // GL rows count from the bottom
    mods_stats_deinit();
    double per_frame = (double)overlay_draws / (double)state.iterations();
    state.counters["overlay_draws"] = per_frame;
    bool dark = !px.empty() && px[0] < 128;
    state.counters["dark_corner"] = dark;
    if ((per_frame > 0) != (on != 0) || dark != (on != 0))
        state.SkipWithError("the overlay was not drawn as asked");
}
BENCHMARK(BM_FrameWithOverlay)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
