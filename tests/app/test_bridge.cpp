// Values crossing between var and Lua: the generated source must always be valid
// Lua that gives back the value, and the plain-value conversions keep their rules.
#include <gtest/gtest.h>

#include <lua.hpp>

#include "src/mods_lua/mods_lua_var.h"

namespace {

struct LuaState {
    lua_State* L = luaL_newstate();
    LuaState() { luaL_openlibs(L); }
    ~LuaState() { lua_close(L); }
    // Evaluates "return <expr>"; false with the message in *err on failure.
    bool eval(const std::string& expr, std::string* err = nullptr) {
        std::string chunk = "return " + expr;
        if (luaL_loadbuffer(L, chunk.data(), chunk.size(), "expr") || lua_pcall(L, 0, 1, 0)) {
            if (err) *err = lua_tostring(L, -1);
            lua_pop(L, 1);
            return false;
        }
        return true;
    }
};

var dict() { return var(4, 0); }

TEST(Bridge, TableTextForms) {
    var ev = dict();
    ev.set("type", "down");
    ev.set("x", 12.5);
    ev.set("button", 0);
    EXPECT_EQ(lua_table_source_of(ev), "{button=0,type=[=[down]=],x=12.5}");

    var outer = dict(), inner = dict();
    inner.set("q", true);
    outer.set("p", inner);
    EXPECT_EQ(lua_table_source_of(outer), "{p={q=true}}");
    EXPECT_EQ(lua_table_source_of(dict()), "{}");

    var n = dict();
    n.set("a", var());
    n.set("b", false);
    EXPECT_EQ(lua_table_source_of(n), "{a=nil,b=false}");

    EXPECT_EQ(lua_source_of(var(3.0)), "3");
    EXPECT_EQ(lua_source_of(var(0.1)), "0.1");
    EXPECT_EQ(lua_source_of(var(1e-7)), "0.0");
    EXPECT_EQ(lua_source_of(var("a]=]b")), "[=[a?b]=]");
}

// Every string must survive as a Lua string literal, except "]=]" which reads "?".
TEST(Bridge, StringsStayValidLua) {
    LuaState lua;
    const char* cases[] = {"", "plain", "a]", "a]=", "]=", "]", "]]", "a]==", "]=]=",
                           "x]=]", "]=]=]", "[=[", "[[", "\nlead", "\n", "q\"'\\"};
    for (const char* c : cases) {
        std::string text = lua_source_of(var(c));
        std::string err;
        ASSERT_TRUE(lua.eval(text, &err)) << c << " -> " << text << ": " << err;
        ASSERT_EQ(lua_type(lua.L, -1), LUA_TSTRING) << text;
        std::string want = str_replace(c, "]=]", "?");
        EXPECT_EQ(std::string(lua_tostring(lua.L, -1)), want) << text;
        lua_pop(lua.L, 1);

        // The same string as an event field, inside the event chunk's shape.
        var ev = dict();
        ev.set("text", var(c));
        std::string table = lua_table_source_of(ev);
        ASSERT_TRUE(lua.eval("(" + table + ").text", &err)) << table << ": " << err;
        EXPECT_EQ(std::string(lua_tostring(lua.L, -1)), want) << table;
        lua_pop(lua.L, 1);
    }
}

TEST(Bridge, NestedEventEvaluates) {
    LuaState lua;
    var ev = dict(), pos = dict();
    pos.set("x", -3);
    pos.set("y", 2.25);
    ev.set("pos", pos);
    ev.set("name", "a]=");
    std::string src = lua_table_source_of(ev);
    ASSERT_TRUE(lua.eval("(" + src + ").pos.x + (" + src + ").pos.y"));
    EXPECT_DOUBLE_EQ(lua_tonumber(lua.L, -1), -0.75);
}

static int _from_lua(lua_State* L) {
    var v = var_from_lua(L, 1);
    lua_push_var(L, v);
    return 1;
}

TEST(Bridge, PlainValuesBothWays) {
    LuaState lua;
    lua_register(lua.L, "roundtrip", _from_lua);
    ASSERT_TRUE(lua.eval("{roundtrip(nil), roundtrip(2.5), roundtrip(true), roundtrip('ab\\0cd')}"));
    lua_rawgeti(lua.L, -1, 1);
    EXPECT_TRUE(lua_isnil(lua.L, -1));
    lua_rawgeti(lua.L, -2, 2);
    EXPECT_EQ(lua_tonumber(lua.L, -1), 2.5);
    lua_rawgeti(lua.L, -3, 3);
    EXPECT_TRUE(lua_isboolean(lua.L, -1) && lua_toboolean(lua.L, -1));
    lua_rawgeti(lua.L, -4, 4);
    EXPECT_STREQ(lua_tostring(lua.L, -1), "ab");  // bytes up to the first NUL
    lua_settop(lua.L, 0);

    // Tables, functions and a missing argument raise a catchable "null string".
    for (const char* call : {"roundtrip({})", "roundtrip(print)", "roundtrip()"}) {
        std::string expr = "select(2, pcall(function() return " + std::string(call) + " end))";
        ASSERT_TRUE(lua.eval(expr));
        EXPECT_STREQ(lua_tostring(lua.L, -1), "null string") << call;
        lua_pop(lua.L, 1);
    }

    // Containers go to Lua as their text form.
    var l(3, 0);
    list_append(l, 1);
    lua_push_var(lua.L, l);
    EXPECT_EQ(lua_type(lua.L, -1), LUA_TSTRING);
    EXPECT_EQ(std::string(lua_tostring(lua.L, -1)), l.str());
    lua_pop(lua.L, 1);
}

}  // namespace
