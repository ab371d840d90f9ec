// kel_driver-sdl2: the SDL2 window with its OpenGL ES 1.1 context.
// (Placeholder interface; the video unit fills it in.)
#ifndef KEL_DRIVER_SDL2_H
#define KEL_DRIVER_SDL2_H

void _driver_video_init();
void _driver_video_deinit();
void driver_video_init(int w, int h, int pref_w, int pref_h, int min_w, int min_h, int fullscreen);
void driver_video_swap();
int driver_video_minimize();
void driver_video_deinit();

#endif
