// ext_misc: miscellaneous extension names (clipboard, image loading,
// on-screen keyboard, timer, video resize, quit).
//
// ext_misc_call returns none for names it does not know, so the dispatcher can
// report "null" to the script.
#ifndef EXT_MISC_H
#define EXT_MISC_H

#include <string>

#include "util/kel_var.h"

struct Game;

void ext_misc_init(Game* host);
var ext_misc_call(Game* host, const std::string& name, var args);

#endif
