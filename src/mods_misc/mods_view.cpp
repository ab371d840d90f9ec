#include "src/mods_misc/mods_view.h"

// Placeholders until the graphics unit lands.
void mods_view_apply(ModsAPI*) {}
void mods_draw_replay(ModsAPI*) {}
