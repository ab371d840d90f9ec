// kel_driver-sdl2: the one SDL2 window with its OpenGL ES 1.1 context (video half).
//
// driver_video_init opens the window or re-creates it when the size or fullscreen state
// changes; the GL context is made once and survives every re-creation, so textures stay.
// driver_video_swap shows the frame and applies caption and icon changes from the driver
// state. The measured window size goes to driver_screen_size_set.
//
//   driver_init(DRIVER_INIT_ALL);             // runs _driver_video_init
//   driver_video_init(0, 0, 640, 480, 240, 160, 0);
//   if (!driver_video_window()) ... no display
//   ... draw ...; driver_video_swap();
#ifndef KEL_DRIVER_SDL2_H
#define KEL_DRIVER_SDL2_H

struct SDL_Window;

void _driver_video_init();
void _driver_video_deinit();
void driver_video_init(int w, int h, int pref_w, int pref_h, int min_w, int min_h, int fullscreen);
SDL_Window* _try_init_video(int w, int h, int fullscreen);
void _sdl2_create_context(SDL_Window* window);
void _driver_video_resize();
void driver_video_swap();
int driver_video_minimize();
void driver_video_deinit();
// Decoded pixels (caller frees with free()) or null; the file goes through driver_file_alloc.
// A picture larger than DRIVER_IMAGE_PIXELS_MAX pixels is refused before decoding.
unsigned char* driver_image_load(const char* path, int* w, int* h, int* comp, int req_comp);
// A new w x h RGBA picture of at most max pixels per side (aspect kept, box-filtered),
// or null when out of memory. The window icon is shown through it at 256 at most.
unsigned char* driver_image_shrink(const unsigned char* px, int w, int h, int max, int* ow,
                                   int* oh);

SDL_Window* driver_video_window();  // null when there is none
void* driver_video_context();       // the SDL GL context, null when none
// Size of display 0 as SDL found it when video started (0 x 0 when unknown).
void driver_video_desktop_size(int* w, int* h);
// Why the last window creation failed ("" when it did not).
const char* driver_video_error();

#endif
