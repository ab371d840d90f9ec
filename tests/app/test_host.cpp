// The game host and the Lua host: frame arithmetic, the sticky error state and whole
// headless games driven frame by frame with a fake clock. (Print and error objects:
// tests/mods/errors.)
#include <gtest/gtest.h>

#include <lua.hpp>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_lua.h"
#include "tests/app/game_test_util.h"

namespace {

bool console_has(ModsAPI* api, const std::string& part) {
    for (const std::string& l : api->console_lines)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

TEST(HostClock, StepAndLimiter) {
    EXPECT_EQ(game_dt(1000, 1005), 0.005f);
    EXPECT_EQ(game_dt(1000, 4000), 1.0f);  // a long stall is one second at most
    EXPECT_EQ(game_dt(5000, 10), 0.0f);    // a clock going back is no time
    EXPECT_EQ(game_limiter_wait(0, 5), 11);
    EXPECT_EQ(game_limiter_wait(0, 0), 16);
    EXPECT_EQ(game_limiter_wait(0, 17), 0);
    EXPECT_EQ(game_limiter_wait(0, 3000), 0);  // no catching up after a slow frame
    EXPECT_EQ(game_limiter_wait(100, 50), 16);
}

struct LuaHost : ::testing::Test {
    ModsAPI api{nullptr};
    std::unique_ptr<ModsLua> mod{new ModsLua(&api)};
    void run(const char* src) { mod->script(src, "test"); }
    std::string get(const char* expr) {
        run((std::string("function _get() return ") + expr + " end").c_str());
        return mod->call("_get", "");
    }
};

TEST_F(LuaHost, FailureSticksUntilScriptRuns) {
    run("frames = 0 function _init() end function _paint() frames = frames + 1 end");
    mod->init();
    mod->paint();
    mod->loop(0.5f);  // no _loop
    EXPECT_EQ(mod->error, LUA_ERRRUN);
    EXPECT_FALSE(mod->is_okay());
    EXPECT_TRUE(console_has(&api, "kelgame: [string \"loop\"]:1: attempt to call"));
    EXPECT_TRUE(console_has(&api, "stack traceback:"));
    mod->paint();
    mod->init();
    EXPECT_EQ(mod->call("tostring", "x"), "");  // a failed mod runs nothing
    run("");                                     // module loading clears the failure
    EXPECT_EQ(get("frames"), "1");

    run("syntax error here");  // reported, but the mod stays sound
    EXPECT_TRUE(mod->is_okay());
    EXPECT_EQ(lua_gettop(mod->L), 0);
}

// An entry call can run inside another (video:resize delivers its event during the
// script's call): the inner failure sticks though the outer call, and a module it
// then loads, end well.
ModsLua* nesting_mod;
TEST_F(LuaHost, NestedFailureSticks) {
    nesting_mod = mod.get();
    lua_register(mod->L, "nested", [](lua_State*) -> int {
        nesting_mod->event_exact(var(4, 0));
        nesting_mod->script("", "module");
        return 0;
    });
    var ev(4, 0);
    ev.set("outer", true);
    const std::function<void()> outer[] = {
        [&] { mod->init(); }, [&] { mod->loop(0); }, [&] { mod->event(ev); },
        [&] { mod->paint(); }, [&] { mod->call("_init", ""); }};
    for (const auto& call_outer : outer) {
        run("function _event(e) if e.outer then nested() else error('inner') end end "
            "function _init() nested() end _loop, _paint = _init, _init");
        ASSERT_TRUE(mod->is_okay());
        call_outer();
        EXPECT_FALSE(mod->is_okay());
    }
}

TEST_F(LuaHost, EntryTextsAndCall) {
    run("function _loop(dt) last = dt end function _event(e) ev = e.k .. e.n end "
        "function len(s) return #s end function tbl() return {} end");
    mod->loop(0.0166667f);
    EXPECT_EQ(get("string.format('%.10g', last)"), "0.016667");
    var ev(4, 0);
    ev.set("k", "a]=");
    ev.set("n", 2);
    mod->event(ev);
    mod->event(var("not a dict"));  // ignored
    EXPECT_EQ(get("ev"), "a]=2");
    EXPECT_EQ(mod->call("len", std::string("a\0b", 3)), "3");
    EXPECT_EQ(mod->call("tbl", ""), "");
    EXPECT_TRUE(mod->is_okay());
    var bad(4, 0);
    bad.set("not a name", 1);
    mod->event(bad);
    EXPECT_EQ(mod->error, LUA_ERRSYNTAX);
}

// Whole headless games, one frame at a time, on a fake millisecond clock.
unsigned fake_ms = 0;
unsigned fake_clock() { return fake_ms; }

struct HostGame : GameRun {
    void start(const char* source) {
        fake_ms = 1000;
        driver_tick_source_set(fake_clock);
        headless(source);
    }
    void TearDown() override {
        GameRun::TearDown();
        driver_tick_source_set(nullptr);
        SDL_SetModState(KMOD_NONE);
    }
};

const char* counting =
    "calls = 0 function _init() end "
    "function _loop(dt) calls = calls + 1 last = dt end "
    "function get() return calls .. ' ' .. string.format('%g', last or -1) end "
    "function draw() kel_rect_draw(0, 0, 0, 1, 1) return '' end";

TEST_F(HostGame, TimeStepAndDailyReset) {
    start(counting);
    const std::pair<unsigned, const char*> frames[] = {
        {0, "1 0"}, {5, "2 0.005"}, {3000, "3 1"},
        {86400001, "3 1"},  // past 24 hours: the clock is reset and the script skips a frame
        {20, "4 0.02"},
        {0x90000000u, "5 0"}};  // a reading that went negative is reset before the step
    for (auto& f : frames) {
        fake_ms += f.first;
        game_loop();
        EXPECT_EQ(call("get"), f.second) << "after " << f.first << " ms";
        if (f.first == 86400001) {
            EXPECT_LT(driver_ticks(), 10);
        }
    }
    EXPECT_EQ(game_quit(-1), 0);
    call("draw");  // recorded outside a paint: a headless frame drops it too
    game_paint();
    EXPECT_TRUE(game_current()->api->draw_list.empty());
}

// The event's own modifier bits decide, not the live keyboard state (a burst pumped at
// once has Alt let go before its Q is read); the other combinations: tests/mods/events.
TEST_F(HostGame, ModifiersFromTheEventNotTheKeyboard) {
    start("seen = {} function _init() end function _event(e) seen[#seen + 1] = e.type end "
          "function get() return table.concat(seen, ',') end");
    SDL_SetModState(KMOD_LCTRL);
    Event e = Event();
    e.type = EVT_KEYDOWN;
    e.key = DRIVER_KEY_A + 5;  // F, with Shift only
    e.button = DRIVER_MOD_SHIFT;
    game_event(e);
    e.key = DRIVER_KEY_A + 16;  // Q, with Alt let go since
    e.button = DRIVER_MOD_ALT;
    SDL_SetModState(KMOD_NONE);
    game_event(e);
    EXPECT_EQ(call("get"), "keydown,suspend");
    EXPECT_EQ(game_quit(-1), 1);
    EXPECT_EQ(game_exit_status(), 0);  // a requested quit is no failure
    game_deinit();
    EXPECT_EQ(game_quit(-1), 1);  // no game: quit
}

}  // namespace
