#include "src/mods_lua/mods_lua.h"

#include <stdio.h>
#include <string.h>

#include <lua.hpp>

#include "src/mods_api/mods_api.h"
#include "src/mods_api/mods_api_lua.h"
#include "src/mods_lua/mods_lua_var.h"
#include "util/kel_log.h"

extern "C" int luaopen_cjson(lua_State* L);

static ModsAPI* _mods_lua_current = nullptr;

ModsAPI* mods_lua_api() { return _mods_lua_current; }

// Output of a state goes to the API it serves (registry "g2"), which is right even
// while another state is current; the process-wide pointer is the fallback.
static ModsAPI* _mods_lua_api_of(lua_State* L) {
    lua_getfield(L, LUA_REGISTRYINDEX, "g2");
    ModsAPI* api = (ModsAPI*)lua_touserdata(L, -1);
    lua_pop(L, 1);
    return api ? api : _mods_lua_current;
}

static void _mods_lua_write(lua_State* L, const char* s, size_t n) {
    ModsAPI* api = _mods_lua_api_of(L);
    if (api) api->console(std::string(s, n));
}

// print as Lua's own: tostring of each argument. Each value is one write, so one
// console line per value; the tab and newline writes would be blank lines anyway.
static int _mods_lua_print(lua_State* L) {
    int n = lua_gettop(L);
    lua_getglobal(L, "tostring");
    for (int i = 1; i <= n; i++) {
        lua_pushvalue(L, -1);
        lua_pushvalue(L, i);
        lua_call(L, 1, 1);
        size_t len;
        const char* s = lua_tolstring(L, -1, &len);
        if (!s) return luaL_error(L, LUA_QL("tostring") " must return a string to " LUA_QL("print"));
        _mods_lua_write(L, s, len);
        lua_pop(L, 1);
    }
    return 0;
}

// debug.debug as Lua's own, with prompt and errors on the console.
static int _mods_lua_debug(lua_State* L) {
    for (;;) {
        char buffer[250];
        _mods_lua_write(L, "lua_debug> ", 11);
        if (!fgets(buffer, sizeof(buffer), stdin) || strcmp(buffer, "cont\n") == 0) return 0;
        if (luaL_loadbuffer(L, buffer, strlen(buffer), "=(debug command)") ||
            lua_pcall(L, 0, 0, 0)) {
            const char* msg = lua_tostring(L, -1);
            if (!msg) msg = "(error object is not a string)";
            size_t n = strlen(msg);
            _mods_lua_write(L, msg, n);
        }
        lua_settop(L, 0);
    }
}

static int _mods_lua_panic(lua_State* L) {
    const char* msg = lua_tostring(L, -1);
    char buf[512];
    snprintf(buf, sizeof(buf), "PANIC: unprotected error in call to Lua API (%s)\n",
             msg ? msg : "?");
    _mods_lua_write(L, buf, strlen(buf));
    return 0;
}

// Message handler: text errors get a traceback; other objects their __tostring.
static int _mods_lua_traceback(lua_State* L) {
    const char* msg = lua_tostring(L, 1);
    if (msg)
        luaL_traceback(L, L, msg, 1);
    else if (!lua_isnoneornil(L, 1) && !luaL_callmeta(L, 1, "__tostring"))
        lua_pushliteral(L, "(no error message)");
    return 1;
}

// Reports the error value on top of the stack and pops it (nil included).
static void _mods_lua_report(lua_State* L) {
    if (!lua_isnil(L, -1)) {
        const char* msg = lua_tostring(L, -1);
        if (!msg) msg = "(error object is not a string)";
        std::string text = "kelgame: ";
        text += msg;
        text += '\n';
        ModsAPI* api = _mods_lua_api_of(L);
        if (api) api->failure(text);
        lua_pop(L, 1);
        lua_gc(L, LUA_GCCOLLECT, 0);
    } else {
        lua_pop(L, 1);
    }
}

static int _mods_lua_run(lua_State* L, const char* text, size_t len, const char* name) {
    int status = luaL_loadbuffer(L, text, len, name);
    if (status == LUA_OK) {
        int base = lua_gettop(L);
        lua_pushcfunction(L, _mods_lua_traceback);
        lua_insert(L, base);
        status = lua_pcall(L, 0, 0, base);
        lua_remove(L, base);
    }
    if (status != LUA_OK) _mods_lua_report(L);
    return status;
}

int mods_lua_run(lua_State* L, const char* text, const char* name) {
    return _mods_lua_run(L, text, strlen(text), name);
}

// lua-cjson keeps its encode buffer at the largest size it ever reached: after one large
// text (or a failed encode, whose size is unknown) it is freed by turning keeping off
// and on again. Upvalues: the encoder, its keep-buffer setting.
enum { MODS_LUA_JSON_KEEP = 1 << 20 };

static int _mods_lua_json_encode(lua_State* L) {
    int n = lua_gettop(L);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    int status = lua_pcall(L, n, 1, 0);
    size_t len = 0;
    if (status != LUA_OK || !lua_tolstring(L, -1, &len) || len > MODS_LUA_JSON_KEEP) {
        for (int keep = 0; keep < 2; keep++) {
            lua_pushvalue(L, lua_upvalueindex(2));
            lua_pushboolean(L, keep);
            lua_call(L, 1, 0);
        }
    }
    if (status != LUA_OK) return lua_error(L);
    return 1;
}

// Puts the wrapper above in place of cjson.encode (the table is at the top).
static void _mods_lua_json_wrap(lua_State* L) {
    lua_getfield(L, -1, "encode");
    lua_getfield(L, -2, "encode_keep_buffer");
    lua_pushcclosure(L, _mods_lua_json_encode, 2);
    lua_setfield(L, -2, "encode");
}

// Configures lua-cjson, exports the two globals and hides the table.
static const char _mods_lua_cjson_init[] =
    "function _json_init()\n"
    "cjson.decode_invalid_numbers(true) -- default true\n"
    "cjson.decode_max_depth(256) -- default 1000\n"
    "cjson.encode_invalid_numbers(false) -- default false\n"
    "cjson.encode_keep_buffer(true) -- default true\n"
    "cjson.encode_max_depth(256) -- default 1000\n"
    "cjson.encode_number_precision(14) -- default 14\n"
    "cjson.encode_sparse_array(true,1,1) -- default false, 2, 10\n"
    "json_encode = cjson.encode -- default none\n"
    "json_decode = cjson.decode -- default none\n"
    "cjson = nil -- default the module table\n"
    "end\n"
    "_json_init(); _json_init = nil\n";

ModsLua::ModsLua(ModsAPI* a) : api(a), L(nullptr), error(0), depth(0) {
    _mods_lua_current = api;
    L = luaL_newstate();
    if (!L) {
        KEL_LOGS("ModsLua", "cannot create a Lua state\n");
        error = LUA_ERRMEM;
        return;
    }
    lua_atpanic(L, _mods_lua_panic);
    luaL_openlibs(L);
    lua_pushlightuserdata(L, api);
    lua_setfield(L, LUA_REGISTRYINDEX, "g2");
    mods_api_lua_register(L, api);
    lua_register(L, "print", _mods_lua_print);
    lua_getglobal(L, "debug");
    lua_pushcfunction(L, _mods_lua_debug);
    lua_setfield(L, -2, "debug");
    lua_pop(L, 1);
    // A global only, not in package.loaded: the set-up chunk removes the last reference.
    lua_pushcfunction(L, luaopen_cjson);
    lua_call(L, 0, 1);
    _mods_lua_json_wrap(L);
    lua_setglobal(L, "cjson");
    mods_lua_run(L, _mods_lua_cjson_init, "cjson_init");
}

ModsLua::~ModsLua() {
    // Finalizers that print while the state closes still reach this mod's console.
    _mods_lua_current = api;
    if (L) lua_close(L);
    L = nullptr;
    // The host destroys the API next; leave no pointer to it behind.
    if (_mods_lua_current == api) _mods_lua_current = nullptr;
}

int ModsLua::override_mask() const {
    return OP_INIT | OP_LOOP | OP_EVENT | OP_PAINT | OP_SCRIPT | OP_CALL | OP_IS_OKAY;
}

// Keeps the first failure. Entry calls nest (video:resize runs _event inside the
// script's own call), and an outer call that ends well must not clear an inner failure.
void ModsLua::fail(int status) {
    if (status != LUA_OK && !error) error = status;
}

// One entry call; its status sticks.
void ModsLua::entry(const char* text, size_t len, const char* name) {
    depth++;
    int status = _mods_lua_run(L, text, len, name);
    depth--;
    if (status != LUA_OK) KEL_LOGS(name, "Lua error: %d\n", status);
    fail(status);
}

void ModsLua::init() {
    if (error) return;
    entry("_init()", 7, "init");
}

void ModsLua::loop(float dt) {
    if (error) return;
    char text[96];
    int n = snprintf(text, sizeof(text), "_loop(%f)", (double)dt);
    if (n < 0 || n >= (int)sizeof(text)) n = snprintf(text, sizeof(text), "_loop(0.0)");
    entry(text, (size_t)n, "loop");
}

void ModsLua::event(var ev) {
    if (error || ev.type() != 4) return;
    std::string text = "_event(";
    text += lua_table_source_of(ev);
    text += ");";
    entry(text.data(), text.size(), "event");
}

// The dict goes in as a real table: the chunk form of event() cannot carry a CR or a
// "]=]" unchanged, and a response body may hold both.
void ModsLua::event_exact(var ev) {
    if (error || ev.type() != 4) return;
    int base = lua_gettop(L);
    lua_pushcfunction(L, _mods_lua_traceback);
    lua_getglobal(L, "_event");
    lua_push_table(L, ev);
    depth++;
    int status = lua_pcall(L, 1, 0, base + 1);
    depth--;
    if (status != LUA_OK) {
        _mods_lua_report(L);
        KEL_LOGS("event", "Lua error: %d\n", status);
        fail(status);
    }
    lua_settop(L, base);
}

void ModsLua::paint() {
    if (error) return;
    entry("_paint()", 8, "paint");
}

// Loading the entry script clears a failure; a module required from a running script
// does not (the script's own failure is kept). A failed module is reported, not sticky.
void ModsLua::script(const char* source, const char* chunk_name) {
    if (!L) return;
    if (!depth) error = 0;
    depth++;
    int status = _mods_lua_run(L, source ? source : "", source ? strlen(source) : 0,
                               chunk_name ? chunk_name : "?");
    depth--;
    if (status != LUA_OK) KEL_LOGS("script", "Lua error: %d\n", status);
}

std::string ModsLua::call(std::string function, std::string argument) {
    if (error) return std::string();
    lua_getglobal(L, function.c_str());
    lua_pushlstring(L, argument.data(), argument.size());
    depth++;
    int status = lua_pcall(L, 1, 1, 0);
    depth--;
    if (status != LUA_OK) {
        _mods_lua_report(L);
        fail(status);
        KEL_LOGS("call", "Lua error: %d\n", status);
        return std::string();
    }
    std::string result;
    size_t len;
    const char* s = lua_isstring(L, -1) ? lua_tolstring(L, -1, &len) : nullptr;
    if (s) result.assign(s, len);
    lua_pop(L, 1);
    return result;
}

long ModsLua::heap_bytes() {
    return L ? (long)lua_gc(L, LUA_GCCOUNT, 0) * 1024 + lua_gc(L, LUA_GCCOUNTB, 0) : 0;
}
