// Script API costs per frame: draw calls and parameter reads from Lua, the console,
// and MD5 throughput of the "md5_digest" extension.
#include <benchmark/benchmark.h>

#include <lua.hpp>
#include <string>

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_lua.h"
#include "util/kel_driver.h"
#include "util/kel_md5.h"

namespace {

struct Host {
    Game game{};
    ModsAPI api{&game};
    ModsLua mod{&api};
    Host() {
        game.api = &api;
        game.mod = &mod;
        mods_lua_run(mod.L, "function frame(n) for i = 1, n do "
                            "kel_image_draw('hero', i, i, 32, 32) end end "
                            "function frame_long(n) for i = 1, n do "
                            "kel_image_draw('hero_with_a_long_name', i, i, 32, 32) end end "
                            "function reads(n) local s = 0 for i = 1, n do "
                            "s = s + kel_params_get('view_x') end return s end",
                     "bench");
        api.params_set("view_x", var(3));
    }
};

// One frame's worth of sprites recorded from Lua (the list is cleared per frame);
// the second argument 1 names an image past the 15 bytes a string keeps inline.
void BM_LuaImageDraw(benchmark::State& st) {
    Host h;
    int n = (int)st.range(0);
    const char* fn = st.range(1) ? "frame_long" : "frame";
    for (auto _ : st) {
        h.api.clear();
        lua_getglobal(h.mod.L, fn);
        lua_pushinteger(h.mod.L, n);
        lua_call(h.mod.L, 1, 0);
    }
    st.SetItemsProcessed(st.iterations() * n);
}
BENCHMARK(BM_LuaImageDraw)->Args({1000, 0})->Args({5000, 0})->Args({5000, 1});

void BM_LuaParamsGet(benchmark::State& st) {
    Host h;
    for (auto _ : st) {
        lua_getglobal(h.mod.L, "reads");
        lua_pushinteger(h.mod.L, 1000);
        lua_call(h.mod.L, 1, 1);
        lua_pop(h.mod.L, 1);
    }
    st.SetItemsProcessed(st.iterations() * 1000);
}
BENCHMARK(BM_LuaParamsGet);

// A print of ten lines into a full console (the 255-line cut runs every time), and one
// of 100000 lines, of which only the last 255 stay.
void BM_Console(benchmark::State& st) {
    ModsAPI api(nullptr);
    std::string text;
    for (int i = 0; i < st.range(0); i++) text += "score 12345\tlives 3\n";
    text += "last";
    for (int i = 0; i < 30; i++) api.console(text);
    for (auto _ : st) api.console(text);
    if (api.console_lines.size() != MODS_CONSOLE_MAX || api.console_lines[0] != "last")
        st.SkipWithError("the console does not hold the newest lines");
    st.SetItemsProcessed(st.iterations() * st.range(0));
}
BENCHMARK(BM_Console)->Arg(10)->Arg(100000);

void BM_Md5(benchmark::State& st) {
    std::string data((size_t)st.range(0), 'x');
    for (auto _ : st) benchmark::DoNotOptimize(md5_hex(data.data(), data.size()));
    st.SetBytesProcessed(st.iterations() * (int64_t)data.size());
}
BENCHMARK(BM_Md5)->Arg(64)->Arg(1 << 20);

}  // namespace

int main(int argc, char** argv) {
    driver_verbose_set(0);  // the console echoes through the log otherwise
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
