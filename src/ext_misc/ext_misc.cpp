// Placeholder: no miscellaneous extensions yet; every name is unknown here.
#include "src/ext_misc/ext_misc.h"

void ext_misc_init(Game*) {}
var ext_misc_call(Game*, const std::string&, var) { return var(); }
