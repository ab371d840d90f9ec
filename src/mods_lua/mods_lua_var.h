// mods_lua_var: values crossing between var and Lua.
//
// Input events reach scripts as Lua source text (the event chunk); events carrying
// the script's or a server's data (widget values, HTTP responses) as tables built
// value by value. Parameters come from Lua as one plain value, results go back as one
// plain value. Lua tables never become vars.
//
//   lua_table_source_of(ev)  ->  {button=0,type=[=[down]=],x=12.5}
#ifndef MODS_LUA_VAR_H
#define MODS_LUA_VAR_H

#include <string>

#include "util/kel_var.h"

struct lua_State;

// Lua expression of a value: nil, true/false, a number, a [=[...]=] string (any
// "]=]" inside becomes "?"), or a table constructor for a dict.
std::string lua_source_of(const var& v);
// Table constructor of a dict; keys are written as stored (they must be Lua names).
std::string lua_table_source_of(const var& v);
// nil, number, boolean and string (up to the first NUL) become vars; anything else,
// or a missing argument, raises the Lua error "null string".
var var_from_lua(lua_State* L, int index);
// A dict as a Lua table (lists as sequences), strings byte for byte; none values are
// left out.
void lua_push_table(lua_State* L, const var& v);
// none -> nil, number, bool; string, list and dict -> their text as a Lua string.
void lua_push_var(lua_State* L, const var& v);

#endif
