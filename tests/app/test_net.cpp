// Network services seen from a running headless game: finished requests reach _event
// byte for byte, social sign-in events never do, and a restart drops the old script's
// requests and databases.
#include "src/mods_misc/mods_restart.h"
#include "tests/app/game_test_util.h"
#include "tests/net/net_test_util.h"
#include "util/kel_social.h"

namespace {

struct NetGame : GameRun {};

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
    headless(recorder);
    social_login("ann", "u1", "");
    social_logout();
    std::string id = call("request", std::to_string(srv.port));
    for (int i = 0; i < 2000 && call("count") == "0"; i++) {
        game_loop();
        usleep(1000);
    }
    ASSERT_EQ(call("count"), "1");  // the http event only: sign-in and sign-out were dropped
    EXPECT_EQ(call("field", "type"), "http");
    EXPECT_EQ(call("field", "id"), id);
    EXPECT_EQ(call("field", "failed"), "false");
    EXPECT_EQ(call("field", "status"), "201");
    EXPECT_EQ(call("field", "body"), body);
}

TEST_F(NetGame, RestartDropsRequestsAndDatabases) {
    RawServer silent({}, true);
    headless(std::string(recorder) +
          "function open() return tostring(ext('db:open', {name = 'net_restart.db'})) end "
          "function cancel(id) return tostring(ext('http:cancel', {id = tonumber(id)})) end "
          "function query(db) return ext('db:query', {db = tonumber(db), sql = 'select 1 as x'}).error end ");
    std::string id = call("request", std::to_string(silent.port));
    std::string db = call("open");
    EXPECT_NE(db, "0");
    EXPECT_EQ(call("query", db), "");
    mods_restart(game_current(), 1);
    EXPECT_EQ(call("cancel", id), "false");
    EXPECT_EQ(call("query", db), "no such database");
    for (int i = 0; i < 5; i++) game_loop();
    EXPECT_EQ(call("count"), "0");
    remove("net_restart.db");
}

}  // namespace
