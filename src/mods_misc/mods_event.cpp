#include "src/mods_misc/mods_event.h"

// Placeholder until the input unit lands: events are dropped.
void mods_event_translate(Game*, Event) {}
