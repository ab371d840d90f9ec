// mods_event: an Event record becomes the script's event dictionary.
//
// Keys of every dict: "type", "x", "y", "w", "h", "dx", "dy", "text", "button",
// "device"; key events add "key" and "name", controller events "name". Pointer
// events "down", "motion", "up" and "wheel" carry view coordinates.
#ifndef MODS_EVENT_H
#define MODS_EVENT_H

#include "util/kel_driver-input.h"

struct Game;

// Builds the event dict and hands it to the mod's event operation. focus, when given,
// names the focused widget an arrow passed through without moving ("focus" key); such
// an event, holding the script's own text, goes by the exact operation.
void mods_event_translate(Game* game, Event e, const char* focus = nullptr);
// Maps a pointer record's position and delta to view coordinates, keeping the window
// values in its window fields.
void mods_event_to_view(Event* e);
// The script's name of an event code: "?" for unnamed codes, null for codes never delivered.
const char* mods_event_type_name(int type);
// The script's name of a controller button; "" for an invalid button.
const char* mods_event_button_name(int button);

#endif
