// Fuzzes the Lua source text of event values: a dict built from the input (Lua-name keys;
// nil, boolean, number, string and nested dict values) is written with lua_table_source_of,
// run by Lua, and must come back as the same table. Strings come back with "]=]" as "?"
// and numbers as their six-decimal text form, both as documented; nil values are absent.
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <lua.hpp>

#include "src/mods_lua/mods_lua_var.h"
#include "util/kel_driver.h"
#include "util/kel_var.h"

struct _input {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (!n) return 0;
        n--;
        return *p++;
    }
};

static var _value(_input& in, int depth);

static var _dict(_input& in, int depth) {
    var d(4, 0);
    int count = in.byte() % 6;
    for (int i = 0; i < count; i++) {
        // "k" first: never a reserved word, and a Lua name whatever follows
        std::string key = "k";
        int len = in.byte() % 4;
        for (int j = 0; j < len; j++) key += "abz_09"[in.byte() % 6];
        d.set(key, _value(in, depth + 1));
    }
    return d;
}

static var _value(_input& in, int depth) {
    switch (in.byte() % (depth < 3 ? 5 : 4)) {
    case 0: return var();
    case 1: return var((in.byte() & 1) != 0);
    case 2: {
        double d = 0;
        uint8_t b[8];
        for (uint8_t& x : b) x = in.byte();
        memcpy(&d, b, sizeof d);
        return var(d);
    }
    case 3: {
        std::string s;
        int len = in.byte() % 12;
        for (int i = 0; i < len; i++) s += (char)in.byte();
        return var(s);
    }
    default: return _dict(in, depth);
    }
}

// Compares the Lua value on top of the stack with what v must become.
static bool _same(lua_State* L, const var& v) {
    switch (v.type()) {
    case 0: return lua_isnil(L, -1);
    case 5: return lua_isboolean(L, -1) && (lua_toboolean(L, -1) != 0) == v.truth();
    case 1: {
        if (lua_type(L, -1) != LUA_TNUMBER) return false;
        double want = strtod(v.str().c_str(), nullptr), got = lua_tonumber(L, -1);
        return got == want || (isnan(got) && isnan(want));
    }
    case 2: {
        if (lua_type(L, -1) != LUA_TSTRING) return false;
        size_t n;
        const char* s = lua_tolstring(L, -1, &n);
        return std::string(s, n) == str_replace(v.str(), "]=]", "?");
    }
    default: {
        if (!lua_istable(L, -1)) return false;
        size_t present = 0;
        for (const auto& kv : v.as_dict()->entries) {
            lua_getfield(L, -1, kv.first.c_str());
            bool ok = _same(L, kv.second);
            lua_pop(L, 1);
            if (!ok) return false;
            if (!kv.second.is_none()) present++;
        }
        size_t keys = 0;
        lua_pushnil(L);
        while (lua_next(L, -2)) {
            keys++;
            lua_pop(L, 1);
        }
        return keys == present;
    }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static lua_State* L = (driver_verbose_set(0), luaL_newstate());
    _input in = {data, size};
    var d = _dict(in, 0);
    std::string src = "return " + lua_table_source_of(d);
    if (luaL_loadbuffer(L, src.data(), src.size(), "=fuzz") != LUA_OK ||
        lua_pcall(L, 0, 1, 0) != LUA_OK) {
        fprintf(stderr, "does not run: %s\n%s\n", lua_tostring(L, -1), src.c_str());
        abort();
    }
    if (!_same(L, d)) {
        fprintf(stderr, "comes back different:\n%s\n", src.c_str());
        abort();
    }
    lua_settop(L, 0);
    return 0;
}
