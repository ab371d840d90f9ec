// A restart drops the old script's requests and databases, in a running headless game.
// (Responses byte for byte: the web tests and tests/net; event tables: tests/mods.)
#include "src/mods_misc/mods_restart.h"
#include "tests/app/game_test_util.h"
#include "tests/net/net_test_util.h"

namespace {

struct NetGame : GameRun {};

const char* recorder =
    "function ext(n, a) return json_decode(kel_ext_call(n, json_encode(a))) end "
    "seen = {} function _init() end function _loop() end "
    "function _event(e) seen[#seen + 1] = e end "
    "function count() return tostring(#seen) end "
    "function request(port) return tostring(ext('http:request', "
    "  {host = '127.0.0.1', port = tonumber(port), path = '/'})) end ";

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
