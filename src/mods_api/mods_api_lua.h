// mods_api_lua: the Lua functions "require" and kel_* that scripts call.
//
// Thin wrappers: check the argument count, fetch the ModsAPI* from the registry
// field "g2" (light userdata), convert the arguments, call one ModsAPI operation,
// then raise its pending error or push the results. The ModsLua constructor
// registers the whole table, in order:
//
//   for (const luaL_Reg* r = mods_api_lua_functions; r->name; r++)
//       lua_register(L, r->name, r->func);
#ifndef MODS_API_LUA_H
#define MODS_API_LUA_H

#include <lua.hpp>

// Null-terminated, in registration order ("require", "kel_params_set", ... "kel_ext_call").
extern const luaL_Reg mods_api_lua_functions[];

#endif
