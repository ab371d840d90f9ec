#include "util/kel_gfx.h"

// Placeholders until the graphics unit lands.
void gfx_init() {}
void gfx_deinit() {}
void gfx_clear() {}
void gfx_view_size_set(int, int) {}
void gfx_view_size_get(int* w, int* h) { *w = *h = 0; }
void gfx_view_angle_set(float) {}
void gfx_depth_range_set(float, float) {}
void gfx_reload_auto() {}
