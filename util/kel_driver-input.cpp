#include "util/kel_driver-input.h"

// Placeholders until the input unit lands.
int driver_event_poll(Event*) { return 0; }
void driver_keyboard_show() {}
void driver_keyboard_hide() {}
