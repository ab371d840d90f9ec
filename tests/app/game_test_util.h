// Games started in process: headless from a script text, or with a window and stepped
// frame by frame with input pushed through SDL's queue.
#ifndef GAME_TEST_UTIL_H
#define GAME_TEST_UTIL_H

#include <string>
#include <vector>

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_base.h"
#include "tests/test_util.h"

class GameRun : public ::testing::Test {
protected:
    std::vector<std::string> args;
    std::vector<char*> argv;
    std::string script;  // written by headless()
    SDL_Joystick* js = nullptr;

    void run(const std::vector<std::string>& a) {
        args = a;
        for (std::string& s : args) argv.push_back(&s[0]);
        game_init((int)argv.size(), argv.data());
        ASSERT_NE(game_current(), nullptr);
    }
    // One script file per test: ctest runs the tests of a file side by side in one directory.
    void headless(const std::string& source, const std::vector<std::string>& extra = {}) {
        script = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".lua";
        write_file(script, source);
        std::vector<std::string> a = {"kelgame", "-headless", "-mod", script};
        a.insert(a.end(), extra.begin(), extra.end());
        run(a);
    }
    void TearDown() override {
        pad_detach(js);
        game_deinit();
        if (!script.empty()) remove(script.c_str());
    }
    static std::string call(const char* fn, const std::string& arg = "") {
        return game_current()->mod->call(fn, arg);
    }
    // One turn of the frame loop, events first.
    static void frame() {
        Event e;
        while (driver_event_poll(&e))
            if (e.type) game_event(e);
        game_loop();
        game_paint();
    }
    static void frames(int n) {
        for (int i = 0; i < n && !HasFatalFailure(); i++) frame();
    }
    // What the script printed since the last call, oldest first.
    static std::vector<std::string> printed() {
        std::vector<std::string>& lines = game_current()->api->console_lines;
        std::vector<std::string> out(lines.rbegin(), lines.rend());
        lines.clear();
        return out;
    }
    void pad_button(SDL_GameControllerButton b) {
        for (Uint8 v : {1, 0}) SDL_JoystickSetVirtualButton(js, b, v), frame();
    }
};

typedef std::vector<std::string> Lines;

#endif
