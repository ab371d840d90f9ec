#include "util/kel_driver-sdl2.h"

#include <stddef.h>

// Placeholder bodies; the real ones land shortly.
void _driver_video_init() {}
void _driver_video_deinit() {}
void driver_video_init(int, int, int, int, int, int, int) {}
SDL_Window* _try_init_video(int, int, int) { return nullptr; }
void _sdl2_create_context(SDL_Window*) {}
void _driver_video_resize() {}
void driver_video_swap() {}
int driver_video_minimize() { return 0; }
void driver_video_deinit() {}
unsigned char* driver_image_load(const char*, int*, int*, int*, int) { return nullptr; }
SDL_Window* driver_video_window() { return nullptr; }
void* driver_video_context() { return nullptr; }
const char* driver_video_error() { return "no video"; }
