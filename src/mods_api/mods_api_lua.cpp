// The Lua wrappers of the engine API. Each raises its errors only after its own C++
// locals are gone: lua_error unwinds with longjmp and would skip their destructors.
#include "src/mods_api/mods_api_lua.h"

#include <string.h>

#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_lua_var.h"

static int _raise(lua_State* L, const char* message) {
    lua_pushstring(L, message);
    return lua_error(L);
}

// Checks the argument count, then fetches the API: the upvalue given by
// mods_api_lua_register, else the registry (hashing "g2" costs more than the call).
static ModsAPI* _api(lua_State* L, int min, int max) {
    int n = lua_gettop(L);
    if (n < min || n > max) _raise(L, "incorrect number of arguments");
    ModsAPI* api = (ModsAPI*)lua_touserdata(L, lua_upvalueindex(1));
    if (!api) {
        lua_getfield(L, LUA_REGISTRYINDEX, "g2");
        api = (ModsAPI*)lua_touserdata(L, -1);
        lua_pop(L, 1);
    }
    if (!api) _raise(L, "no script host");
    return api;
}

static const char* _str(lua_State* L, int i) {
    const char* s = lua_tolstring(L, i, nullptr);
    if (!s) _raise(L, "null string");
    return s;
}

static float _num(lua_State* L, int i) { return (float)lua_tonumber(L, i); }
static float _num_or(lua_State* L, int i, float d) { return lua_gettop(L) >= i ? _num(L, i) : d; }
static long _int_or(lua_State* L, int i, long d) {
    return lua_gettop(L) >= i ? (long)lua_tointeger(L, i) : d;
}

// Moves a pending error onto the stack; answers 1 when the caller must raise it.
static int _pending(lua_State* L, ModsAPI* api) {
    if (!api->error_flag) return 0;
    lua_pushlstring(L, api->error_message.data(), api->error_message.size());
    api->error_message.clear();
    api->error_flag = 0;
    return 1;
}

#define KEL_PENDING(L, api) \
    if (_pending(L, api)) return lua_error(L)

static int l_require(lua_State* L) {
    ModsAPI* api = _api(L, 1, 1);
    api->require(_str(L, 1));
    KEL_PENDING(L, api);
    return 0;
}

static int l_params_set(lua_State* L) {
    ModsAPI* api = _api(L, 2, 2);
    const char* key = _str(L, 1);
    {
        var value = var_from_lua(L, 2);
        api->params_set(key, value);
    }
    KEL_PENDING(L, api);
    return 0;
}

static int l_params_get(lua_State* L) {
    ModsAPI* api = _api(L, 1, 1);
    const char* key = _str(L, 1);
    {
        var value = api->params_get(key);
        lua_push_var(L, value);
    }
    KEL_PENDING(L, api);
    return 1;
}

static int l_file_load(lua_State* L) {
    ModsAPI* api = _api(L, 1, 2);
    const char* name = _str(L, 1);
    bool user2 = lua_gettop(L) >= 2 && lua_toboolean(L, 2);
    {
        std::string data = api->file_load(name, user2);
        lua_pushlstring(L, data.data(), data.size());
    }
    KEL_PENDING(L, api);
    return 1;
}

static int l_file_save(lua_State* L) {
    ModsAPI* api = _api(L, 2, 3);
    const char* name = _str(L, 1);
    const char* data = _str(L, 2);
    bool user2 = lua_gettop(L) >= 3 && lua_toboolean(L, 3);
    api->file_save(name, data, strlen(data), user2);
    KEL_PENDING(L, api);
    return 0;
}

static int l_view_set(lua_State* L) {
    ModsAPI* api = _api(L, 4, 4);
    api->view(_num(L, 1), _num(L, 2), _num(L, 3), _num(L, 4));
    KEL_PENDING(L, api);
    return 0;
}

// The most called function of all: one stack count, the name with its length.
static int l_image_draw(lua_State* L) {
    ModsAPI* api = _api(L, 5, 8);
    int n = lua_gettop(L);
    size_t len;
    const char* name = lua_tolstring(L, 1, &len);
    if (!name) _raise(L, "null string");
    float x = _num(L, 2), y = _num(L, 3), w = _num(L, 4), h = _num(L, 5);
    float rot = n >= 6 ? _num(L, 6) : 0.0f;
    uint32_t colour = n >= 7 ? (uint32_t)(long)lua_tointeger(L, 7) : 0xFFFFFF;
    int32_t alpha = n >= 8 ? (int32_t)(long)lua_tointeger(L, 8) : 255;
    api->image_draw(name, len, colour, alpha, x, y, w, h, rot);
    KEL_PENDING(L, api);
    return 0;
}

static int l_rect_draw(lua_State* L) {
    ModsAPI* api = _api(L, 5, 5);
    uint32_t colour = (uint32_t)lua_tointeger(L, 1);
    api->rect_draw(colour, _num(L, 2), _num(L, 3), _num(L, 4), _num(L, 5));
    KEL_PENDING(L, api);
    return 0;
}

static int l_sample_play(lua_State* L) {
    ModsAPI* api = _api(L, 1, 3);
    const char* name = _str(L, 1);
    api->sample_play(name, _num_or(L, 2, 1.0f), _num_or(L, 3, 0.0f));
    KEL_PENDING(L, api);
    return 0;
}

static int l_stream_play(lua_State* L) {
    ModsAPI* api = _api(L, 1, 2);
    const char* name = _str(L, 1);
    api->stream_play(name, _num_or(L, 2, 1.0f));
    KEL_PENDING(L, api);
    return 0;
}

static int l_stream_stop(lua_State* L) {
    ModsAPI* api = _api(L, 1, 1);
    api->stream_stop(_str(L, 1));
    KEL_PENDING(L, api);
    return 0;
}

static int l_font_draw(lua_State* L) {
    ModsAPI* api = _api(L, 5, 7);
    const char* font = _str(L, 1);
    int32_t size = (int32_t)lua_tointeger(L, 2);
    const char* text = _str(L, 3);
    float x = _num(L, 4), y = _num(L, 5);
    uint32_t colour = (uint32_t)_int_or(L, 6, 0xFFFFFF);
    int32_t alpha = (int32_t)_int_or(L, 7, 255);
    api->font_draw(font, size, text, colour, alpha, x, y);
    KEL_PENDING(L, api);
    return 0;
}

static int l_font_size(lua_State* L) {
    ModsAPI* api = _api(L, 3, 3);
    const char* font = _str(L, 1);
    int size = (int)lua_tointeger(L, 2);
    const char* text = _str(L, 3);
    float w = 0, h = 0;
    api->font_size(font, size, text, &w, &h);
    KEL_PENDING(L, api);
    lua_pushnumber(L, w);
    lua_pushnumber(L, h);
    return 2;
}

static int l_ext_call(lua_State* L) {
    ModsAPI* api = _api(L, 1, 2);
    const char* name = _str(L, 1);
    const char* arg = lua_gettop(L) >= 2 ? _str(L, 2) : "";
    {
        std::string result = api->ext_call(name, arg);
        lua_pushlstring(L, result.data(), result.size());
    }
    KEL_PENDING(L, api);
    return 1;
}

const luaL_Reg mods_api_lua_functions[] = {
    {"require", l_require},
    {"kel_params_set", l_params_set},
    {"kel_params_get", l_params_get},
    {"kel_file_load", l_file_load},
    {"kel_file_save", l_file_save},
    {"kel_view_set", l_view_set},
    {"kel_image_draw", l_image_draw},
    {"kel_rect_draw", l_rect_draw},
    {"kel_sample_play", l_sample_play},
    {"kel_stream_play", l_stream_play},
    {"kel_stream_stop", l_stream_stop},
    {"kel_font_draw", l_font_draw},
    {"kel_font_size", l_font_size},
    {"kel_ext_call", l_ext_call},
    {nullptr, nullptr},
};

void mods_api_lua_register(lua_State* L, ModsAPI* api) {
    for (const luaL_Reg* r = mods_api_lua_functions; r->name; r++) {
        lua_pushlightuserdata(L, api);
        lua_pushcclosure(L, r->func, 1);
        lua_setglobal(L, r->name);
    }
}
