// ext_trans: screen transitions between two captured frames ("trans:*" extension names).
//
// ext_trans_init at start (state only with a window); ext_trans_call answers the
// names "trans:init", "trans:ready", "trans:grab0", "trans:grab1", "trans:draw" and
// returns none for every other name. "trans:ready" answers true or false; the others
// answer none, and do nothing while not ready.
// ext_trans_drawn tells the host that the transition drew the current frame, which
// then shows no widget trees of its own.
#ifndef EXT_TRANS_H
#define EXT_TRANS_H

#include <string>

#include "util/kel_var.h"

struct Game;

void ext_trans_init(Game* host);
void ext_trans_deinit();
var ext_trans_call(Game* host, const std::string& name, var args);
bool ext_trans_drawn(Game* host);

#endif
