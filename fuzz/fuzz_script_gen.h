// Generators of the script-surface fuzzer (fuzz_script.cpp): values pushed onto a Lua
// stack and JSON texts, both read from the fuzz input. Every string that could name a
// file is made harmless here (no leading "/", no ".."), so a run writes only below its
// working directory and /tmp.
#ifndef FUZZ_SCRIPT_GEN_H
#define FUZZ_SCRIPT_GEN_H

#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include <lua.hpp>

struct FuzzIn {
    const uint8_t* p;
    size_t n;
    uint8_t u8() {
        if (!n) return 0;
        n--;
        return *p++;
    }
    uint32_t u32() {
        return u8() | (uint32_t)u8() << 8 | (uint32_t)u8() << 16 | (uint32_t)u8() << 24;
    }
    double f64() {
        uint64_t b = u32() | (uint64_t)u32() << 32;
        double d;
        memcpy(&d, &b, sizeof d);
        return d;
    }
    template <size_t N> const char* pick(const char* const (&t)[N]) { return t[u8() % N]; }
    template <size_t N> double pick(const double (&t)[N]) { return t[u8() % N]; }
};

// Pools of strings, one per kind of argument.
static const char* const fz_images[] = {
    "images/ball", "images/ball.png", "images/crate", "images/glow", "images/sheet", "images/icon",
    "game/atlas", "fonts/dejavu.png", "ship0", "part", "images/", "images/none", "", " ",
    "main.lua", "images/sheet.json"};
static const char* const fz_fonts[] = {"fonts/dejavu", "fonts/dejavu.fnt", "fonts/none", "",
                                       "images/ball", "fonts/"};
static const char* const fz_sounds[] = {"game/move", "game/theme", "game/hit.ogg", "game/pick.wav",
                                        "game/over", "images/ball.png", "", "none", "game/"};
static const char* const fz_modules[] = {"play", "main", "life", "lib/play", "x.y", "", "none",
                                         "play.lua", "fonts/dejavu.fnt"};
static const char* const fz_keys[] = {
    "caption", "icon", "filter", "appid", "datadir", "altdir", "suspendable",
    "require_filter_callback", "window_w", "view_scale", "headless", "frames", "port", "",
    "k", "view_x", "version"};
static const char* const fz_files[] = {"fz-save.json", "fz.db", "", "nodir/x", "fz\nx", "main.lua",
                                       "fonts/dejavu.fnt", "kelgame-example-scores.db", "."};
static const char* const fz_texts[] = {
    "", "a", "Play", "menu", "nearest", "print", "_loop", "json_decode", "tostring", "data",
    "a]=]b", "]=", "\r", "\n", "\r\n", "x\0y", "%s%n", "\xff\xfe", "caf\xe9", "null", "{}",
    "[]", "{\"a\":", "0x10", "1e400", "nan", " 5 ", "-0", "12", "images/ball", "root", "centre",
    "row", "fade", "deres", "zoom", "bzoom", "container", "widget", "end"};
static const char* const fz_ext_names[] = {
    "gui:add", "gui:set", "gui:remove", "gui:focus", "gui:select", "gui:get", "gui:clear",
    "http:request", "http:cancel", "db:open", "db:query", "db:close", "trans:init", "trans:ready",
    "trans:grab0", "trans:grab1", "trans:draw", "screenshot", "image:load", "image:sub",
    "video:resize", "memory:get", "stats:get", "timer:get_ticks", "clipboard:set",
    "clipboard:get", "keyboard:show", "keyboard:hide", "quit", "exit", "md5_digest", "open_url",
    "gui:", "image:", "GUI:ADD", "", "nope"};
static const char* const fz_sql[] = {
    "create table if not exists t(a text, b integer)", "insert into t values(?, ?)",
    "select * from t", "select ?, ?, ?", "begin", "commit", "rollback", "select 1; select 2",
    "select 1;  -- done", "drop table t", "select zeroblob(70000)", "select randomblob(16) as x",
    "with recursive c(x) as (select 1 union all select x + 1 from c limit 20000) select x from c",
    "select a as x, b as x from t", "insert into t select * from t", "select null", ""};
static const double fz_numbers[] = {
    0, -0.0, 1, -1, 0.5, 2, 3, 15, 16, 255, 256, 1000, 65535, 65536, 16384, 16385, 2147483647.0,
    -2147483648.0, 2147483648.0, 4294967296.0, 9007199254740993.0, 1e30, -1e30, 1e308, 4.9e-324,
    INFINITY, -INFINITY, NAN, 0.1, -0.5, 1e-7};

// Keys a JSON object argument draws from, by extension name; event and style keys are
// added for nested objects.
struct FzExtKeys {
    const char* prefix;
    const char* keys;
};
static const FzExtKeys fz_ext_keys[] = {
    {"gui:add", "name parent root kind width height margin border padding focusable disabled "
                "visible background border_colour colour image label font size normal active "
                "focused both direction spacing align justify scroll_x scroll_y wrap on sounds"},
    {"gui:set", "name root width height margin border padding label font size on sounds "
                "disabled visible focusable image background direction align justify wrap"},
    {"gui:", "name root"},
    {"image:sub", "source name x y width height shape_x shape_y shape_width shape_height"},
    {"image:load", "name filter"},
    {"keyboard:show", "x y width height"},
    {"video:resize", "width height full"},
    {"db:open", "name readonly"},
    {"db:query", "db sql params"},
    {"db:close", "db"},
    {"http:cancel", "id"},
    {"trans:draw", "effect value"},
    {"", "name value id x"},
};
static const char fz_nested_keys[] =
    "click down up motion activate deactivate focus label background width size font";

// No absolute path and no way up: what the engine writes stays in the working directory.
static std::string fz_harmless(std::string s) {
    if (!s.empty() && s[0] == '/') s[0] = '_';
    for (size_t i = 0; (i = s.find("..", i)) != std::string::npos;) s[i] = '_';
    return s;
}

// A string from the input: a pool entry, raw bytes, or a long repeat.
static std::string fz_string(FuzzIn& in, const char* const* pool, size_t pool_n) {
    uint8_t b = in.u8();
    std::string s;
    switch (b % 8) {
    case 0: case 1: case 2: case 3: {
        const char* p = pool[in.u8() % pool_n];
        // the pool's "x\0y" keeps its zero byte
        s.assign(p, strcmp(p, "x") == 0 && p[1] == 0 && p[2] == 'y' ? 3 : strlen(p));
        break;
    }
    case 4: case 5: {
        size_t len = in.u8() % 24;
        for (size_t i = 0; i < len && in.n; i++) s += (char)in.u8();
        break;
    }
    case 6: {  // 2^k copies of a short pattern: up to 1 MiB
        std::string pat;
        size_t len = 1 + in.u8() % 4;
        for (size_t i = 0; i < len; i++) pat += (char)in.u8();
        int k = in.u8() % 21;
        for (int i = 0; i < (1 << k) && s.size() < (1u << 20); i++) s += pat;
        break;
    }
    default: s = pool[in.u8() % pool_n]; s += std::to_string(in.u8() % 4); break;
    }
    return fz_harmless(s);
}
#define FZ_STRING(in, pool) fz_string(in, pool, sizeof pool / sizeof *pool)

static double fz_number(FuzzIn& in) {
    switch (in.u8() % 4) {
    case 0: return (double)(int8_t)in.u8();
    case 1: return in.f64();
    default: return in.pick(fz_numbers);
    }
}

static int fz_raise(lua_State* L) { return luaL_error(L, "fuzz: a function handed in"); }

// Pushes any Lua value: nil, booleans, numbers at their edges, strings, tables (nested,
// deep, large, cyclic), a function.
static void fz_push_any(lua_State* L, FuzzIn& in, int depth);

static void fz_push_table(lua_State* L, FuzzIn& in, int depth) {
    uint8_t kind = in.u8();
    lua_newtable(L);
    switch (kind % 5) {
    case 0: {  // a list
        int n = in.u8() % 6;
        for (int i = 1; i <= n; i++) {
            fz_push_any(L, in, depth + 1);
            lua_rawseti(L, -2, i);
        }
        break;
    }
    case 1: {  // a dict with pool keys
        int n = in.u8() % 6;
        for (int i = 0; i < n; i++) {
            lua_pushstring(L, in.pick(fz_keys));
            fz_push_any(L, in, depth + 1);
            lua_rawset(L, -3);
        }
        break;
    }
    case 2: {  // deep: 2^k levels
        int levels = 1 << (in.u8() % 10);
        for (int i = 0; i < levels; i++) {
            lua_newtable(L);
            lua_pushvalue(L, -1);
            lua_rawseti(L, -3, 1);
            lua_remove(L, -2);
        }
        break;
    }
    case 3: {  // large: 2^k entries
        int n = 1 << (in.u8() % 17);
        for (int i = 1; i <= n; i++) {
            lua_pushinteger(L, i);
            lua_rawseti(L, -2, i);
        }
        break;
    }
    default:  // refers to itself
        lua_pushvalue(L, -1);
        lua_setfield(L, -2, "self");
        lua_pushvalue(L, -1);
        lua_rawseti(L, -2, 1);
        break;
    }
}

static void fz_push_any(lua_State* L, FuzzIn& in, int depth) {
    switch (in.u8() % (depth < 3 ? 8 : 6)) {
    case 0: lua_pushnil(L); break;
    case 1: lua_pushboolean(L, in.u8() & 1); break;
    case 2: case 3: lua_pushnumber(L, fz_number(in)); break;
    case 4: {
        std::string s = FZ_STRING(in, fz_texts);
        lua_pushlstring(L, s.data(), s.size());
        break;
    }
    case 5: lua_pushcfunction(L, fz_raise); break;
    default: fz_push_table(L, in, depth); break;
    }
}

// JSON text: an object with keys for the call, scalars at their edges, nesting, big lists.
static void fz_json(std::string& out, FuzzIn& in, const char* keys, int depth);
static void fz_json_object(std::string& out, FuzzIn& in, const char* keys, int depth);

static void fz_json_string(std::string& out, const std::string& s) {
    out += '"';
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c < 32) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += (char)c;
        }
    }
    out += '"';
}

static void fz_json_number(std::string& out, double d) {
    char buf[32];
    if (d != d) snprintf(buf, sizeof buf, "NaN");
    else if (isinf(d)) snprintf(buf, sizeof buf, d > 0 ? "1e400" : "-Infinity");
    else snprintf(buf, sizeof buf, "%.17g", d);
    out += buf;
}

// One key from a space-separated list.
static std::string fz_key(FuzzIn& in, const char* keys) {
    int count = 1;
    for (const char* p = keys; *p; p++) count += *p == ' ';
    int k = in.u8() % count;
    const char* p = keys;
    while (k--) p = strchr(p, ' ') + 1;
    const char* e = strchr(p, ' ');
    return std::string(p, e ? (size_t)(e - p) : strlen(p));
}

static void fz_json(std::string& out, FuzzIn& in, const char* keys, int depth) {
    switch (in.u8() % (depth < 4 ? 10 : 7)) {
    case 0: out += "null"; break;
    case 1: out += in.u8() & 1 ? "true" : "false"; break;
    case 2: case 3: fz_json_number(out, fz_number(in)); break;
    case 4: fz_json_string(out, FZ_STRING(in, fz_texts)); break;
    case 5: fz_json_string(out, FZ_STRING(in, fz_sql)); break;
    case 6: {  // deep nesting, around the engine's limit of 16 levels
        int levels = in.u8() % 24;
        for (int i = 0; i < levels; i++) out += '[';
        out += '1';
        for (int i = 0; i < levels; i++) out += ']';
        break;
    }
    case 7: {  // a list; sometimes a big list or object
        int n = in.u8() % 8 == 0 ? 1 << (in.u8() % 17) : in.u8() % 5;
        bool object = n > 8 && (in.u8() & 1);
        out += object ? '{' : '[';
        for (int i = 0; i < n; i++) {
            if (i) out += ',';
            if (object) out += "\"k" + std::to_string(i) + "\":";
            if (n > 8) out += std::to_string(i);
            else fz_json(out, in, fz_nested_keys, depth + 1);
        }
        out += object ? '}' : ']';
        break;
    }
    default: fz_json_object(out, in, keys, depth); break;
    }
}

// An object: keys of the call at the top, the nested ones below.
static void fz_json_object(std::string& out, FuzzIn& in, const char* keys, int depth) {
    int n = in.u8() % 7;
    out += '{';
    for (int i = 0; i < n; i++) {
        if (i) out += ',';
        fz_json_string(out, in.u8() % 8 ? fz_key(in, depth ? fz_nested_keys : keys)
                                         : FZ_STRING(in, fz_texts));
        out += ':';
        fz_json(out, in, keys, depth + 1);
    }
    out += '}';
}

#endif
