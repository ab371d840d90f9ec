// mods_api_lua: the Lua functions "require" and kel_* that scripts call.
//
// Thin wrappers: check the argument count, fetch the ModsAPI* (the light userdata in
// registry field "g2", also kept as each function's upvalue), convert the arguments,
// call one ModsAPI operation, then raise its pending error or push the results. The
// ModsLua constructor sets "g2" and registers the whole table, in order:
//
//   mods_api_lua_register(L, api);
#ifndef MODS_API_LUA_H
#define MODS_API_LUA_H

#include <lua.hpp>

// Null-terminated, in registration order ("require", "kel_params_set", ... "kel_ext_call").
extern const luaL_Reg mods_api_lua_functions[];

class ModsAPI;
// Registers the table as globals, each function with api as its upvalue.
void mods_api_lua_register(lua_State* L, ModsAPI* api);

#endif
