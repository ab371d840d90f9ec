#include "util/kel_gfx.h"

#include <GLES/gl.h>
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <stb/stb_image.h>
#include <sys/stat.h>

#include <cmath>

#include <map>

#include "util/kel_driver-tex_load.h"
#include "util/kel_driver.h"
#include "util/kel_font.h"
#include "util/kel_json.h"
#include "util/kel_log.h"
#include "util/kel_var.h"

enum { GFX_CLIP_MAX = 8 };

struct GfxContext {
    float seen_w, seen_h;  // driver screen size at the last check
    float rect[4];         // drawable rectangle the view is centred in
    float view_w, view_h;
    float angle;
    float scale;
    float input[4];        // text-input rectangle, view space
    float off_x, off_y;    // minus view_x, minus view_y
    std::map<std::string, int> img_names;
    std::vector<GfxImg> imgs;
    std::map<std::string, int> tex_names;
    std::vector<GfxTex> texs;
    float tr_x, tr_y;  // sum of gfx_translate
    float clip[GFX_CLIP_MAX][4];
    int clip_depth;
    float near_z, far_z;
    // 64-bit so that many large textures can never wrap the budget check.
    uint64_t memused, wasteused;
    int32_t frame;       // frames shown so far (gfx_frame_next)
    int budget_warned;   // the budget's warning is given once
};

static GfxContext* _gfx = NULL;
static gfx_filter_fn _gfx_filter_query = NULL;
static gfx_clock_fn _gfx_clock = NULL;

static time_t _gfx_now() { return _gfx_clock ? _gfx_clock() : time(0); }
void gfx_clock_set(gfx_clock_fn fn) { _gfx_clock = fn; }
void gfx_filter_query_set(gfx_filter_fn fn) { _gfx_filter_query = fn; }

int gfx_filter_gl() {
    const char* f = _gfx_filter_query ? _gfx_filter_query() : NULL;
    return (f && strcmp(f, "nearest") == 0) ? GL_NEAREST : GL_LINEAR;
}

int gfx_ready() { return _gfx != NULL; }

// Each caller keeps its own last code so a persistent error is logged once.
static void _gfx_gl_check(const char* func, GLenum* last) {
    GLenum e = glGetError();
    if (e != *last) {
        log_printf(__FILE__, __LINE__, func, 0, "glGetError() -> %d\n", (int)e);
        *last = e;
    }
}

/* ---- context, GL state, view ---- */

static void _gfx_size_check() {
    int w = 0, h = 0;
    driver_screen_size_get(&w, &h);
    float fw = (float)w, fh = (float)h;
    if (fw != _gfx->seen_w || fh != _gfx->seen_h) {
        _gfx->rect[0] = _gfx->rect[1] = 0;
        _gfx->rect[2] = fw;
        _gfx->rect[3] = fh;
        _gfx->seen_w = fw;
        _gfx->seen_h = fh;
    }
}

void gfx_init() {
    if (!_gfx) {
        _gfx = new GfxContext();
        _gfx->near_z = -1;
        _gfx->far_z = 1;
        _gfx->texs.push_back(GfxTex());
        _gfx->imgs.push_back(GfxImg());
        gfx_gl_state_reset();
        _gfx->angle = 0;
        _gfx->scale = 1.0f;
        _gfx->view_w = _gfx->view_h = 256;
    }
    _gfx_size_check();
}

static void _gfx_tex_unload(GfxTex& t) {
    if (t.gl_id && glIsTexture(t.gl_id)) {
        GLuint id = t.gl_id;
        glDeleteTextures(1, &id);
    }
    t.gl_id = 0;
    _gfx->memused -= t.bytes;
    _gfx->wasteused -= t.waste;
    t.bytes = t.waste = 0;
    t.loaded = 0;
}

void gfx_deinit() {
    if (!_gfx) return;
    KEL_LOG("gfx_deinit", "gfx_deinit()\n");
    KEL_LOG("gfx_deinit", "_gfx->memused: %.2fM\n", _gfx->memused / 1048576.0);
    for (size_t i = 1; i < _gfx->texs.size(); i++) _gfx_tex_unload(_gfx->texs[i]);
    KEL_LOG("gfx_deinit", "_gfx->memused: %.2fM\n", _gfx->memused / 1048576.0);
    delete _gfx;
    _gfx = NULL;
}

void gfx_gl_state_reset() {
    static GLenum last = 0;
    _gfx_gl_check("gfx_gl_state_reset", &last);
    glDisable(GL_DEPTH_TEST);
    glActiveTexture(GL_TEXTURE0);
    glClientActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glFrontFace(GL_CCW);
    glCullFace(GL_BACK);
    glDisable(GL_CULL_FACE);
    glDisableClientState(GL_COLOR_ARRAY);
    glColor4f(1, 1, 1, 1);
}

void gfx_clear() {
    static GLenum last = 0;
    _gfx_gl_check("gfx_clear", &last);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void gfx_ortho() {
    static GLenum last = 0;
    _gfx_gl_check("gfx_ortho", &last);
    if (!_gfx) return;
    _gfx_size_check();
    int w = 0, h = 0;
    driver_screen_size_get(&w, &h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (!driver_flip_get()) {
        glOrthof(0, (float)w, (float)h, 0, _gfx->near_z, _gfx->far_z);
    } else {
        glOrthof(0, (float)h, (float)w, 0, _gfx->near_z, _gfx->far_z);
        glTranslatef((float)(h / 2), (float)(w / 2), 0);
        glRotatef(-90, 0, 0, 1);
        glTranslatef((float)-(w / 2), (float)-(h / 2), 0);
    }
    const float* r = _gfx->rect;
    glTranslatef(r[0] + r[2] * 0.5f, r[1] + r[3] * 0.5f, 0);
    glScalef(_gfx->scale, _gfx->scale, 1);
    float rad = (float)(_gfx->angle * M_PI / 180.0);
    glRotatef((float)(rad * 180.0 / M_PI), 0, 0, 1);
    glTranslatef(-(int)_gfx->view_w * 0.5f, -(int)_gfx->view_h * 0.5f, 0);
    glTranslatef(_gfx->off_x, _gfx->off_y, 0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void gfx_view_size_set(int w, int h) {
    if (!_gfx) return;
    _gfx->view_w = (float)w;
    _gfx->view_h = (float)h;
}
void gfx_view_size_get(int* w, int* h) {
    if (!_gfx) {
        *w = *h = 0;
        return;
    }
    *w = (int)_gfx->view_w;
    *h = (int)_gfx->view_h;
}
void gfx_view_offset_set(float x, float y) {
    if (!_gfx) return;
    _gfx->off_x = x;
    _gfx->off_y = y;
}
void gfx_view_offset_get(int* x, int* y) {
    if (!_gfx) {
        *x = *y = 0;
        return;
    }
    *x = (int)_gfx->off_x;
    *y = (int)_gfx->off_y;
}
void gfx_view_angle_set(float degrees) {
    if (_gfx) _gfx->angle = degrees;
}
void gfx_view_scale_set(float scale) {
    if (_gfx) _gfx->scale = scale;
}
float gfx_view_scale_get() { return _gfx ? _gfx->scale : 1.0f; }

GfxView gfx_view_window() {
    GfxView v;
    gfx_view_size_get(&v.w, &v.h);
    gfx_view_offset_get(&v.x, &v.y);
    v.scale = gfx_view_scale_get();
    int w = 0, h = 0;
    driver_screen_size_get(&w, &h);
    gfx_view_size_set(w, h);
    gfx_view_offset_set(0, 0);
    gfx_view_scale_set(1.0f);
    gfx_ortho();
    return v;
}

std::vector<uint8_t> gfx_read_rgba(int x, int y, int w, int h) {
    size_t row = (size_t)w * 4;
    std::vector<uint8_t> px(row * h), tmp(row);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    for (int i = 0; i < h / 2; i++) {  // GL rows run bottom-up
        uint8_t *a = &px[i * row], *b = &px[(h - 1 - i) * row];
        memcpy(tmp.data(), a, row);
        memcpy(a, b, row);
        memcpy(b, tmp.data(), row);
    }
    return px;
}

void gfx_view_restore(const GfxView& v) {
    gfx_view_size_set(v.w, v.h);
    gfx_view_offset_set((float)v.x, (float)v.y);
    gfx_view_scale_set(v.scale);
    gfx_ortho();
}
void gfx_depth_range_set(float near_z, float far_z) {
    if (!_gfx) return;
    _gfx->near_z = near_z;
    _gfx->far_z = far_z;
}

void gfx_input_rect_set(float x, float y, float w, float h) {
    if (!_gfx) return;
    float* r = _gfx->input;
    r[0] = x, r[1] = y, r[2] = w, r[3] = h;
}
void gfx_input_rect_clear() { gfx_input_rect_set(0, 0, 0, 0); }

// View point -> drawable pixel, the mapping gfx_ortho sets up.
static void _gfx_view_to_screen(float px, float py, float* sx, float* sy) {
    float a = (float)(_gfx->angle * M_PI / 180.0);
    float c = cosf(a), s = sinf(a);
    float dx = px + _gfx->off_x - (int)_gfx->view_w * 0.5f;
    float dy = py + _gfx->off_y - (int)_gfx->view_h * 0.5f;
    const float* r = _gfx->rect;
    *sx = r[0] + r[2] * 0.5f + _gfx->scale * (dx * c - dy * s);
    *sy = r[1] + r[3] * 0.5f + _gfx->scale * (dx * s + dy * c);
}

void gfx_input_rect_screen_get(float out[4]) {
    if (!_gfx) {
        out[0] = out[1] = out[2] = out[3] = 0;
        return;
    }
    const float* r = _gfx->input;
    float x0, y0, x1, y1;
    _gfx_view_to_screen(r[0], r[1], &x0, &y0);
    _gfx_view_to_screen(r[0] + r[2], r[1] + r[3], &x1, &y1);
    out[0] = fminf(x0, x1);
    out[1] = fminf(y0, y1);
    out[2] = fabsf(x1 - x0);
    out[3] = fabsf(y1 - y0);
}

void gfx_screen_to_view(float sx, float sy, float* vx, float* vy) {
    if (!_gfx) {
        *vx = sx, *vy = sy;
        return;
    }
    float a = (float)(_gfx->angle * M_PI / 180.0);
    float c = cosf(a), s = sinf(a);
    const float* r = _gfx->rect;
    float dx = (sx - (r[0] + r[2] * 0.5f)) / _gfx->scale;
    float dy = (sy - (r[1] + r[3] * 0.5f)) / _gfx->scale;
    *vx = dx * c + dy * s + (int)_gfx->view_w * 0.5f - _gfx->off_x;
    *vy = dy * c - dx * s + (int)_gfx->view_h * 0.5f - _gfx->off_y;
}

/* ---- textures ---- */

static GfxTex _gfx_tex_none;
static GfxImg _gfx_img_none;

int gfx_tex_count() { return _gfx ? (int)_gfx->texs.size() : 0; }
GfxTex& gfx_tex_get(int index) {
    if (!_gfx || index <= 0 || index >= (int)_gfx->texs.size()) {
        _gfx_tex_none = GfxTex();
        return _gfx_tex_none;
    }
    return _gfx->texs[index];
}
void gfx_frame_next() {
    if (_gfx) _gfx->frame++;
}
int gfx_frame() { return _gfx ? _gfx->frame : 0; }

static void _gfx_tex_mark(GfxTex& t) {
    t.last_used = _gfx_now();
    t.last_frame = _gfx->frame;
}

uint64_t gfx_mem_used() { return _gfx ? _gfx->memused : 0; }
uint64_t gfx_mem_waste() { return _gfx ? _gfx->wasteused : 0; }

const char* _gfx_find(const char* name) {
    static const char* suffixes[] = {"", ".tga", ".png", ".jpg", ".kel"};
    static std::string found;
    const char* dot = strchr(name, '.');
    std::string base = dot ? std::string(name, dot - name) : std::string(name);
    KEL_LOG("_gfx_find", "_gfx_find(%s):%s:%s\n", name, base.c_str(), dot ? dot + 1 : "");
    for (int i = dot ? 0 : 1; i < 5; i++) {
        found = std::string(name) + suffixes[i];
        if (driver_data_exists(found.c_str()) || driver_user_exists(found.c_str()))
            return found.c_str();
    }
    return NULL;
}

// Full path of a found file name, or null when it does not fit a record's path field.
static const char* _gfx_resolve(const char* file) {
    const char* p = driver_data_exists(file) ? driver_data_path(file) : driver_user_path(file);
    if (!p || !p[0] || strlen(p) >= GFX_PATH_MAX) {
        KEL_LOG("_gfx_resolve", "path too long or unresolvable: %s\n", file);
        return NULL;
    }
    return p;
}

static int _gfx_has_gl() { return glGetString(GL_VERSION) != NULL; }

// A new texture record for a found file (path), or the key remembered as not found.
static int _gfx_tex_add(const std::string& key, const char* name, const char* path) {
    if (!path) {
        KEL_LOG("gfx_tex_load", "unable to find tex %s\n", name);
        _gfx->tex_names[key] = 0;
        return 0;
    }
    int index = (int)_gfx->texs.size();
    _gfx->texs.push_back(GfxTex());
    KEL_LOG("gfx_tex_load", "doing load tex %s (%d)\n", name, index);
    int t0 = driver_ticks();
    _gfx->tex_names[key] = index;
    GfxTex& t = _gfx->texs[index];
    t.index = index;
    snprintf(t.path, sizeof t.path, "%s", path);
    snprintf(t.name, sizeof t.name, "%s", name);
    gfx_tex_reload(index);
    static long total = 0;
    long ms = driver_ticks() - t0;
    total += ms;
    KEL_LOG("gfx_tex_load", "gfx_tex_load: %ld ms, total %ld ms\n\n", ms, total);
    return index;
}

// A texture in use: loaded again if the budget unloaded it.
static int _gfx_tex_use(int index) {
    if (!index) return 0;
    GfxTex& t = _gfx->texs[index];
    if (!t.loaded) gfx_tex_reload(index);
    _gfx_tex_mark(_gfx->texs[index]);
    return index;
}

int gfx_tex_load(const char* name) {
    if (!_gfx || !name) return 0;
    auto it = _gfx->tex_names.find(name);
    int index;
    if (it != _gfx->tex_names.end()) {
        index = it->second;
    } else {
        if (!_gfx_has_gl()) return 0;
        KEL_LOG("gfx_tex_load", "trying load tex %s\n", name);
        if (strlen(name) >= GFX_NAME_MAX) {
            KEL_LOG("gfx_tex_load", "texture name too long (max %d): %s\n", GFX_NAME_MAX - 1,
                    name);
            _gfx->tex_names[name] = 0;
            return 0;
        }
        const char* file = _gfx_find(name);
        const char* path = file ? _gfx_resolve(file) : NULL;
        if (!path) log_warn("image not found: %s", name);
        index = _gfx_tex_add(name, name, path);
    }
    return _gfx_tex_use(index);
}

int gfx_tex_load_file(const char* path) {
    if (!_gfx || !path) return 0;
    // Keyed apart from data-area names, which hold no NUL.
    std::string key = std::string(1, '\0') + path;
    auto it = _gfx->tex_names.find(key);
    int index;
    if (it != _gfx->tex_names.end()) {
        index = it->second;
    } else {
        if (!_gfx_has_gl()) return 0;
        bool ok = strlen(path) < GFX_PATH_MAX && driver_file_exists(path);
        index = _gfx_tex_add(key, path, ok ? path : NULL);
    }
    return _gfx_tex_use(index);
}

static bool _gfx_tex_room(uint64_t need, int keep);

// Not loaded in this frame for want of room: drawn as nothing, tried again next frame.
static void _gfx_tex_refuse(GfxTex* t) {
    if (t->gl_id) _gfx_tex_unload(*t);
    t->loaded = 0;
    t->width = t->height = 0;
    t->last_frame = _gfx->frame;
    KEL_LOG("gfx_tex_reload", "over the texture budget in this frame: %s not loaded\n", t->name);
    if (!_gfx->budget_warned) {
        _gfx->budget_warned = 1;
        log_warn("the images drawn in one frame need more than the %u MiB texture budget; "
                 "some (first %s) are not drawn", KEL_GFX_MEMMAX >> 20, t->name);
    }
}

void gfx_tex_reload(int index) {
    if (!_gfx || index <= 0 || index >= (int)_gfx->texs.size()) return;
    GfxTex* t = &_gfx->texs[index];
    if (t->gl_id) _gfx_tex_unload(*t);
    // Noted before any refusal, or the change check would take it for a changed file;
    // a changed file's size is measured afresh.
    time_t mtime = (time_t)driver_file_mtime(t->path);
    if (mtime != t->file_time) t->need = 0;
    t->file_time = mtime;
    // The size is known from the file's header (or an earlier load) before decoding:
    // room is made first, and a texture that cannot have any is not decoded at all.
    int iw = 0, ih = 0, comp = 0;
    if (!t->need && stbi_info(t->path, &iw, &ih, &comp) && iw > 0 && ih > 0) {
        uint64_t need = (uint64_t)_driver_tex_pad(iw) * (uint64_t)_driver_tex_pad(ih) * 16 / 3;
        t->need = need > UINT32_MAX ? UINT32_MAX : (uint32_t)need;
    }
    if (t->need && !_gfx_tex_room(t->need, index)) {
        // Named as an image all the same, to be drawn once there is room.
        float fw = (float)iw, fh = (float)ih;
        if (iw > 0) gfx_img_register(t->name, index, 0, 0, fw, fh, 0, 0, fw, fh);
        return _gfx_tex_refuse(t);
    }
    KEL_LOG("gfx_tex_reload", "gfx_tex_reload: %d %s %s\n", index, t->name, t->path);
    t->loaded = 1;
    int w = 0, h = 0, tw = 0, th = 0;
    t->gl_id = driver_tex_load(t->path, &w, &h, &tw, &th);
    if (!t->filter_set) {
        t->filter_set = 1;
        t->mag_filter = t->min_filter = gfx_filter_gl();
    }
    if (t->gl_id) {
        glBindTexture(GL_TEXTURE_2D, t->gl_id);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, t->mag_filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, t->min_filter);
    }
    t->width = (float)tw;
    t->height = (float)th;
    t->ox = t->oy = 0;
    // Counted in 64 bits: a 16384 x 16384 texture alone passes 2^32 bytes.
    uint64_t bytes = (uint64_t)tw * (uint64_t)th * 16 / 3;
    uint64_t used = (uint64_t)(h + 8) * (uint64_t)(w + 8) * 16 / 3;
    if (!t->gl_id) bytes = used = 0;
    uint64_t waste = bytes > used ? bytes - used : 0;
    t->bytes = bytes > UINT32_MAX ? UINT32_MAX : (uint32_t)bytes;
    t->waste = waste > t->bytes ? t->bytes : (uint32_t)waste;
    t->need = t->bytes;
    _gfx->memused += t->bytes;
    _gfx->wasteused += t->waste;
    _gfx_tex_mark(*t);
    // A bare file is drawable as an image of the same name; a failed load registers
    // nothing, so draws of it are skipped instead of dividing by a zero size.
    if (t->gl_id) gfx_img_register(t->name, index, 0, 0, (float)w, (float)h, 0, 0, (float)w, (float)h);
    if (!_gfx_tex_room(0, index)) _gfx_tex_refuse(t);
}

// The texture to unload next for the budget: loaded, not drawn in this frame, not
// `keep`; of those idle over 4 s the longest idle (ties: the higher index), else the
// one of the oldest frame. 0 when there is none.
static int _gfx_tex_victim(int keep) {
    time_t now = _gfx_now();
    int best = 0;
    bool best_idle = false;
    for (size_t i = 1; i < _gfx->texs.size(); i++) {
        const GfxTex& t = _gfx->texs[i];
        // A record without a texture frees nothing: recycling it would only re-read it.
        if (!t.loaded || !t.bytes || (int)i == keep || t.last_frame == _gfx->frame) continue;
        bool idle = now - t.last_used > 4;
        if (!best) {
            best = (int)i, best_idle = idle;
            continue;
        }
        const GfxTex& b = _gfx->texs[best];
        if (idle != best_idle) {
            if (idle) best = (int)i, best_idle = true;
        } else if (idle ? now - t.last_used >= now - b.last_used
                        : t.last_frame < b.last_frame ||
                              (t.last_frame == b.last_frame && t.last_used <= b.last_used)) {
            best = (int)i;
        }
    }
    return best;
}

// Unloads textures until `need` more bytes fit the budget. False when they do not fit
// and textures of this frame other than `keep` hold memory: a texture alone in a frame
// is let over the budget rather than never drawn.
static bool _gfx_tex_room(uint64_t need, int keep) {
    KEL_LOG("_gfx_tex_recycle", "_gfx->memused: %.2fM\n", _gfx->memused / 1048576.0);
    while (_gfx->memused + need > KEL_GFX_MEMMAX) {
        KEL_LOG("_gfx_tex_recycle", "KEL_GFX_MEMMAX: %.2fM exceeded by %.2f\n",
                KEL_GFX_MEMMAX / 1048576.0,
                (_gfx->memused + need) / 1048576.0 - KEL_GFX_MEMMAX / 1048576.0);
        int best = _gfx_tex_victim(keep);
        if (!best) {
            uint64_t own = keep > 0 ? _gfx->texs[keep].bytes : 0;
            return _gfx->memused == own;
        }
        GfxTex& t = _gfx->texs[best];
        KEL_LOG("_gfx_tex_recycle", "_gfx_tex_recycle: %d (%s)\n", best, t.name);
        _gfx_tex_unload(t);
    }
    return true;
}

void _gfx_tex_recycle() {
    if (_gfx) _gfx_tex_room(0, 0);
}

void gfx_tex_touch(int index) {
    if (!_gfx || index <= 0 || index >= (int)_gfx->texs.size()) return;
    if (!_gfx->texs[index].loaded) gfx_tex_reload(index);
    _gfx_tex_mark(_gfx->texs[index]);
}

uint32_t gfx_tex_gl_id(int index) {
    gfx_tex_touch(index);
    return gfx_tex_get(index).gl_id;
}

void gfx_reload_auto() {
    static time_t last = 0;
    if (!_gfx) return;
    time_t now = _gfx_now();
    if (now == last) return;
    last = now;
    for (size_t i = 1; i < _gfx->texs.size(); i++) {
        GfxTex& t = _gfx->texs[i];
        if (!t.path[0]) continue;
        time_t m = (time_t)driver_file_mtime(t.path);
        if (m > t.file_time && m < now - 1) gfx_tex_reload((int)i);
    }
    for (size_t i = 1; i < _gfx->texs.size(); i++) {
        GfxTex& t = _gfx->texs[i];
        if (!t.atlas_path[0]) continue;
        time_t m = (time_t)driver_file_mtime(t.atlas_path);
        if (m > t.atlas_time && m < now - 1) {
            std::string path = t.atlas_path;  // the parse may grow the tables
            gfx_atlas_parse((int)i, path.c_str());
        }
    }
}

/* ---- images and atlases ---- */

int gfx_img_count() { return _gfx ? (int)_gfx->imgs.size() : 0; }

GfxImg& gfx_img_get(int index) {
    if (!_gfx || index <= 0 || index >= (int)_gfx->imgs.size()) {
        _gfx_img_none = GfxImg();
        return _gfx_img_none;
    }
    return _gfx->imgs[index];
}

int gfx_img_register(const char* name, int texture, float fx, float fy, float fw, float fh,
                     float tx, float ty, float sw, float sh) {
    if (!_gfx || !name) return 0;
    if (strnlen(name, GFX_IMG_NAME_MAX) >= GFX_IMG_NAME_MAX) {
        KEL_LOG("gfx_img_register", "image name too long (max %d bytes)\n", GFX_IMG_NAME_MAX - 1);
        return 0;
    }
    auto it = _gfx->img_names.find(name);
    int index;
    if (it == _gfx->img_names.end() || it->second == 0) {
        index = (int)_gfx->imgs.size();
        _gfx->imgs.push_back(GfxImg());
        _gfx->img_names[name] = index;
    } else {
        index = it->second;
    }
    GfxImg& g = _gfx->imgs[index];
    g.index = index;
    g.texture = texture;
    g.fx = fx, g.fy = fy, g.fw = fw, g.fh = fh;
    g.tx = tx, g.ty = ty;
    g.sw = sw, g.sh = sh;
    return index;
}

int gfx_img_load(const char* name) {
    if (!_gfx || !name) return 0;
    auto it = _gfx->img_names.find(name);
    int index;
    if (it != _gfx->img_names.end()) {
        index = it->second;
    } else {
        if (!_gfx_has_gl()) return 0;
        if (!gfx_tex_load(name)) {
            KEL_LOG("gfx_img_load", "unable to find img %s\n", name);
            _gfx->img_names[name] = 0;
            return 0;
        }
        index = _gfx->img_names[name];
    }
    if (!index) return 0;
    int t = _gfx->imgs[index].texture;
    if (t > 0 && t < (int)_gfx->texs.size()) {
        if (!_gfx->texs[t].loaded) gfx_tex_reload(t);
        _gfx_tex_mark(_gfx->texs[t]);
    }
    return index;
}

uint32_t gfx_img_gl_id(int index) { return gfx_tex_gl_id(gfx_img_get(index).texture); }

void gfx_atlas_load(const char* name) {
    if (!_gfx || !name) return;
    if (_gfx->tex_names.count(name)) return;
    int t = gfx_tex_load(name);
    if (!t) {
        KEL_LOG("gfx_atlas_load", "no texture for atlas %s\n", name);
        return;
    }
    std::string desc = std::string(name) + ".json";
    KEL_LOG("gfx_atlas_load", "gfx_atlas_load: %s\n", desc.c_str());
    const char* file = _gfx_find(desc.c_str());
    const char* path = file ? _gfx_resolve(file) : NULL;
    if (!path) {
        KEL_LOG("gfx_atlas_load", "no atlas description %s: %s stays a single image\n",
                desc.c_str(), name);
        return;
    }
    GfxTex& tex = _gfx->texs[t];
    snprintf(tex.atlas_path, sizeof tex.atlas_path, "%s", path);
    std::string p = tex.atlas_path;
    gfx_atlas_parse(t, p.c_str());
}

static float _gfx_num(const var& obj, const char* key) {
    if (obj.type() != 4) return 0;
    return obj.has(key) ? obj[key].to_float() : 0;
}

void gfx_atlas_parse(int t, const char* path) {
    if (!_gfx || t <= 0 || t >= (int)_gfx->texs.size() || !path) return;
    _gfx->texs[t].atlas_time = (time_t)driver_file_mtime(path);
    struct stat st;
    if (stat(path, &st) == 0 && st.st_size > GFX_ATLAS_MAX) {
        KEL_LOG("gfx_atlas_parse", "%s: too large (%lld bytes, max %d)\n", path,
                (long long)st.st_size, (int)GFX_ATLAS_MAX);
        log_warn("atlas description too large (over %d bytes): %s", (int)GFX_ATLAS_MAX, path);
        return;
    }
    // The resolved path is read as it is, so atlases in sub-directories work too.
    std::string text = driver_file_read(path);
    gfx_atlas_parse_text(t, text, path);
}

bool gfx_img_rect_ok(const char* name, const float r[4], float sheet_w, float sheet_h) {
    // Slack for fractions that add up to the edge with rounding (x = 3/4, w = 1/4).
    const float ex = sheet_w * 1e-5f, ey = sheet_h * 1e-5f;
    bool finite = true;
    for (int i = 0; i < 4; i++) finite = finite && std::isfinite(r[i]);
    const char* why = !finite                          ? "not a finite number"
                      : r[0] < 0 || r[1] < 0           ? "negative position"
                      : r[2] < 0 || r[3] < 0           ? "negative size"
                      : sheet_w > 0 && r[0] + r[2] > sheet_w + ex ? "outside the sheet"
                      : sheet_h > 0 && r[1] + r[3] > sheet_h + ey ? "outside the sheet"
                                                                  : nullptr;
    if (!why) return true;
    std::string n(name, strnlen(name, 64));
    KEL_LOG("gfx_img_rect_ok", "frame %s refused: %s (%g, %g, %g, %g of %g x %g)\n", n.c_str(),
            why, r[0], r[1], r[2], r[3], sheet_w, sheet_h);
    log_warn("image frame refused, %s: %s", why, n.c_str());
    return false;
}

void gfx_atlas_parse_text(int t, const std::string& text, const char* path) {
    if (!_gfx) return;
    var doc;
    if (json_decode(doc, text.data(), (int)text.size()) != 0) {
        KEL_LOG("gfx_atlas_parse", "%s: not valid JSON\n", path);
        return;
    }
    var frames = doc.type() == 4 && doc.has("frames") ? doc["frames"] : var();
    if (frames.type() != 4) {
        KEL_LOG("gfx_atlas_parse", "%s: no \"frames\" object\n", path);
        return;
    }
    // The sheet's own size bounds the frames (unknown, and unchecked, without a picture).
    float sheet_w = 0, sheet_h = 0;
    if (t > 0 && t < (int)_gfx->texs.size()) {
        auto own = _gfx->img_names.find(_gfx->texs[t].name);
        if (own != _gfx->img_names.end() && own->second) {
            sheet_w = _gfx->imgs[own->second].sw;
            sheet_h = _gfx->imgs[own->second].sh;
        }
    }
    var it(frames.iter()), key, val;
    while (it.next(key, val)) {
        std::string name = key.str();
        size_t dot = name.rfind('.');
        if (dot != std::string::npos) name.erase(dot);
        if (name.size() >= GFX_IMG_NAME_MAX) {
            KEL_LOG("gfx_atlas_parse", "%s: frame name too long (max %d bytes)\n", path,
                    GFX_IMG_NAME_MAX - 1);
            log_warn("atlas frame name too long (over %d bytes) in %s", GFX_IMG_NAME_MAX - 1,
                     path);
            continue;
        }
        var fr = val.type() == 4 && val.has("frame") ? val["frame"] : var();
        var ss = val.type() == 4 && val.has("spriteSourceSize") ? val["spriteSourceSize"] : var();
        var so = val.type() == 4 && val.has("sourceSize") ? val["sourceSize"] : var();
        if (fr.type() != 4 || so.type() != 4) {
            KEL_LOG("gfx_atlas_parse", "%s: frame %s lacks frame or sourceSize\n", path,
                    key.str().c_str());
            continue;
        }
        float r[4] = {_gfx_num(fr, "x"), _gfx_num(fr, "y"), _gfx_num(fr, "w"),
                      _gfx_num(fr, "h")};
        float trim[4] = {_gfx_num(ss, "x"), _gfx_num(ss, "y"), _gfx_num(so, "w"),
                         _gfx_num(so, "h")};
        if (!gfx_img_rect_ok(name.c_str(), r, sheet_w, sheet_h) ||
            !gfx_img_rect_ok(name.c_str(), trim, 0, 0))
            continue;
        gfx_img_register(name.c_str(), t, r[0], r[1], r[2], r[3], trim[0], trim[1], trim[2],
                         trim[3]);
    }
}

/* ---- batch ---- */

static GBatch _gfx_batch;
static long _gfx_draws = 0;
static GfxCounts _gfx_counts = {0, 0};
static int _gfx_dry = 0;
static int _gfx_batch_open = 0;  // colour array on and blend of a run still set

int gfx_batch_size() { return _gfx_batch.n; }
long gfx_batch_draws() { return _gfx_draws; }
GfxCounts gfx_counts() { return _gfx_counts; }
void gfx_counts_add(long draws, long tris) {
    _gfx_counts.draws += draws;
    _gfx_counts.tris += tris;
}
void gfx_batch_dry_set(int on) { _gfx_dry = on; }

// Draws the pending triangles. Between two runs of the batch nothing else draws, so
// the colour array, GL colour and blend are put back only when the batch stops: at an
// explicit flush (more = 0), not when one run just hands over to the next (more = 1).
static void _gfx_batch_draw(int more) {
    GBatch& b = _gfx_batch;
    if (b.n) {
        if (!_gfx_dry) {
            const char* base = (const char*)b.tris.data();
            glBlendFunc(GL_ONE, b.blend);
            glEnableClientState(GL_COLOR_ARRAY);
            glBindTexture(GL_TEXTURE_2D, b.texture);
            glTexCoordPointer(2, GL_FLOAT, sizeof(GVertex), base);
            glVertexPointer(2, GL_FLOAT, sizeof(GVertex), base + 8);
            glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(GVertex), base + 16);
            glDrawArrays(GL_TRIANGLES, 0, (GLsizei)(3 * b.n));
            _gfx_batch_open = 1;
        }
        _gfx_draws++;
        gfx_counts_add(1, b.n);
        b.n = 0;
    }
    if (!more && _gfx_batch_open) {
        glDisableClientState(GL_COLOR_ARRAY);
        glColor4f(1, 1, 1, 1);
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        _gfx_batch_open = 0;
    }
    b.texture = 0;
}

void gfx_batch_flush() { _gfx_batch_draw(0); }

// Room for the next triangles of (texture, blend): draws a batch of another run first.
static inline GTri* _gfx_batch_room(uint32_t texture, uint32_t blend) {
    GBatch& b = _gfx_batch;
    if ((texture != b.texture || blend != b.blend) && b.n) _gfx_batch_draw(1);
    if (b.tris.empty()) b.tris.resize(GBATCH_MAX);
    b.texture = texture;
    b.blend = blend;
    return &b.tris[b.n];
}

void gfx_batch_add(uint32_t texture, uint32_t blend, const GTri& tri) {
    *_gfx_batch_room(texture, blend) = tri;
    if (++_gfx_batch.n >= GBATCH_MAX) gfx_batch_flush();
}

/* ---- draw-list replay ---- */

void gfx_replay_begin(GfxReplay* r) {
    memset(r, 0, sizeof *r);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glColor4ub(254, 254, 254, 255);
}

void gfx_replay_end() { gfx_batch_flush(); }

static inline uint32_t _gfx_alpha(int32_t alpha) {
    uint32_t a = alpha < 0 ? 0u - (uint32_t)alpha : (uint32_t)alpha;
    return a & 255;
}

// The image of an image command, with what every quad of it needs; the previous
// command's when it names the same image.
static int _gfx_replay_img(GfxReplay* r, const DrawCmd& c) {
    bool same = r->img && r->img_name && *r->img_name == c.name;
    if (same && r->img_ok >= 0) return r->img_ok;
    if (!same) {
        r->img = gfx_img_load(c.name.c_str());
        r->img_name = &c.name;
    }
    r->img_ok = 0;
    if (!r->img) return 0;  // the name failed to load
    const GfxImg& g = _gfx->imgs[r->img];
    const GfxTex& t = _gfx->texs[g.texture];
    if (!t.gl_id || t.width <= 0 || t.height <= 0 || g.sw == 0 || g.sh == 0) return 0;
    r->img_gl = t.gl_id;
    r->u0 = g.fx / t.width, r->v0 = g.fy / t.height;
    r->u1 = r->u0 + g.fw / t.width, r->v1 = r->v0 + g.fh / t.height;
    return r->img_ok = 1;
}

static inline void _gfx_vert(GVertex& v, float x, float y, float u, float vv, uint32_t rgba) {
    v.u = u, v.v = vv, v.x = x, v.y = y;
    memcpy(&v.r, &rgba, 4);
}

void gfx_replay_image(GfxReplay* r, const DrawCmd& c) {
    if (!_gfx_replay_img(r, c)) return;
    float x = c.x, y = c.y, w = c.w, h = c.h;
    if (w < 0) x -= w;
    if (h < 0) y -= h;
    if (w == 0 || h == 0) return;
    const GfxImg& g = _gfx->imgs[r->img];
    uint32_t blend = c.alpha < 0 ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA;
    uint32_t a = _gfx_alpha(c.alpha);
    uint8_t col[4] = {(uint8_t)(((c.colour >> 16) & 255) * a / 255),
                      (uint8_t)(((c.colour >> 8) & 255) * a / 255),
                      (uint8_t)((c.colour & 255) * a / 255), (uint8_t)a};
    uint32_t rgba;
    memcpy(&rgba, col, 4);
    float px[4], py[4];  // TL, TR, BL, BR
    if (c.rot == 0) {
        float x0 = x + w * g.tx / g.sw, y0 = y + h * g.ty / g.sh;
        float x1 = x0 + w * g.fw / g.sw, y1 = y0 + h * g.fh / g.sh;
        px[0] = x0, py[0] = y0, px[1] = x1, py[1] = y0;
        px[2] = x0, py[2] = y1, px[3] = x1, py[3] = y1;
    } else {
        float cx = x + w / 2, cy = y + h / 2, s, co;
        sincosf(-c.rot * (float)M_PI / 180.0f, &s, &co);
        static const float kx[4] = {-0.5f, 0.5f, -0.5f, 0.5f}, ky[4] = {-0.5f, -0.5f, 0.5f, 0.5f};
        for (int i = 0; i < 4; i++) {
            float dx = kx[i] * w, dy = ky[i] * h;
            px[i] = cx + dx * co - dy * s;
            py[i] = cy + dx * s + dy * co;
        }
    }
    // Both triangles straight into the batch; an odd count left by gfx_batch_add
    // must still flush between them at the limit.
    GBatch& b = _gfx_batch;
    float u0 = r->u0, v0 = r->v0, u1 = r->u1, v1 = r->v1;
    if (b.n <= GBATCH_MAX - 2) {
        GVertex* v = _gfx_batch_room(r->img_gl, blend)->v;
        _gfx_vert(v[0], px[0], py[0], u0, v0, rgba);
        _gfx_vert(v[1], px[1], py[1], u1, v0, rgba);
        _gfx_vert(v[2], px[2], py[2], u0, v1, rgba);
        _gfx_vert(v[3], px[1], py[1], u1, v0, rgba);
        _gfx_vert(v[4], px[2], py[2], u0, v1, rgba);
        _gfx_vert(v[5], px[3], py[3], u1, v1, rgba);
        if ((b.n += 2) >= GBATCH_MAX) gfx_batch_flush();
        return;
    }
    GTri tri;
    _gfx_vert(tri.v[0], px[0], py[0], u0, v0, rgba);
    _gfx_vert(tri.v[1], px[1], py[1], u1, v0, rgba);
    _gfx_vert(tri.v[2], px[2], py[2], u0, v1, rgba);
    gfx_batch_add(r->img_gl, blend, tri);
    _gfx_vert(tri.v[0], px[1], py[1], u1, v0, rgba);
    _gfx_vert(tri.v[1], px[2], py[2], u0, v1, rgba);
    _gfx_vert(tri.v[2], px[3], py[3], u1, v1, rgba);
    gfx_batch_add(r->img_gl, blend, tri);
}

void gfx_replay_rect(const DrawCmd& c) {
    gfx_batch_flush();
    float x = c.x, y = c.y, w = c.w, h = c.h;
    if (w < 0) x -= w;
    if (h < 0) y -= h;
    if (w != 0 && h != 0) gfx_rect_fill(c.colour, x, y, w, h);
}

void gfx_replay_text(GfxReplay* r, const DrawCmd& c) {
    gfx_batch_flush();
    int font;
    if (r->font_name && *r->font_name == c.name && r->font_size == c.size) {
        font = r->font;
    } else {
        font = font_load(c.name.c_str(), c.size);
        r->font = font;
        r->font_name = &c.name;
        r->font_size = c.size;
    }
    glBlendFunc(GL_ONE, c.alpha < 0 ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
    uint32_t a = c.alpha < 0 ? 0u - (uint32_t)c.alpha : (uint32_t)c.alpha;
    uint32_t cr = (c.colour >> 16) & 255, cg = (c.colour >> 8) & 255, cb = c.colour & 255;
    glColor4ub((a * cr) >> 8 & 255, (a * cg) >> 8 & 255, (a * cb) >> 8 & 255, a & 255);
    if (font) font_draw(font, c.text.c_str(), -1, c.x, c.y, 0);
    r->img_ok = -1;  // text may load textures: the next image's are looked at again
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glColor4ub(254, 254, 254, 255);
}

/* ---- immediate primitives ---- */

void gfx_translate(float dx, float dy) {
    if (!_gfx) return;
    _gfx->tr_x += dx;
    _gfx->tr_y += dy;
    glTranslatef(dx, dy, 0);
}

void gfx_clip_push(float x, float y, float w, float h) {
    if (!_gfx) return;
    int d = ++_gfx->clip_depth;
    if (d > GFX_CLIP_MAX) return;
    float r[4] = {x + _gfx->tr_x, y + _gfx->tr_y, w, h};
    if (d > 1) {
        const float* p = _gfx->clip[d - 2];
        do {
            if (r[0] < p[0]) r[2] -= p[0] - r[0], r[0] = p[0];
            if (r[2] <= 0) break;
            if (r[0] + r[2] > p[0] + p[2]) r[2] = p[0] + p[2] - r[0];
            if (r[2] <= 0) break;
            if (r[1] < p[1]) r[3] -= p[1] - r[1], r[1] = p[1];
            if (r[3] <= 0) break;
            if (r[1] + r[3] > p[1] + p[3]) r[3] = p[1] + p[3] - r[1];
        } while (0);
    }
    memcpy(_gfx->clip[d - 1], r, sizeof r);
}

void gfx_clip_pop() {
    if (_gfx && _gfx->clip_depth > 0) _gfx->clip_depth--;
}

bool gfx_clip(float dst[4], float src[4]) {
    int d = _gfx ? _gfx->clip_depth : 0;
    if (d == 0) return true;
    if (d > GFX_CLIP_MAX || dst[2] <= 0 || dst[3] <= 0) return false;
    const float* c0 = _gfx->clip[d - 1];
    float cx = c0[0] - _gfx->tr_x, cy = c0[1] - _gfx->tr_y, cw = c0[2], ch = c0[3];
    for (int axis = 0; axis < 2; axis++) {
        float& p = dst[axis];
        float& s = dst[axis + 2];
        float lo = axis ? cy : cx, len = axis ? ch : cw;
        if (p < lo) {
            float cut = lo - p, old = s;
            p += cut;
            s -= cut;
            if (src) {
                float k = cut * src[axis + 2] / old;
                src[axis] += k;
                src[axis + 2] -= k;
            }
            if (s <= 0) return false;
        }
        if (p + s > lo + len) {
            float cut = p + s - (lo + len), old = s;
            s -= cut;
            if (src) src[axis + 2] -= cut * src[axis + 2] / old;
            if (s <= 0) return false;
        }
    }
    return dst[3] > 0;
}

static void _gfx_strip(const float* xy, const float* uv) {
    if (uv) glTexCoordPointer(2, GL_FLOAT, 0, uv);
    glVertexPointer(2, GL_FLOAT, 0, xy);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    gfx_counts_add(1, 2);
}

void gfx_rect_fill(uint32_t colour, float x, float y, float w, float h) {
    if (!_gfx) return;
    if (_gfx->clip_depth) {
        float dst[4] = {x, y, w, h};
        if (!gfx_clip(dst, NULL)) return;
        x = dst[0], y = dst[1], w = dst[2], h = dst[3];
    }
    glColor4ub((colour >> 16) & 255, (colour >> 8) & 255, colour & 255, 255);
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    float xy[8] = {x, y, x + w, y, x, y + h, x + w, y + h};
    _gfx_strip(xy, NULL);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glColor4ub(255, 255, 255, 255);
}

// Destination of an image placed in (x, y, w, h), trim applied.
static void _gfx_img_place(const GfxImg& g, float x, float y, float w, float h, float dst[4]) {
    dst[0] = x + w * g.tx / g.sw;
    dst[1] = y + h * g.ty / g.sh;
    dst[2] = w * g.fw / g.sw;
    dst[3] = h * g.fh / g.sh;
}

// Clips and draws one textured quad; uv is (u, v, uw, vh).
static void _gfx_quad(uint32_t gl_id, float dst[4], float uv[4]) {
    if (!gfx_clip(dst, uv)) return;
    glBindTexture(GL_TEXTURE_2D, gl_id);
    float x0 = dst[0], y0 = dst[1], x1 = x0 + dst[2], y1 = y0 + dst[3];
    float u0 = uv[0], v0 = uv[1], u1 = u0 + uv[2], v1 = v0 + uv[3];
    float xy[8] = {x0, y0, x1, y0, x0, y1, x1, y1};
    float st[8] = {u0, v0, u1, v0, u0, v1, u1, v1};
    _gfx_strip(xy, st);
}

static bool _gfx_img_usable(int image, const GfxImg** g, const GfxTex** t) {
    if (!_gfx || image <= 0 || image >= (int)_gfx->imgs.size()) return false;
    *g = &_gfx->imgs[image];
    *t = &gfx_tex_get((*g)->texture);
    return (*t)->gl_id && (*t)->width > 0 && (*t)->height > 0 && (*g)->sw != 0 && (*g)->sh != 0;
}

void gfx_img_draw(float x, float y, float w, float h, int image) {
    const GfxImg* g;
    const GfxTex* t;
    if (!_gfx_img_usable(image, &g, &t)) return;
    if (w == 0 || h == 0) w = g->sw, h = g->sh;
    float dst[4], uv[4] = {g->fx / t->width, g->fy / t->height, g->fw / t->width,
                           g->fh / t->height};
    _gfx_img_place(*g, x, y, w, h, dst);
    _gfx_quad(t->gl_id, dst, uv);
}

void gfx_img_draw_part(int image, float fu, float fv, float fw, float fh, float x, float y,
                       float w, float h) {
    const GfxImg* g;
    const GfxTex* t;
    if (!_gfx_img_usable(image, &g, &t) || w == 0 || h == 0) return;
    float uv[4] = {g->fx / t->width + fu * g->fw / t->width,
                   g->fy / t->height + fv * g->fh / t->height, fw * g->fw / t->width,
                   fh * g->fh / t->height};
    float dst[4];
    _gfx_img_place(*g, x, y, w, h, dst);
    _gfx_quad(t->gl_id, dst, uv);
}

void gfx_img_draw_nine(int image, int x, int y, int w, int h, int corner) {
    const GfxImg* g;
    const GfxTex* t;
    if (!_gfx_img_usable(image, &g, &t)) return;
    int sw = (int)g->sw, sh = (int)g->sh;
    int cw = corner, ch = corner;
    if (sw > sh && sh > 0) cw = corner * sw / sh;
    else if (sh > sw && sw > 0) ch = corner * sh / sw;
    if (cw > w / 3 && cw > 0) ch = ch * (w / 3) / cw, cw = w / 3;
    if (ch > h / 3 && ch > 0) cw = cw * (h / 3) / ch, ch = h / 3;
    const float third = 1.0f / 3;
    int xs[3] = {x, x + cw, x + w - cw}, ws[3] = {cw, w - 2 * cw, cw};
    int ys[3] = {y, y + ch, y + h - ch}, hs[3] = {ch, h - 2 * ch, ch};
    for (int j = 0; j < 3; j++)
        for (int i = 0; i < 3; i++)
            if (ws[i] > 0 && hs[j] > 0)
                gfx_img_draw_part(image, i * third, j * third, third, third, (float)xs[i],
                                  (float)ys[j], (float)ws[i], (float)hs[j]);
}

void gfx_img_draw_tiled(int image, int x, int y, int w, int h, int tile) {
    const GfxImg* g;
    const GfxTex* t;
    if (!_gfx_img_usable(image, &g, &t)) return;
    int tw = tile ? tile : (int)g->sw, th = tile ? tile : (int)g->sh;
    if (tw <= 0 || th <= 0) return;  // would never advance
    gfx_clip_push((float)x, (float)y, (float)w, (float)h);
    for (int yy = y; yy < y + h; yy += th)
        for (int xx = x; xx < x + w; xx += tw)
            gfx_img_draw((float)xx, (float)yy, (float)tw, (float)th, image);
    gfx_clip_pop();
}
