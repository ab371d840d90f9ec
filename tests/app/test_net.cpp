// Network services seen from a running headless game: finished requests reach _event
// byte for byte, social sign-in events never do, and a restart drops the old script's
// requests and databases.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "src/game/game.h"
#include "src/mods_lua/mods_base.h"
#include "src/mods_misc/mods_restart.h"
#include "tests/net/net_test_util.h"
#include "util/kel_social.h"

namespace {

struct NetGame : ::testing::Test {
    std::string args[4] = {"kelgame", "-headless", "-mod", ""};
    std::vector<char*> argv;
    void start(const std::string& source) {
        // one file per test: ctest runs the tests of this file side by side
        args[3] = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".lua";
        FILE* f = fopen(args[3].c_str(), "w");
        fputs(source.c_str(), f);
        fclose(f);
        for (std::string& a : args) argv.push_back(&a[0]);
        game_init((int)argv.size(), argv.data());
        ASSERT_NE(game_current(), nullptr);
    }
    std::string get(const char* fn, const std::string& arg = "") {
        return game_current()->mod->call(fn, arg);
    }
    void TearDown() override {
        game_deinit();
        remove(args[3].c_str());
    }
};

const char* recorder =
    "function ext(n, a) return json_decode(kel_ext_call(n, json_encode(a))) end "
    "seen = {} function _init() end function _loop() end "
    "function _event(e) seen[#seen + 1] = e end "
    "function count() return tostring(#seen) end "
    "function field(k) return tostring(seen[#seen][k]) end "
    "function request(port) return tostring(ext('http:request', "
    "  {host = '127.0.0.1', port = tonumber(port), path = '/'})) end ";

TEST_F(NetGame, HttpEventExactAndSocialDropped) {
    std::string body("a]=]b\r\n\rc\0d\n", 12);
    RawServer srv({{"HTTP/1.0 201 Created\r\n\r\n" + body, 0}});
    start(recorder);
    social_login("ann", "u1", "");
    social_logout();
    std::string id = get("request", std::to_string(srv.port));
    for (int i = 0; i < 2000 && get("count") == "0"; i++) {
        game_loop();
        usleep(1000);
    }
    ASSERT_EQ(get("count"), "1");  // the http event only: sign-in and sign-out were dropped
    EXPECT_EQ(get("field", "type"), "http");
    EXPECT_EQ(get("field", "id"), id);
    EXPECT_EQ(get("field", "failed"), "false");
    EXPECT_EQ(get("field", "status"), "201");
    EXPECT_EQ(get("field", "body"), body);
}

TEST_F(NetGame, RestartDropsRequestsAndDatabases) {
    RawServer silent({}, true);
    start(std::string(recorder) +
          "function open() return tostring(ext('db:open', {name = 'net_restart.db'})) end "
          "function cancel(id) return tostring(ext('http:cancel', {id = tonumber(id)})) end "
          "function query(db) return ext('db:query', {db = tonumber(db), sql = 'select 1 as x'}).error end ");
    std::string id = get("request", std::to_string(silent.port));
    std::string db = get("open");
    EXPECT_NE(db, "0");
    EXPECT_EQ(get("query", db), "");
    mods_restart(game_current(), 1);
    EXPECT_EQ(get("cancel", id), "false");
    EXPECT_EQ(get("query", db), "no such database");
    for (int i = 0; i < 5; i++) game_loop();
    EXPECT_EQ(get("count"), "0");
    remove("net_restart.db");
}

}  // namespace
