// Values crossing from var to Lua as source text: it must always be valid Lua that gives
// the value back (plain values crossing: tests/mods/api_params_files.lua).
#include <gtest/gtest.h>
#include <math.h>

#include <lua.hpp>

#include "src/mods_lua/mods_lua_var.h"

namespace {

struct LuaState {
    lua_State* L = luaL_newstate();
    LuaState() { luaL_openlibs(L); }
    ~LuaState() { lua_close(L); }
    // Runs "return <expr>" and gives the result as text; "ERROR: ..." on failure.
    std::string eval(const std::string& expr) {
        std::string chunk = "return " + expr;
        bool ok = !luaL_loadbuffer(L, chunk.data(), chunk.size(), "expr") && !lua_pcall(L, 0, 1, 0);
        std::string out = (ok ? "" : "ERROR: ") + std::string(luaL_tolstring(L, -1, nullptr));
        lua_settop(L, 0);
        return out;
    }
};

TEST(Bridge, TableTextForms) {
    var ev(4, 0), inner(4, 0);
    ev.set("type", "down");
    ev.set("x", 12.5);
    ev.set("button", 0);
    inner.set("q", true);
    inner.set("n", var());
    ev.set("p", inner);
    EXPECT_EQ(lua_table_source_of(ev), "{button=0,p={n=nil,q=true},type=[=[down]=],x=12.5}");
    EXPECT_EQ(lua_table_source_of(var(4, 0)), "{}");
    EXPECT_EQ(lua_source_of(var(3.0)), "3");
    EXPECT_EQ(lua_source_of(var(1e-7)), "0.0");
    EXPECT_EQ(lua_source_of(var("a]=]b")), "[=[a?b]=]");
    EXPECT_EQ(lua_source_of(var(HUGE_VAL)) + lua_source_of(var(-HUGE_VAL)), "(1/0)(-1/0)");
}

// Every string must read back unchanged, except that "]=]" reads "?".
TEST(Bridge, StringsStayValidLua) {
    LuaState lua;
    const char* cases[] = {"", "plain", "a]", "a]=", "]=", "]", "a]==", "]=]=", "x]=]",
                           "]=]=]", "[=[", "\nlead", "\n", "q\"'\\", "\r", "\r\nx\n\r",
                           "a]=]\r\x01\xff"};
    for (const char* c : cases) {
        std::string want = str_replace(c, "]=]", "?");
        EXPECT_EQ(lua.eval(lua_source_of(var(c))), want) << lua_source_of(var(c));
        var ev(4, 0);
        ev.set("text", var(c));
        EXPECT_EQ(lua.eval("(" + lua_table_source_of(ev) + ").text"), want);
    }
}

}  // namespace
