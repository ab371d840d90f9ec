// A headless game started in process from a script text, its functions called directly.
#ifndef GAME_TEST_UTIL_H
#define GAME_TEST_UTIL_H

#include <string>
#include <vector>

#include "src/game/game.h"
#include "src/mods_lua/mods_base.h"
#include "tests/test_util.h"

class GameRun : public ::testing::Test {
protected:
    std::string script;
    std::vector<std::string> args;  // kept: the game may hold on to its arguments
    std::vector<char*> argv;

    // One script file per test: ctest runs the tests of a file side by side in one directory.
    void headless(const std::string& source, const std::vector<std::string>& extra = {}) {
        script = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".lua";
        write_file(script, source);
        args = {"kelgame", "-headless", "-mod", script};
        args.insert(args.end(), extra.begin(), extra.end());
        for (std::string& s : args) argv.push_back(&s[0]);
        game_init((int)argv.size(), argv.data());
        ASSERT_NE(game_current(), nullptr);
    }
    void TearDown() override {
        game_deinit();
        if (!script.empty()) remove(script.c_str());
    }
    static std::string call(const char* fn, const std::string& arg = "") {
        return game_current()->mod->call(fn, arg);
    }
};

#endif
