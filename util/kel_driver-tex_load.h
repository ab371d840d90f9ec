// kel_driver-tex_load: image file -> premultiplied, power-of-two padded GL texture.
//
//   int w, h, tw, th;
//   uint32_t id = driver_tex_load(path, &w, &h, &tw, &th);  // 0 on failure
//
// w, h are the image size; tw, th the uploaded size (each side padded up to 64 .. 4096,
// the padding repeating the edge pixels). Filters come from gfx_filter_gl().
//
// A picture is measured from its header before it is decoded: one larger than
// DRIVER_IMAGE_PIXELS_MAX pixels, or than the GL texture limit, is refused without
// spending its decoded size (a few bytes of header can claim gigabytes).
#ifndef KEL_DRIVER_TEX_LOAD_H
#define KEL_DRIVER_TEX_LOAD_H

#include <stddef.h>
#include <stdint.h>

// 4096 x 4096: 64 MiB of decoded pixels.
#define DRIVER_IMAGE_PIXELS_MAX (4096 * 4096)

uint32_t driver_tex_load(const char* path, int* w, int* h, int* tw, int* th);
uint32_t _driver_tex_load(const char* path, int* w, int* h, int* tw, int* th);
// Premultiplies rgba in place, then uploads it (padded when needed).
uint32_t _driver_tex_load_from_data(uint8_t* rgba, int w, int h, int* ow, int* oh, int* tw,
                                    int* th);
// The size an encoded picture claims, 1 when it may be decoded: a readable header, at most
// DRIVER_IMAGE_PIXELS_MAX pixels and, when max_side > 0, no side above it. A refusal is
// logged and named once on stderr with the path.
int driver_image_info(const void* buf, size_t size, const char* path, int max_side, int* w,
                      int* h);
// The padded size of one side.
int _driver_tex_pad(int n);

#endif
