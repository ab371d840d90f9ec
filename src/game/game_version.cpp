#include "src/game/game.h"

// Version text shown by --version and the "vinfo" parameter.
const char* game_version() { return "kelgame " KEL_VERSION " (" __DATE__ ")"; }
