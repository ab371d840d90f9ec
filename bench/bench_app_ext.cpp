// Extension calls that touch whole frames, on a 640 x 480 window under Xvfb: a
// "screenshot" (replay, readback, encoding, atomic write) and a frame with "trans:draw"
// beside the plain frame of the same scene. glFinish makes the GL work count.
#include <GLES/gl.h>
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "bench/bench_window.h"
#include "src/ext_trans/ext_trans.h"
#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "util/kel_driver-sdl2.h"
#include "util/kel_driver.h"
#include "util/kel_gfx.h"

static Game _game;
static ModsAPI* _api;

// A game-like frame: sky, ground, 200 coloured tiles.
static void _scene(uint32_t sky) {
    _api->clear();
    _api->view(0, 0, 640, 480);
    _api->rect_draw(sky, 0, 0, 640, 320);
    _api->rect_draw(0x30A040, 0, 320, 640, 160);
    for (int i = 0; i < 200; i++)
        _api->rect_draw(0x102030u * (uint32_t)(i % 7 + 1), (float)(i * 37 % 608),
                        (float)(i * 53 % 448), 32, 32);
}

static bool _setup() {
    if (_api) return true;
    _api = bench_window_up("bench_app_ext", &_game);
    if (!_api) return false;
    _game.api = _api;
    ext_trans_init(&_game);
    _api->ext_call("trans:init", "");
    _scene(0x4080E0);
    _api->ext_call("trans:grab0", "");
    _scene(0xE08040);
    _api->ext_call("trans:grab1", "");
    return true;
}

static void BM_Screenshot(benchmark::State& state) {
    if (!_setup()) return state.SkipWithError("no window");
    std::string path = "/tmp/kel_bench_shot_" + std::to_string(getpid()) +
                       (state.range(0) ? ".png" : ".jpg");
    std::string arg = "{\"filename\":\"" + path + "\"}";
    for (auto _ : state) {
        gfx_clear();
        if (_api->ext_call("screenshot", arg.c_str()).size() < 3)
            return state.SkipWithError("screenshot failed");
    }
    state.SetLabel(state.range(0) ? "png" : "jpeg");
    unlink(path.c_str());
}
BENCHMARK(BM_Screenshot)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arg: 0 the plain frame, else the frame with that effect over it at t = 0.3.
static void BM_TransFrame(benchmark::State& state) {
    if (!_setup()) return state.SkipWithError("no window");
    static const char* effects[] = {"", "zoom", "fade", "bzoom", "deres"};
    const char* effect = effects[state.range(0)];
    std::string arg = std::string("{\"effect\":\"") + effect + "\",\"value\":0.3}";
    for (auto _ : state) {
        gfx_clear();
        _api->replay();
        if (*effect) _api->ext_call("trans:draw", arg.c_str());
        glFinish();
    }
    state.SetLabel(*effect ? effect : "plain");
}
BENCHMARK(BM_TransFrame)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
