#include "src/mods_misc/mods_event.h"

// Placeholder until the input unit lands: events are dropped.
void mods_event_translate(Game*, Event) {}
const char* mods_event_type_name(int) { return "?"; }
const char* mods_event_button_name(int) { return ""; }
