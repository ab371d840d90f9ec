#include "src/mods_lua/mods_lua_var.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <lua.hpp>

// Appends text as a level-1 long string. "]=]" inside would close it, so it becomes
// "?". A text ending in "]=" would form "]=]" with the closing bracket; its last
// "=" is written as a separate concatenated literal instead. A leading newline is
// doubled because Lua drops the first newline of a long string.
static void _lua_long_string(std::string& out, const std::string& text) {
    std::string s = str_replace(text, "]=]", "?");
    if (s.find('\r') != std::string::npos) {
        // Lua reads every line break in a long string as "\n": quote and escape instead.
        out += '"';
        for (unsigned char c : s) {
            if (c >= 32 && c < 127 && c != '"' && c != '\\') {
                out += (char)c;
            } else {
                char esc[8];
                snprintf(esc, sizeof esc, "\\%03u", c);
                out += esc;
            }
        }
        out += '"';
        return;
    }
    bool tail = s.size() >= 2 && s.compare(s.size() - 2, 2, "]=") == 0;
    if (tail) s.pop_back();
    out += "[=[";
    if (!s.empty() && s[0] == '\n') out += '\n';
    out += s;
    out += "]=]";
    if (tail) out += "..'='";
}

static void _lua_source(std::string& out, const var& v);

static void _lua_table_source(std::string& out, const var& v) {
    out += '{';
    _var_dict* d = v.as_dict();
    if (d) {
        bool first = true;
        for (const auto& kv : d->entries) {
            if (!first) out += ',';
            first = false;
            out += kv.first;
            out += '=';
            _lua_source(out, kv.second);
        }
    }
    out += '}';
}

static void _lua_source(std::string& out, const var& v) {
    switch (v.type()) {
    case 0: out += "nil"; break;
    case 1:
        // inf and nan have no text Lua reads as a number
        if (isfinite(v.number())) out += v.str();
        else out += v.number() != v.number() ? "(0/0)" : v.number() > 0 ? "(1/0)" : "(-1/0)";
        break;
    case 4: _lua_table_source(out, v); break;
    case 5: out += v.truth() ? "true" : "false"; break;
    default: _lua_long_string(out, v.str()); break;
    }
}

std::string lua_source_of(const var& v) {
    std::string out;
    _lua_source(out, v);
    return out;
}

std::string lua_table_source_of(const var& v) {
    std::string out;
    _lua_table_source(out, v);
    return out;
}

var var_from_lua(lua_State* L, int index) {
    switch (lua_type(L, index)) {
    case LUA_TNIL: return var();
    case LUA_TNUMBER: return var((double)lua_tonumber(L, index));
    case LUA_TBOOLEAN: return var(lua_toboolean(L, index) != 0);
    case LUA_TSTRING: return var(lua_tostring(L, index));
    default:
        // Exactly this text, without a position: the script sees the API call's error.
        lua_pushliteral(L, "null string");
        lua_error(L);
        return var();
    }
}

static void _lua_push_exact(lua_State* L, const var& v) {
    switch (v.type()) {
    case 3:
    case 4: lua_push_table(L, v); break;
    case 2: {
        const std::string& s = v.as_string()->value;
        lua_pushlstring(L, s.data(), s.size());
        break;
    }
    default: lua_push_var(L, v); break;
    }
}

void lua_push_table(lua_State* L, const var& v) {
    lua_newtable(L);
    if (_var_list* l = v.as_list()) {
        int i = 0;
        for (const var& e : l->elements) {
            _lua_push_exact(L, e);
            lua_rawseti(L, -2, ++i);
        }
    } else if (_var_dict* d = v.as_dict()) {
        for (const auto& kv : d->entries) {
            if (kv.second.is_none()) continue;
            lua_pushlstring(L, kv.first.data(), kv.first.size());
            _lua_push_exact(L, kv.second);
            lua_rawset(L, -3);
        }
    }
}

void lua_push_var(lua_State* L, const var& v) {
    switch (v.type()) {
    case 0: lua_pushnil(L); break;
    case 1: lua_pushnumber(L, (lua_Number)v.number()); break;
    case 5: lua_pushboolean(L, v.truth()); break;
    default: lua_pushstring(L, v.str().c_str()); break;
    }
}
