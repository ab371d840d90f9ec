// mods_restart: replaces the running script with a fresh one.
//
// Destroys the current ModsAPI and mod, builds new ones (a new Lua state), sets the
// command-line and default parameters, runs the entry script and the script's _init.
#ifndef MODS_RESTART_H
#define MODS_RESTART_H

struct Game;

void mods_restart(Game* game, int flag);

#endif
