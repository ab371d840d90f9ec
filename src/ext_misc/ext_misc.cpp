// Miscellaneous extensions. Placeholder: no names are served yet, so every call
// answers none and the script sees "null".
#include "src/ext_misc/ext_misc.h"

void ext_misc_init(Game* host) { (void)host; }

var ext_misc_call(Game* host, const std::string& name, var args) {
    (void)host;
    (void)name;
    (void)args;
    return var();
}
