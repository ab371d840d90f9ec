#include "util/kel_driver-input.h"

// Placeholders until the input unit lands.
int driver_event_poll(Event*) { return 0; }
void _driver_joystick_init() {}
void driver_keyboard_show() {}
void driver_keyboard_hide() {}
std::string driver_clipboard_get() { return std::string(); }
void driver_clipboard_set(const char*) {}
int driver_joystick_is_adc(int) { return 0; }
int driver_key_code(int) { return 0; }
int ConvertUTF8toUTF32(const uint8_t**, const uint8_t*, uint32_t**, uint32_t*) { return 0; }
