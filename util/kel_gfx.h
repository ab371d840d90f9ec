// kel_gfx: GL state, view and projection, textures, images, draw-list replay.
// (Placeholder interface; the graphics unit fills it in.)
#ifndef KEL_GFX_H
#define KEL_GFX_H

#include <stdint.h>
#include <string>

// One recorded command of a script's draw list.
enum { DRAW_VIEW = 1, DRAW_IMAGE = 2, DRAW_TEXT = 3, DRAW_RECT = 4 };
struct DrawCmd {
    int32_t type;
    std::string name;  // image or font name
    int32_t size;      // font size
    std::string text;
    float x, y, w, h;
    float rot;
    uint32_t colour;  // 0xRRGGBB
    int32_t alpha;    // negative: additive, magnitude 0..255
};

void gfx_init();
void gfx_deinit();
void gfx_clear();
void gfx_view_size_set(int w, int h);
void gfx_view_size_get(int* w, int* h);
void gfx_view_angle_set(float degrees);
void gfx_depth_range_set(float near_z, float far_z);
void gfx_reload_auto();

#endif
