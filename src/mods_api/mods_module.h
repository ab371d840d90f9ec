// mods_module: loading script modules by base name, and re-running the entry script.
//
// ModsAPI::require(name) runs a module at most once per script host: the name's base
// name (after "..", "\" and directory parts are stripped; ".lua" added when it has no
// dot) is its identity, the file comes from the entry script's directory (or the
// "altdir" parameter), else the data area. A missing file sets the pending error
// "file missing". The "require_filter_callback" parameter names a Lua function that
// may rewrite each source before it runs.
#ifndef MODS_MODULE_H
#define MODS_MODULE_H

#include <string>

struct Game;

// Base name of a module name: lib/util -> util.lua, a.b -> a.b, ../x -> x.lua.
std::string mods_module_base(const char* name);
// Directory part of a script path ("." without a slash); backslashes become "/".
std::string mods_module_dir(const char* path);

// Clears console and module records, then requires the entry script again.
void mods_reload(Game* game);
// Once per wall-clock second: reloads when a loaded module's file changed.
void mods_reload_auto(Game* game);

#endif
