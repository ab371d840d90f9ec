// kel_driver-tex_load: image file -> premultiplied, power-of-two padded GL texture.
//
//   int w, h, tw, th;
//   uint32_t id = driver_tex_load(path, &w, &h, &tw, &th);  // 0 on failure
//
// w, h are the image size; tw, th the uploaded size (each side padded up to 64 .. 4096,
// the padding repeating the edge pixels). Filters come from gfx_filter_gl().
#ifndef KEL_DRIVER_TEX_LOAD_H
#define KEL_DRIVER_TEX_LOAD_H

#include <stdint.h>

uint32_t driver_tex_load(const char* path, int* w, int* h, int* tw, int* th);
uint32_t _driver_tex_load(const char* path, int* w, int* h, int* tw, int* th);
// Premultiplies rgba in place, then uploads it (padded when needed).
uint32_t _driver_tex_load_from_data(uint8_t* rgba, int w, int h, int* ow, int* oh, int* tw,
                                    int* th);
// The padded size of one side.
int _driver_tex_pad(int n);

#endif
