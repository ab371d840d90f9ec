// mods_event: an Event record becomes the script's event dictionary.
// (Placeholder interface; the input unit fills it in.)
#ifndef MODS_EVENT_H
#define MODS_EVENT_H

#include "util/kel_driver-input.h"

struct Game;

// Builds the event dict and hands it to the mod's event operation.
void mods_event_translate(Game* game, Event e);

#endif
