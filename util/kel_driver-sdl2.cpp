#include "util/kel_driver-sdl2.h"

// Placeholders until the video unit lands: no window, nothing to swap.
void _driver_video_init() {}
void _driver_video_deinit() {}
void driver_video_init(int, int, int, int, int, int, int) {}
void driver_video_swap() {}
int driver_video_minimize() { return 0; }
void driver_video_deinit() {}
