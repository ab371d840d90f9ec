// Per-frame cost of the host: one headless frame (the "_loop(%f)" chunk built, compiled
// and run) and one delivered event, through the router and straight into the mod.
#include <benchmark/benchmark.h>

#include <stdio.h>

#include <string>

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_base.h"
#include "src/mods_lua/mods_lua_var.h"
#include "util/kel_driver.h"

static const char* _bench_mod =
    "n = 0 function _init() end function _loop(dt) n = n + dt end "
    "function _event(e) n = n + e.x end";

struct BenchGame {
    std::string path = std::string(KEL_BINARY_DIR) + "/bench_app_host.lua";
    std::string args[5] = {"kelgame", "-headless", "-mod", path, "-crash"};
    char* argv[6];
    BenchGame() {
        FILE* f = fopen(path.c_str(), "w");
        fputs(_bench_mod, f);
        fclose(f);
        for (int i = 0; i < 4; i++) argv[i] = &args[i][0];
        driver_verbose_set(0);
        game_init(4, argv);
    }
    ~BenchGame() {
        game_deinit();
        remove(path.c_str());
    }
};

// A script that failed, at its start or while timed, ends the benchmark with an error.
static bool _bench_okay(benchmark::State& state) {
    Game* g = game_current();
    if (g && g->mod && g->mod->is_okay()) return true;
    state.SkipWithError("script failed");
    return false;
}

static var _bench_event() {
    var e(4, 0);
    e.set("type", "mousedown");
    e.set("x", 120.5);
    e.set("y", 33.0);
    e.set("w", 0);
    e.set("h", 0);
    e.set("dx", 0);
    e.set("dy", 0);
    e.set("text", "");
    e.set("button", 1);
    e.set("device", 0);
    return e;
}

static void BM_HostFrame(benchmark::State& state) {
    BenchGame g;
    if (!_bench_okay(state)) return;
    for (auto _ : state) game_loop();
    _bench_okay(state);
}
BENCHMARK(BM_HostFrame);

static void BM_HostEventRouted(benchmark::State& state) {
    BenchGame g;
    Event e = Event();
    e.type = EVT_KEYDOWN;
    e.key = DRIVER_KEY_A;
    if (!_bench_okay(state)) return;
    for (auto _ : state) game_event(e);
    _bench_okay(state);
}
BENCHMARK(BM_HostEventRouted);

static void BM_ModEvent(benchmark::State& state) {
    BenchGame g;
    var e = _bench_event();
    if (!_bench_okay(state)) return;
    ModsBase* mod = game_current()->mod;
    for (auto _ : state) mod->event(e);
    _bench_okay(state);
}
BENCHMARK(BM_ModEvent);

static void BM_EventText(benchmark::State& state) {
    var e = _bench_event();
    for (auto _ : state) benchmark::DoNotOptimize(lua_table_source_of(e));
}
BENCHMARK(BM_EventText);

BENCHMARK_MAIN();
