// One key press from SDL's queue to the script: driver_event_poll, translation into
// the event dict, and delivery to a Lua _event that counts it.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <string.h>

#include <lua.hpp>

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_lua.h"
#include "src/mods_misc/mods_event.h"
#include "util/kel_driver-input.h"

static void BM_KeyEventToScript(benchmark::State& state) {
    // With video (Xvfb) key names come from the real key map; the events alone also do.
    if (SDL_Init(SDL_INIT_VIDEO) != 0 && SDL_Init(SDL_INIT_EVENTS) != 0)
        return state.SkipWithError(SDL_GetError());
    Game game = Game();
    ModsAPI* api = new ModsAPI(&game);
    ModsLua* mod = new ModsLua(api);
    game.api = api;
    game.mod = mod;
    mod->script("n = 0 function _event(e) if e.type == 'keydown' and e.name == 'A' then "
                "n = n + 1 end end",
                "bench");
    SDL_Event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = SDL_KEYDOWN;
    ev.key.keysym.sym = SDLK_a;
    ev.key.keysym.scancode = SDL_SCANCODE_A;
    Event e;
    for (auto _ : state) {
        SDL_PushEvent(&ev);
        while (driver_event_poll(&e))
            if (e.type) mods_event_translate(&game, e);
    }
    lua_getglobal(mod->L, "n");
    double n = lua_tonumber(mod->L, -1);
    lua_pop(mod->L, 1);
    if (n != (double)state.iterations()) state.SkipWithError("the script missed key events");
    delete mod;
    delete api;
    SDL_Quit();
}
BENCHMARK(BM_KeyEventToScript)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
