// kel_gfx: the graphics context: GL state, view and projection, textures with a
// memory budget, images and atlases, the triangle batch and immediate primitives.
//
// One process-wide context (_gfx), created by gfx_init once a GL context exists and
// freed by gfx_deinit. Textures and images are addressed by small integer handles
// (0 = none); records are never removed, textures may be unloaded under the budget
// and come back on their next use.
//
//   gfx_init(); gfx_view_size_set(320, 200); gfx_ortho();
//   int img = gfx_img_load("hero");            // hero.tga/.png/.jpg/.kel
//   gfx_img_draw(10, 10, 0, 0, img);           // immediate
//
// Draw lists: a script's DrawCmd list is replayed through gfx_replay_* which gather
// image quads into the one batch (one glDrawArrays per run of texture and blend).
#ifndef KEL_GFX_H
#define KEL_GFX_H

#include <stdint.h>
#include <time.h>
#include <string>
#include <vector>

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

// Texture memory budget in bytes (256 MiB). It holds: past it, textures not drawn in the
// current frame are unloaded, least recently used first (those idle over 4 s before
// any other); a texture that would still not fit is not loaded in this frame (unless
// it is the only one), and that is said once on stderr.
#define KEL_GFX_MEMMAX 268435456u

// Image names (frames, image:sub parts) are shorter than GFX_IMG_NAME_MAX bytes; an
// atlas description larger than GFX_ATLAS_MAX bytes is refused unread.
enum { GFX_NAME_MAX = 64, GFX_PATH_MAX = 512, GFX_IMG_NAME_MAX = 256, GFX_ATLAS_MAX = 4 << 20 };

struct GfxTex {
    int32_t index;
    int32_t loaded;
    uint32_t gl_id;
    int32_t filter_set;
    int32_t mag_filter, min_filter;
    uint32_t bytes;  // charged to the budget
    uint32_t waste;  // part of bytes spent on power-of-two padding
    float ox, oy;
    float width, height;  // padded size
    char name[GFX_NAME_MAX];
    char path[GFX_PATH_MAX];
    time_t file_time;
    char atlas_path[GFX_PATH_MAX];
    time_t atlas_time;
    time_t last_used;
    int32_t last_frame;  // gfx_frame() of the last use
    uint32_t need;       // bytes it is charged when loaded; 0 until first decoded
};

struct GfxImg {
    int32_t index;
    int32_t texture;
    float fx, fy, fw, fh;  // frame in texture pixels
    float tx, ty;          // trim offset inside the untrimmed image
    float sw, sh;          // untrimmed size
};

// Context and GL state.
void gfx_init();
void gfx_deinit();
int gfx_ready();  // 1 while the context exists
void gfx_gl_state_reset();
void gfx_clear();
void gfx_ortho();

// View.
void gfx_view_size_set(int w, int h);
void gfx_view_size_get(int* w, int* h);
void gfx_view_offset_set(float x, float y);
void gfx_view_offset_get(int* x, int* y);
void gfx_view_angle_set(float degrees);
void gfx_view_scale_set(float scale);
float gfx_view_scale_get();
// Overlays draw in window pixels: gfx_view_window saves the view and sets it to the
// window (no offset, scale 1, projected); gfx_view_restore puts the saved one back.
struct GfxView {
    int w, h, x, y;
    float scale;
};
GfxView gfx_view_window();
// Pixels of a rectangle of the frame (GL window coordinates), RGBA, top row first.
std::vector<uint8_t> gfx_read_rgba(int x, int y, int w, int h);
void gfx_view_restore(const GfxView& v);
void gfx_depth_range_set(float near_z, float far_z);
void gfx_input_rect_set(float x, float y, float w, float h);
void gfx_input_rect_clear();
void gfx_input_rect_screen_get(float out[4]);  // x, y, w, h in drawable pixels
void gfx_screen_to_view(float sx, float sy, float* vx, float* vy);

// The "filter" parameter of the running script: the host installs a query returning
// its text (null or "" when there is none). "nearest" selects GL_NEAREST.
typedef const char* (*gfx_filter_fn)(void);
void gfx_filter_query_set(gfx_filter_fn fn);
int gfx_filter_gl();  // GL_NEAREST or GL_LINEAR for new textures

// Wall clock used for last-used times, recycling and reload checks; tests inject one.
typedef time_t (*gfx_clock_fn)(void);
void gfx_clock_set(gfx_clock_fn fn);  // null restores time()

// Frames: the game host counts each shown frame, so that a texture drawn in the current
// frame is never unloaded for the budget, however long the frame takes.
void gfx_frame_next();
int gfx_frame();

// Textures.
int gfx_tex_load(const char* name);
// A texture from a file path outside the data area (kelgame's own files), cached apart
// from the data-area names.
int gfx_tex_load_file(const char* path);
void gfx_tex_reload(int index);
void _gfx_tex_recycle();
const char* _gfx_find(const char* name);
void gfx_tex_touch(int index);
uint32_t gfx_tex_gl_id(int index);
int gfx_tex_count();
GfxTex& gfx_tex_get(int index);
uint64_t gfx_mem_used();   // bytes charged, all textures
uint64_t gfx_mem_waste();  // of which padding
void gfx_reload_auto();

// Images and atlases.
int gfx_img_register(const char* name, int texture, float fx, float fy, float fw, float fh,
                     float tx, float ty, float sw, float sh);
int gfx_img_load(const char* name);
// A frame rectangle (x, y, w, h) is usable: finite, not negative, inside a sheet of
// sheet_w x sheet_h (unchecked where 0). Otherwise logs why, warns once and says false.
bool gfx_img_rect_ok(const char* name, const float r[4], float sheet_w, float sheet_h);
GfxImg& gfx_img_get(int index);
int gfx_img_count();
uint32_t gfx_img_gl_id(int index);
void gfx_atlas_load(const char* name);
void gfx_atlas_parse(int texture, const char* path);
// The frames of a description's text as images of the texture (path names it in the log).
void gfx_atlas_parse_text(int texture, const std::string& text, const char* path);

// Batch: 20-byte interleaved vertices, premultiplied colour.
struct GVertex {
    float u, v;
    float x, y;
    uint8_t r, g, b, a;
};
struct GTri {
    GVertex v[3];
};
enum { GBATCH_MAX = 8192 };  // triangles per flush
struct GBatch {
    std::vector<GTri> tris;  // storage for GBATCH_MAX triangles, made once
    int n;                   // pending triangles at the front of tris
    uint32_t texture;
    uint32_t blend;  // GL_ONE_MINUS_SRC_ALPHA or GL_ONE
};
void gfx_batch_add(uint32_t texture, uint32_t blend, const GTri& tri);
void gfx_batch_flush();
int gfx_batch_size();          // pending triangles
long gfx_batch_draws();        // glDrawArrays calls made by flushes so far
// Every GL draw call made through graphics or fonts, and its triangles, since start;
// a frame's figures are the difference of two readings.
struct GfxCounts {
    long draws;
    long tris;
};
GfxCounts gfx_counts();
void gfx_counts_add(long draws, long tris);  // GL drawing done outside graphics
void gfx_batch_dry_set(int on);  // flush without GL (benchmarks)

// Replay helpers: state carried from one command of a list to the next.
struct GfxReplay {
    const std::string* img_name;  // previous image command's name
    int img;
    int img_ok;                   // img has a texture and a size: it can be drawn
    uint32_t img_gl;              // its texture's GL name, texture coordinates and
    float u0, v0, u1, v1;         // frame, worked out once per run of the same image
    const std::string* font_name;
    int font_size;
    int font;
};
void gfx_replay_begin(GfxReplay* r);
void gfx_replay_image(GfxReplay* r, const DrawCmd& c);
void gfx_replay_rect(const DrawCmd& c);
void gfx_replay_text(GfxReplay* r, const DrawCmd& c);
void gfx_replay_end();

// Immediate primitives.
void gfx_translate(float dx, float dy);
void gfx_clip_push(float x, float y, float w, float h);
void gfx_clip_pop();
bool gfx_clip(float dst[4], float src[4]);
void gfx_rect_fill(uint32_t colour, float x, float y, float w, float h);
void gfx_img_draw(float x, float y, float w, float h, int image);
void gfx_img_draw_part(int image, float fu, float fv, float fw, float fh, float x, float y,
                       float w, float h);
void gfx_img_draw_nine(int image, int x, int y, int w, int h, int corner);
void gfx_img_draw_tiled(int image, int x, int y, int w, int h, int tile);

#endif
