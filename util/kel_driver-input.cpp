// kel_driver-input: event polling, text conversion, controllers, on-screen keyboard.
#include "util/kel_driver-input.h"

#include <SDL.h>
#include <string.h>

#include "util/kel_driver-sdl2.h"
#include "util/kel_driver-sdl_load.h"
#include "util/kel_driver.h"
#include "util/kel_gfx.h"
#include "util/kel_log.h"

enum { QUEUE_SLOTS = 256 };

// Text received but not yet converted, and the converted characters still to deliver.
// The last slot always stays 0, so the queue is zero-terminated.
static std::string _pending;
static uint32_t _queue[QUEUE_SLOTS];

/* ---- UTF-8 to UTF-32 ---- */

enum { UNI_REPLACEMENT = 0xFFFD, UNI_MAX = 0x10FFFF };

// Number of continuation bytes after a lead byte; -1 for bytes that cannot lead.
static int _utf8_extra(uint8_t c) {
    if (c < 0x80) return 0;
    if (c < 0xC2) return -1;  // continuation byte, or overlong C0/C1
    if (c < 0xE0) return 1;
    if (c < 0xF0) return 2;
    if (c < 0xF8) return 3;
    return -1;
}

// Lenient on the value (surrogates and code points past U+10FFFF are encodable and
// become U+FFFD) but strict on the form (continuation bytes, overlong sequences).
static bool _utf8_legal(const uint8_t* s, int len) {
    for (int i = 1; i < len; i++)
        if ((s[i] & 0xC0) != 0x80) return false;
    if (len == 3 && s[0] == 0xE0 && s[1] < 0xA0) return false;
    if (len == 4 && s[0] == 0xF0 && s[1] < 0x90) return false;
    return true;
}

int ConvertUTF8toUTF32(const uint8_t** src, const uint8_t* src_end, uint32_t** dst,
                       uint32_t* dst_end) {
    const uint8_t* s = *src;
    uint32_t* t = *dst;
    int result = UTF_OK;
    while (s < src_end) {
        int extra = _utf8_extra(*s);
        if (extra < 0 || (s + extra < src_end && !_utf8_legal(s, extra + 1))) {
            result = UTF_SOURCE_ILLEGAL;
            break;
        }
        if (s + extra >= src_end) {
            result = UTF_SOURCE_EXHAUSTED;
            break;
        }
        if (t >= dst_end) {
            result = UTF_TARGET_EXHAUSTED;
            break;
        }
        uint32_t ch = extra ? (*s & (0x3F >> extra)) : *s;
        for (int i = 1; i <= extra; i++) ch = (ch << 6) | (s[i] & 0x3F);
        s += extra + 1;
        if (ch > UNI_MAX) {
            result = UTF_SOURCE_ILLEGAL;
            ch = UNI_REPLACEMENT;
        } else if (ch >= 0xD800 && ch <= 0xDFFF) {
            ch = UNI_REPLACEMENT;
        }
        *t++ = ch;
    }
    *src = s;
    *dst = t;
    return result;
}

// Converts the pending text into the (empty) queue. A full queue keeps the rest
// pending for the next conversion; other errors drop it.
static void _driver_text_convert() {
    KEL_LOG("driver_event_poll", "doing UTF8 conversion...\n");
    const uint8_t* s = (const uint8_t*)_pending.data();
    const uint8_t* end = s + _pending.size();
    uint32_t* t = _queue;
    int r = ConvertUTF8toUTF32(&s, end, &t, _queue + QUEUE_SLOTS - 1);
    *t = 0;
    if (r != UTF_OK) KEL_LOG("driver_event_poll", "ConvertUTF8toUTF32 error: %d\n", r);
    if (r == UTF_TARGET_EXHAUSTED)
        _pending.erase(0, (const char*)s - _pending.data());
    else
        _pending.clear();
}

/* ---- keys ---- */

const char* driver_event_type_name(int type) {
    static const char* names[] = {
        nullptr,       "quit",        "suspend",    "resume",      "resize",    "reset",
        "keydown",     "keyup",       "down",       "motion",      "up",        "mousedown",
        "mousemotion", "mouseup",     "wheel",      "touchdown",   "touchmotion", "touchup",
        "joyadded",    "joyremoved",  "joymotion",  "joydown",     "joyup",     "joyhat",
    };
    return type > 0 && type < (int)(sizeof names / sizeof *names) ? names[type] : nullptr;
}

int driver_key_code(int sym) {
    if (sym >= SDLK_a && sym <= SDLK_z) return DRIVER_KEY_A + (sym - SDLK_a);
    if (sym >= SDLK_0 && sym <= SDLK_9) return DRIVER_KEY_0 + (sym - SDLK_0);
    if (sym >= SDLK_F1 && sym <= SDLK_F12) return DRIVER_KEY_F1 + (sym - SDLK_F1);
    if (sym >= SDLK_KP_1 && sym <= SDLK_KP_9) return DRIVER_KEY_KP0 + 1 + (sym - SDLK_KP_1);
    switch (sym) {
    case SDLK_UP: return DRIVER_KEY_UP;
    case SDLK_RIGHT: return DRIVER_KEY_RIGHT;
    case SDLK_DOWN: return DRIVER_KEY_DOWN;
    case SDLK_LEFT: return DRIVER_KEY_LEFT;
    case SDLK_ESCAPE: return DRIVER_KEY_ESCAPE;
    case SDLK_BACKSPACE: return DRIVER_KEY_BACKSPACE;
    case SDLK_DELETE: return DRIVER_KEY_DELETE;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return DRIVER_KEY_RETURN;
    case SDLK_HOME: return DRIVER_KEY_HOME;
    case SDLK_END: return DRIVER_KEY_END;
    case SDLK_TAB: return DRIVER_KEY_TAB;
    case SDLK_SPACE: return DRIVER_KEY_SPACE;
    case SDLK_KP_0: return DRIVER_KEY_KP0;
    case SDLK_PLUS: return DRIVER_KEY_PLUS;
    case SDLK_MINUS: return DRIVER_KEY_MINUS;
    case SDLK_BACKQUOTE: return DRIVER_KEY_BACKQUOTE;
    case SDLK_PAGEUP: return DRIVER_KEY_PAGEUP;
    case SDLK_PAGEDOWN: return DRIVER_KEY_PAGEDOWN;
    }
    return 0;
}

// Names of the keys that carry no character, as SDL names them. Looked up from the key
// code alone: SDL's own lookup goes through the keyboard map, which is empty until video
// starts, and a headless game would see "" where a windowed one sees "Left".
static const struct {
    int sym;
    const char* name;
} _driver_key_names[] = {
    {SDLK_UP, "Up"}, {SDLK_RIGHT, "Right"}, {SDLK_DOWN, "Down"}, {SDLK_LEFT, "Left"},
    {SDLK_HOME, "Home"}, {SDLK_END, "End"}, {SDLK_PAGEUP, "PageUp"}, {SDLK_PAGEDOWN, "PageDown"},
    {SDLK_INSERT, "Insert"}, {SDLK_CAPSLOCK, "CapsLock"}, {SDLK_PRINTSCREEN, "PrintScreen"},
    {SDLK_SCROLLLOCK, "ScrollLock"}, {SDLK_PAUSE, "Pause"}, {SDLK_NUMLOCKCLEAR, "Numlock"},
    {SDLK_KP_DIVIDE, "Keypad /"}, {SDLK_KP_MULTIPLY, "Keypad *"}, {SDLK_KP_MINUS, "Keypad -"},
    {SDLK_KP_PLUS, "Keypad +"}, {SDLK_KP_ENTER, "Keypad Enter"}, {SDLK_KP_PERIOD, "Keypad ."},
    {SDLK_KP_EQUALS, "Keypad ="}, {SDLK_KP_0, "Keypad 0"}, {SDLK_KP_1, "Keypad 1"},
    {SDLK_KP_2, "Keypad 2"}, {SDLK_KP_3, "Keypad 3"}, {SDLK_KP_4, "Keypad 4"},
    {SDLK_KP_5, "Keypad 5"}, {SDLK_KP_6, "Keypad 6"}, {SDLK_KP_7, "Keypad 7"},
    {SDLK_KP_8, "Keypad 8"}, {SDLK_KP_9, "Keypad 9"}, {SDLK_F1, "F1"}, {SDLK_F2, "F2"},
    {SDLK_F3, "F3"}, {SDLK_F4, "F4"}, {SDLK_F5, "F5"}, {SDLK_F6, "F6"}, {SDLK_F7, "F7"},
    {SDLK_F8, "F8"}, {SDLK_F9, "F9"}, {SDLK_F10, "F10"}, {SDLK_F11, "F11"}, {SDLK_F12, "F12"},
    {SDLK_APPLICATION, "Application"}, {SDLK_MENU, "Menu"}, {SDLK_MODE, "ModeSwitch"},
    {SDLK_LCTRL, "Left Ctrl"}, {SDLK_LSHIFT, "Left Shift"}, {SDLK_LALT, "Left Alt"},
    {SDLK_LGUI, "Left GUI"}, {SDLK_RCTRL, "Right Ctrl"}, {SDLK_RSHIFT, "Right Shift"},
    {SDLK_RALT, "Right Alt"}, {SDLK_RGUI, "Right GUI"},
};

const char* driver_key_name(int sym) {
    static char buf[5];
    if (sym <= 0) return "";
    if (sym & SDLK_SCANCODE_MASK) {
        for (auto& k : _driver_key_names)
            if (k.sym == sym) return k.name;
        // Rarer keys: SDL's name table needs no video either, only the library.
        int sc = sym & ~SDLK_SCANCODE_MASK;
        return sc < SDL_NUM_SCANCODES ? SDL_GetKeyName(sym) : "";
    }
    switch (sym) {
    case SDLK_RETURN: return "Return";
    case SDLK_ESCAPE: return "Escape";
    case SDLK_BACKSPACE: return "Backspace";
    case SDLK_TAB: return "Tab";
    case SDLK_SPACE: return "Space";
    case SDLK_DELETE: return "Delete";
    }
    // A character key is named by its character, letters in upper case, as on the keycap.
    uint32_t c = (uint32_t)sym;
    if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
    if (c > 0x10FFFF) return "";
    char* p = buf;
    if (c < 0x80) {
        *p++ = (char)c;
    } else if (c < 0x800) {
        *p++ = (char)(0xC0 | (c >> 6));
        *p++ = (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *p++ = (char)(0xE0 | (c >> 12));
        *p++ = (char)(0x80 | ((c >> 6) & 0x3F));
        *p++ = (char)(0x80 | (c & 0x3F));
    } else {
        *p++ = (char)(0xF0 | (c >> 18));
        *p++ = (char)(0x80 | ((c >> 12) & 0x3F));
        *p++ = (char)(0x80 | ((c >> 6) & 0x3F));
        *p++ = (char)(0x80 | (c & 0x3F));
    }
    *p = 0;
    return buf;
}

static int _driver_mod_bits(int mod) {
    int bits = 0;
    if (mod & KMOD_SHIFT) bits |= DRIVER_MOD_SHIFT;
    if (mod & KMOD_CTRL) bits |= DRIVER_MOD_CTRL;
    if (mod & KMOD_ALT) bits |= DRIVER_MOD_ALT;
    if (mod & KMOD_GUI) bits |= DRIVER_MOD_GUI;
    return bits;
}

/* ---- joysticks and controllers ---- */

int driver_joystick_is_adc(int index) {
    const char* name = SDL_JoystickNameForIndex(index);
    return name && (!strcmp(name, "adc-keys") || !strcmp(name, "adc-pot"));
}

static void _driver_controller_log(const char* func, const char* what, int index,
                                   SDL_GameController* gc) {
    char* mapping = SDL_GameControllerMapping(gc);
    const char* name = SDL_GameControllerName(gc);
    KEL_LOG(func, "%s: %d\nName=%s\nMapping=%s\n", what, index, name ? name : "",
            mapping ? mapping : "");
    SDL_free(mapping);
}

void _driver_joystick_init() {
    if (!SDL_WasInit(SDL_INIT_JOYSTICK)) {
        SDL_InitSubSystem(SDL_INIT_JOYSTICK);
        KEL_LOG("_driver_joystick_init", "== SDL_INIT_JOYSTICK ==\n");
    }
    if (SDL_WasInit(SDL_INIT_GAMECONTROLLER)) return;
    SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
    KEL_LOG("_driver_joystick_init", "== SDL_INIT_GAMECONTROLLER ==\n");
    SDL_GameControllerEventState(SDL_ENABLE);

    const char* db = "gamecontrollerdb.txt";
    KEL_LOG("_driver_joystick_init", "Loading %s ...", db);
    std::string maps = driver_data_read(db);
    if (!maps.empty())
        SDL_GameControllerAddMappingsFromRW(SDL_RWFromConstMem(maps.data(), (int)maps.size()), 1);
    const char* cfg = "/cfg/gamecontrollerdb.txt";
    KEL_LOG("_driver_joystick_init", "also loading %s ...", cfg);
    if (SDL_RWops* rw = SDL_RWFromFile(cfg, "rb")) SDL_GameControllerAddMappingsFromRW(rw, 1);

    for (int i = 0; i < SDL_NumJoysticks(); i++) {
        SDL_Joystick* js = SDL_JoystickOpen(i);
        if (!js) continue;
        if (SDL_GameController* gc = SDL_GameControllerOpen(i)) {
            _driver_controller_log("_driver_joystick_init", "Opened", i, gc);
        } else {
            const char* name = SDL_JoystickName(js);
            KEL_LOG("_driver_joystick_init", "Unsupported: %d\nName=%s\n", i, name ? name : "");
            SDL_JoystickClose(js);
        }
    }
}

// Device index of a joystick instance id, -1 when it is gone. Read from the device
// list, so no joystick is opened just to learn its id.
static int _driver_joystick_index(SDL_JoystickID id) {
    for (int i = 0; i < SDL_NumJoysticks(); i++)
        if (SDL_JoystickGetDeviceInstanceID(i) == id) return i;
    return -1;
}

static int _driver_is_adc_id(SDL_JoystickID id) {
    int i = _driver_joystick_index(id);
    return i >= 0 && driver_joystick_is_adc(i);
}

// The controller of a joystick instance id; one that is not open yet is opened and
// stays open, like a newly added device.
static SDL_GameController* _driver_controller_find(SDL_JoystickID id) {
    if (SDL_GameController* gc = SDL_GameControllerFromInstanceID(id)) return gc;
    int i = _driver_joystick_index(id);
    return i >= 0 ? SDL_GameControllerOpen(i) : nullptr;
}

static void _driver_stick(const SDL_ControllerAxisEvent& ev, Event* e) {
    int right;
    switch (ev.axis) {
    case SDL_CONTROLLER_AXIS_LEFTX:
    case SDL_CONTROLLER_AXIS_LEFTY: right = 0; break;
    case SDL_CONTROLLER_AXIS_RIGHTX:
    case SDL_CONTROLLER_AXIS_RIGHTY: right = 1; break;
    case SDL_CONTROLLER_AXIS_TRIGGERLEFT:
    case SDL_CONTROLLER_AXIS_TRIGGERRIGHT:
        // A trigger is one axis, 0 released to 1 fully pulled, in x.
        e->type = EVT_JOYMOTION;
        e->button = ev.axis == SDL_CONTROLLER_AXIS_TRIGGERLEFT ? -2 : 2;
        e->device = ev.which;
        e->window_x = ev.value < 0 ? 0.0f : ev.value * (1.0f / 32767.0f);
        return;
    default: return;
    }
    SDL_GameController* gc = _driver_controller_find(ev.which);
    if (!gc) return;
    SDL_GameControllerAxis ax = right ? SDL_CONTROLLER_AXIS_RIGHTX : SDL_CONTROLLER_AXIS_LEFTX;
    SDL_GameControllerAxis ay = right ? SDL_CONTROLLER_AXIS_RIGHTY : SDL_CONTROLLER_AXIS_LEFTY;
    e->type = EVT_JOYMOTION;
    e->button = right ? 1 : -1;
    e->device = ev.which;
    e->window_x = SDL_GameControllerGetAxis(gc, ax) * (1.0f / 32768.0f);
    e->window_y = SDL_GameControllerGetAxis(gc, ay) * (1.0f / 32768.0f);
}

// A controller that opens is announced with its instance id, the device number of its
// later events. ADC pseudo-joysticks stay silent, as their input does.
static void _driver_controller_added(int index, Event* e) {
    KEL_LOG("driver_event_poll", "SDL_CONTROLLERDEVICEADDED: %d\n", index);
    SDL_GameController* gc = SDL_GameControllerOpen(index);
    if (!gc) return;
    _driver_controller_log("driver_event_poll", "Added", index, gc);
    if (driver_joystick_is_adc(index)) return;
    e->type = EVT_JOYADDED;
    e->device = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(gc));
}

// Announced when it was an open controller; closing it lets a pad plugged in again
// open afresh (it comes back with a new instance id).
static void _driver_controller_removed(SDL_JoystickID id, Event* e) {
    KEL_LOG("driver_event_poll", "SDL_CONTROLLERDEVICEREMOVED: %d\n", (int)id);
    SDL_GameController* gc = SDL_GameControllerFromInstanceID(id);
    if (!gc) return;
    const char* name = SDL_JoystickName(SDL_GameControllerGetJoystick(gc));
    bool adc = name && (!strcmp(name, "adc-keys") || !strcmp(name, "adc-pot"));
    // every open of it (the init, the added event, the finder) is one reference
    while (SDL_GameControllerFromInstanceID(id)) SDL_GameControllerClose(gc);
    if (adc) return;
    e->type = EVT_JOYREMOVED;
    e->device = id;
}

/* ---- polling ---- */

// Focus changes become "suspend" and "resume" only for a game that asked; a "resume"
// only ever follows a "suspend" of the focus.
static int _focus_suspend = 0;    // the game asked for them
static int _focus_suspended = 0;  // a focus loss was handed out as "suspend"

void driver_focus_suspend_set(int on) { _focus_suspend = on ? 1 : 0; }

static void _driver_window_event(const SDL_WindowEvent& ev, Event* e) {
    if (ev.event == SDL_WINDOWEVENT_FOCUS_LOST && _focus_suspend && !_focus_suspended) {
        _focus_suspended = 1;
        e->type = EVT_SUSPEND;
        return;
    }
    if (ev.event == SDL_WINDOWEVENT_FOCUS_GAINED && _focus_suspended) {
        _focus_suspended = 0;
        e->type = EVT_RESUME;
        return;
    }
    if (ev.event != SDL_WINDOWEVENT_RESIZED) return;
    int w = 0, h = 0;
    if (SDL_Window* win = SDL_GetWindowFromID(ev.windowID)) SDL_GetWindowSize(win, &w, &h);
    KEL_LOG("driver_event_poll", "Window size: %d %d ... Really: %d %d\n", ev.data1, ev.data2,
            w, h);
    e->type = EVT_RESIZE;
    e->width = (float)ev.data1;
    e->height = (float)ev.data2;
    _driver_video_resize();
}

static void _driver_map(const SDL_Event& ev, Event* e) {
    switch (ev.type) {
    case SDL_QUIT: e->type = EVT_QUIT; break;
    case SDL_WINDOWEVENT: _driver_window_event(ev.window, e); break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        e->type = ev.type == SDL_KEYDOWN ? EVT_KEYDOWN : EVT_KEYUP;
        e->sym = ev.key.keysym.sym;
        e->key = driver_key_code(ev.key.keysym.sym);
        e->button = _driver_mod_bits(ev.key.keysym.mod);
        break;
    case SDL_TEXTEDITING:
        KEL_LOG("driver_event_poll", "SDL_TEXTEDITING: '%s'\n", ev.edit.text);
        break;
    case SDL_TEXTINPUT:
        _pending += ev.text.text;
        KEL_LOG("driver_event_poll", "SDL_TEXTINPUT: '%s' @%d\n", ev.text.text,
                (int)ev.text.timestamp);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        e->type = ev.type == SDL_MOUSEBUTTONDOWN ? EVT_MOUSEDOWN : EVT_MOUSEUP;
        e->button = ev.button.button;
        e->device = (int)ev.button.which;
        e->window_x = (float)ev.button.x;
        e->window_y = (float)ev.button.y;
        break;
    case SDL_MOUSEMOTION:
        e->type = EVT_MOUSEMOTION;
        e->button = (int)ev.motion.state;
        e->device = (int)ev.motion.which;
        e->window_x = (float)ev.motion.x;
        e->window_y = (float)ev.motion.y;
        e->window_dx = (float)ev.motion.xrel;
        e->window_dy = (float)ev.motion.yrel;
        break;
    case SDL_MOUSEWHEEL: {
        int mx = 0, my = 0;
        SDL_GetMouseState(&mx, &my);
        e->type = EVT_WHEEL;
        e->window_x = (float)mx;
        e->window_y = (float)my;
        e->window_dx = (float)-ev.wheel.x;
        e->window_dy = (float)-ev.wheel.y;
        break;
    }
    case SDL_CONTROLLERAXISMOTION:
        if (!_driver_is_adc_id(ev.caxis.which)) _driver_stick(ev.caxis, e);
        break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
        if (_driver_is_adc_id(ev.cbutton.which)) break;
        e->type = ev.type == SDL_CONTROLLERBUTTONDOWN ? EVT_JOYDOWN : EVT_JOYUP;
        e->device = ev.cbutton.which;
        e->button = ev.cbutton.button;
        break;
    case SDL_CONTROLLERDEVICEADDED: _driver_controller_added(ev.cdevice.which, e); break;
    case SDL_CONTROLLERDEVICEREMOVED: _driver_controller_removed(ev.cdevice.which, e); break;
    case SDL_CONTROLLERDEVICEREMAPPED:
        KEL_LOG("driver_event_poll", "SDL_CONTROLLERDEVICEREMAPPED: %d\n", ev.cdevice.which);
        break;
    }
}

int driver_event_poll(Event* e) {
    memset(e, 0, sizeof *e);
    if (driver_signal_take()) {
        e->type = EVT_QUIT;
        return 1;
    }
    if (int pause = driver_pause_take()) {
        e->type = pause == DRIVER_PAUSE_SUSPEND ? EVT_SUSPEND : EVT_RESUME;
        return 1;
    }
    if (!driver_sdl_loaded()) return 0;  // headless: no SDL, no events
    _driver_joystick_init();
    if (!_pending.empty() && !_queue[0]) _driver_text_convert();  // never over queued text
    if (_queue[0]) {
        e->type = EVT_KEYDOWN;
        e->unicode = (int)_queue[0];
        KEL_LOG("driver_event_poll", "UTF32: %lx\n", (unsigned long)_queue[0]);
        memmove(_queue, _queue + 1, sizeof _queue - sizeof _queue[0]);
        _queue[QUEUE_SLOTS - 1] = 0;
        return 1;
    }
    SDL_Event ev;
    if (!SDL_PollEvent(&ev)) return 0;
    _driver_map(ev, e);
    e->x = e->window_x;
    e->y = e->window_y;
    e->dx = e->window_dx;
    e->dy = e->window_dy;
    return 1;
}

/* ---- on-screen keyboard and clipboard ---- */

static bool _driver_keyboard_ok() {
    return driver_video_window() && SDL_HasScreenKeyboardSupport();
}

void driver_keyboard_show() {
    if (!_driver_keyboard_ok()) return;
    KEL_LOG("driver_keyboard_show", "- keyboard_show ...\n");
    float r[4] = {0, 0, 0, 0};
    if (gfx_ready()) gfx_input_rect_screen_get(r);
    if (r[2] != 0.0f) {
        SDL_Rect rect = {(int)r[0], (int)r[1], (int)r[2], (int)r[3]};
        KEL_LOG("driver_keyboard_show", "- keyboard_show:focus (%d,%d,%d,%d)...\n", rect.x,
                rect.y, rect.w, rect.h);
        SDL_SetTextInputRect(&rect);
    }
    SDL_StartTextInput();
    KEL_LOG("driver_keyboard_show", "- keyboard_show: OK\n");
}

void driver_keyboard_hide() {
    if (!_driver_keyboard_ok()) return;
    KEL_LOG("driver_keyboard_hide", "- keyboard_hide ...\n");
    SDL_StopTextInput();
    KEL_LOG("driver_keyboard_hide", "- keyboard_hide: OK\n");
}

std::string driver_clipboard_get() {
    char* text = SDL_GetClipboardText();
    std::string s = text ? text : "";
    SDL_free(text);
    return s;
}

// Some video drivers have no clipboard; the game goes on without it.
void driver_clipboard_set(const char* text) {
    if (SDL_SetClipboardText(text ? text : "") != 0)
        KEL_LOG("driver_clipboard_set", "no clipboard: %s\n", SDL_GetError());
}
