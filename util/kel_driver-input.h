// kel_driver-input: SDL2 events become the engine's own Event record.
#ifndef KEL_DRIVER_INPUT_H
#define KEL_DRIVER_INPUT_H

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
    EVT_JOYMOTION = 20, EVT_JOYDOWN = 21, EVT_JOYUP = 22,
};

// Fills *e with the next pending event; returns 0 when there is none.
int driver_event_poll(Event* e);
void driver_keyboard_show();
void driver_keyboard_hide();

#endif
