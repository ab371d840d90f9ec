// Tools for game makers: the luacheck standard, the language-server annotations, and a
// starter game written into a new folder.
#pragma once

#include <string>

// The texts kelgame --luacheckrc and --lua-defs print (also installed in share/kelgame).
const char* game_tools_luacheckrc();
const char* game_tools_lua_defs();
// Prints TEXT on standard output; 1 (said on stderr) when it could not be written.
int game_tools_print(const char* text);

// Writes a runnable starter game into DIR (created if missing): main.lua, README.md,
// .luacheckrc, a generated image and sound, and kelgame's own font. Refuses, writing
// nothing, when one of those files exists or the font cannot be found. Returns the
// process status, the reason on stderr.
int game_tools_new(const char* dir);

// The starter's name from DIR's last component: letters, digits, '-' and '_' only, so
// it can stand in Lua strings and file names ("mygame" when nothing is left).
std::string game_tools_name(const char* dir);
