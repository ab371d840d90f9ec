#include "util/kel_gfx.h"

// Placeholder bodies; the real ones land shortly.
static GfxTex _tex0;
static GfxImg _img0;
void gfx_init() {}
void gfx_deinit() {}
int gfx_ready() { return 0; }
void gfx_gl_state_reset() {}
void gfx_clear() {}
void gfx_ortho() {}
void gfx_view_size_set(int, int) {}
void gfx_view_size_get(int* w, int* h) { *w = *h = 0; }
void gfx_view_offset_set(float, float) {}
void gfx_view_offset_get(int* x, int* y) { *x = *y = 0; }
void gfx_view_angle_set(float) {}
void gfx_view_scale_set(float) {}
float gfx_view_scale_get() { return 1; }
void gfx_depth_range_set(float, float) {}
void gfx_input_rect_set(float, float, float, float) {}
void gfx_input_rect_clear() {}
void gfx_input_rect_screen_get(float out[4]) { out[0] = out[1] = out[2] = out[3] = 0; }
void gfx_screen_to_view(float sx, float sy, float* vx, float* vy) { *vx = sx; *vy = sy; }
void gfx_filter_query_set(gfx_filter_fn) {}
int gfx_filter_gl() { return 0x2601; }
void gfx_clock_set(gfx_clock_fn) {}
int gfx_tex_load(const char*) { return 0; }
void gfx_tex_reload(int) {}
void _gfx_tex_recycle() {}
const char* _gfx_find(const char*) { return nullptr; }
void gfx_tex_touch(int) {}
uint32_t gfx_tex_gl_id(int) { return 0; }
int gfx_tex_count() { return 0; }
GfxTex& gfx_tex_get(int) { return _tex0; }
uint64_t gfx_mem_used() { return 0; }
uint64_t gfx_mem_waste() { return 0; }
void gfx_reload_auto() {}
int gfx_img_register(const char*, int, float, float, float, float, float, float, float, float) { return 0; }
int gfx_img_load(const char*) { return 0; }
GfxImg& gfx_img_get(int) { return _img0; }
int gfx_img_count() { return 0; }
uint32_t gfx_img_gl_id(int) { return 0; }
void gfx_atlas_load(const char*) {}
void gfx_atlas_parse(int, const char*) {}
void gfx_batch_add(uint32_t, uint32_t, const GTri&) {}
void gfx_batch_flush() {}
int gfx_batch_size() { return 0; }
long gfx_batch_draws() { return 0; }
void gfx_batch_dry_set(int) {}
void gfx_replay_begin(GfxReplay* r) { *r = GfxReplay(); }
void gfx_replay_image(GfxReplay*, const DrawCmd&) {}
void gfx_replay_rect(const DrawCmd&) {}
void gfx_replay_text(GfxReplay*, const DrawCmd&) {}
void gfx_replay_end() {}
void gfx_translate(float, float) {}
void gfx_clip_push(float, float, float, float) {}
void gfx_clip_pop() {}
bool gfx_clip(float*, float*) { return true; }
void gfx_rect_fill(uint32_t, float, float, float, float) {}
void gfx_img_draw(float, float, float, float, int) {}
void gfx_img_draw_part(int, float, float, float, float, float, float, float, float) {}
void gfx_img_draw_nine(int, int, int, int, int, int) {}
void gfx_img_draw_tiled(int, int, int, int, int, int) {}
