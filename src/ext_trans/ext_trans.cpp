// Placeholder: no transition targets yet; every name is unknown here.
#include "src/ext_trans/ext_trans.h"

void ext_trans_init(Game*) {}
void ext_trans_deinit() {}
var ext_trans_call(Game*, const std::string&, var) { return var(); }
