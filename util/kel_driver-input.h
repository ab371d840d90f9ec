// kel_driver-input: SDL2 events become the engine's own Event record.
//
// The frame loop calls driver_event_poll until it returns 0 and ignores records of
// type 0. Text input arrives as UTF-8, is converted to UTF-32 into a 256-slot queue
// and is delivered one character per call (type EVT_KEYDOWN, unicode set, key 0)
// before any further SDL event is read. Joysticks and game controllers are opened
// on the first poll (or video start) with the mappings of "gamecontrollerdb.txt"
// from the data area and "/cfg/gamecontrollerdb.txt".
//
//   Event e;
//   while (driver_event_poll(&e)) if (e.type) game_event(e);
#ifndef KEL_DRIVER_INPUT_H
#define KEL_DRIVER_INPUT_H

#include <stdint.h>
#include <string>

// The platform event record; zero-filled before every poll. Codes are listed below.
struct Event {
    int type;
    float x, y;
    float dx, dy;
    float width, height;
    float window_x, window_y;
    float window_dx, window_dy;
    int button;
    int key;
    int unicode;
    int sym;
    int device;
};

enum {
    EVT_QUIT = 1, EVT_SUSPEND = 2, EVT_RESUME = 3, EVT_RESIZE = 4, EVT_RESET = 5,
    EVT_KEYDOWN = 6, EVT_KEYUP = 7, EVT_DOWN = 8, EVT_MOTION = 9, EVT_UP = 10,
    EVT_MOUSEDOWN = 11, EVT_MOUSEMOTION = 12, EVT_MOUSEUP = 13, EVT_WHEEL = 14,
    EVT_TOUCHDOWN = 15, EVT_TOUCHMOTION = 16, EVT_TOUCHUP = 17,
    EVT_JOYMOTION = 20, EVT_JOYDOWN = 21, EVT_JOYUP = 22, EVT_JOYHAT = 23,
};

// Modifier bits of key events (Event.button).
enum { DRIVER_MOD_SHIFT = 1, DRIVER_MOD_CTRL = 2, DRIVER_MOD_ALT = 4, DRIVER_MOD_GUI = 8 };

// Engine key codes (Event.key); 0 for keys without one. 11 to 13 are unused.
enum {
    DRIVER_KEY_UP = 1, DRIVER_KEY_RIGHT = 2, DRIVER_KEY_DOWN = 3, DRIVER_KEY_LEFT = 4,
    DRIVER_KEY_ESCAPE = 5, DRIVER_KEY_BACKSPACE = 6, DRIVER_KEY_DELETE = 7,
    DRIVER_KEY_RETURN = 8,  // return and keypad enter
    DRIVER_KEY_HOME = 9, DRIVER_KEY_END = 10,
    DRIVER_KEY_F1 = 14,  // .. F12 = 25
    DRIVER_KEY_TAB = 26, DRIVER_KEY_SPACE = 27,
    DRIVER_KEY_KP0 = 28,  // .. keypad 9 = 37
    DRIVER_KEY_A = 38,    // .. z = 63
    DRIVER_KEY_0 = 64,    // .. 9 = 73
    DRIVER_KEY_PLUS = 74, DRIVER_KEY_MINUS = 75, DRIVER_KEY_BACKQUOTE = 76,
    DRIVER_KEY_PAGEUP = 77, DRIVER_KEY_PAGEDOWN = 78,
};

// The script's name of an event code ("keydown", ...); null for codes without one.
const char* driver_event_type_name(int type);

// Returns 1 when something was consumed (e filled, possibly with type 0), 0 when
// there is nothing more this frame.
int driver_event_poll(Event* e);
// Opens the joystick and controller subsystems and devices (once per process).
void _driver_joystick_init();
// On-screen keyboard on / off, only with a window and platform support.
void driver_keyboard_show();
void driver_keyboard_hide();
std::string driver_clipboard_get();
void driver_clipboard_set(const char* text);
// 1 for the "adc-keys" and "adc-pot" pseudo-joysticks of the console.
int driver_joystick_is_adc(int index);
// SDL key code to engine key code.
int driver_key_code(int sym);
// The script's name of an SDL key code ("Left", "Return", "A", "Left Ctrl"; "" for 0),
// the same with or without video and whatever the keyboard layout.
const char* driver_key_name(int sym);

// Lenient UTF-8 to UTF-32 conversion (surrogates and code points above U+10FFFF
// become U+FFFD). Advances *src and *dst past what was converted.
enum { UTF_OK = 0, UTF_SOURCE_EXHAUSTED = 1, UTF_TARGET_EXHAUSTED = 2, UTF_SOURCE_ILLEGAL = 3 };
int ConvertUTF8toUTF32(const uint8_t** src, const uint8_t* src_end, uint32_t** dst,
                       uint32_t* dst_end);

#endif
