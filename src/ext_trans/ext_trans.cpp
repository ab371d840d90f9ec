// Screen transitions: two frames captured into 1024 x 1024 render targets (A outgoing,
// B incoming) and drawn over the screen with an effect at progress t. C is scratch for
// "deres".
//
// A frame in which the transition draws belongs to it: the widget trees are not painted
// over it (they are in the captured frames), and the frame that grabs the incoming scene
// shows the outgoing one instead, so the new scene never flashes before the effect.
#include "src/ext_trans/ext_trans.h"

#include <GLES/gl.h>
#include <GLES/glext.h>
#include <SDL.h>
#include <math.h>
#include <stdint.h>
#include <stdlib.h>

#include "src/ext_gui/ext_gui.h"
#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "util/kel_driver.h"
#include "util/kel_gfx.h"
#include "util/kel_log.h"

enum { TRANS_SIZE = 1024, TRANS_A = 1, TRANS_B = 2, TRANS_C = 3 };
enum { TRANS_NONE = 0, TRANS_ZOOM = 1, TRANS_FADE = 2, TRANS_BZOOM = 4, TRANS_DERES = 5 };

struct TransState {
    int32_t ready;            // 1 once the targets exist
    uint32_t framebuffers[4]; // slot 0 the screen; 1..3 targets A, B, C
    uint32_t textures[4];     // colour textures of A, B, C
    int shown_frame;          // the last frame the transition drew in
    int shown_slot;           // the captured frame it showed most of then: A or B
};

enum { TRANS_NEVER = -2 };  // no frame: two below the first, so never "the frame before"

// The framebuffer calls are an extension: GLES 1.1 libraries do not export them.
struct TransGL {
    PFNGLGENFRAMEBUFFERSOESPROC gen;
    PFNGLDELETEFRAMEBUFFERSOESPROC del;
    PFNGLBINDFRAMEBUFFEROESPROC bind;
    PFNGLFRAMEBUFFERTEXTURE2DOESPROC texture2d;
    PFNGLCHECKFRAMEBUFFERSTATUSOESPROC status;
};

static TransState* _trans;
static TransGL _trans_gl;

static bool _trans_gl_load() {
    TransGL& g = _trans_gl;
    g.gen = (PFNGLGENFRAMEBUFFERSOESPROC)SDL_GL_GetProcAddress("glGenFramebuffersOES");
    g.del = (PFNGLDELETEFRAMEBUFFERSOESPROC)SDL_GL_GetProcAddress("glDeleteFramebuffersOES");
    g.bind = (PFNGLBINDFRAMEBUFFEROESPROC)SDL_GL_GetProcAddress("glBindFramebufferOES");
    g.texture2d =
        (PFNGLFRAMEBUFFERTEXTURE2DOESPROC)SDL_GL_GetProcAddress("glFramebufferTexture2DOES");
    g.status = (PFNGLCHECKFRAMEBUFFERSTATUSOESPROC)SDL_GL_GetProcAddress(
        "glCheckFramebufferStatusOES");
    return g.gen && g.del && g.bind && g.texture2d && g.status;
}

void ext_trans_init(Game* host) {
    if (!host || host->headless || _trans) return;
    KEL_LOGS("ext_trans_init", "ext_trans_init\n");
    _trans = (TransState*)calloc(1, sizeof(TransState));
    if (_trans) _trans->shown_frame = TRANS_NEVER;
    KEL_LOGS("ext_trans_init", "res: %p\n", (void*)_trans);
}

void ext_trans_deinit() {
    if (_trans && _trans->ready) {
        _trans_gl.del(3, _trans->framebuffers + 1);
        glDeleteTextures(3, _trans->textures + 1);
    }
    free(_trans);
    _trans = nullptr;
}

static void fbo_create(int w, int h, uint32_t* fbo, uint32_t* texture) {
    glGenTextures(1, texture);
    glBindTexture(GL_TEXTURE_2D, *texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    _trans_gl.gen(1, fbo);
    _trans_gl.bind(GL_FRAMEBUFFER_OES, *fbo);
    _trans_gl.texture2d(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_TEXTURE_2D, *texture, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (_trans_gl.status(GL_FRAMEBUFFER_OES) == GL_FRAMEBUFFER_COMPLETE_OES)
        KEL_LOGS("fbo_create", "create_fbo success\n");
    else
        KEL_LOGS("fbo_create", "create_fbo failed\n");  // kept: later draws just show nothing
}

static void _trans_init() {
    KEL_LOGS("ext_trans_call", "trans:init\n");
    if (_trans->ready) return;
    if (!_trans_gl_load()) {  // without the calls there is nothing to draw into
        KEL_LOGS("fbo_create", "create_fbo failed\n");
        return;
    }
    for (int s = TRANS_A; s <= TRANS_C; s++)
        fbo_create(TRANS_SIZE, TRANS_SIZE, &_trans->framebuffers[s], &_trans->textures[s]);
    _trans_gl.bind(GL_FRAMEBUFFER_OES, _trans->framebuffers[0]);
    _trans->ready = 1;
}

static void _trans_quad(uint32_t texture, float x0, float y0, float x1, float y1,
                        const float* uv = nullptr);

// The captured frames carry the display rotation already: they are drawn unrotated,
// 1:1 on the screen. The view and rotation flag are put back by _trans_screen_end.
struct TransScreen {
    int flip;
    GfxView view;
};

static TransScreen _trans_screen_begin(int* w, int* h) {
    TransScreen s;
    s.flip = driver_flip_get();
    driver_flip_set(0);
    s.view = gfx_view_window();
    driver_screen_size_get(w, h);
    return s;
}

static void _trans_screen_end(const TransScreen& s) {
    driver_flip_set(s.flip);
    gfx_view_restore(s.view);
}

// True while the frame before (or this one) was drawn by the transition.
static bool _trans_shown_lately(Game* host) {
    return _trans->shown_frame != TRANS_NEVER && _trans->shown_frame >= host->frame - 1;
}

// What the screen shows, rotation included, squeezed into the slot's target: the
// script's frame and the widget trees over it. When the frame before was the
// transition's own (one chained right after another), that frame is what the player
// saw, so the outgoing frame starts from the captured frame it showed.
static void _trans_grab(Game* host, int slot) {
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    _trans_gl.bind(GL_FRAMEBUFFER_OES, _trans->framebuffers[slot]);
    glViewport(0, 0, TRANS_SIZE, TRANS_SIZE);
    bool chained = slot == TRANS_A && _trans_shown_lately(host);
    if (!chained || _trans->shown_slot != TRANS_A) gfx_clear();  // A into A: it is there
    if (chained && _trans->shown_slot != TRANS_A) {
        int w, h;
        TransScreen screen = _trans_screen_begin(&w, &h);
        _trans_quad(_trans->textures[_trans->shown_slot], 0, 0, (float)w, (float)h);
        _trans_screen_end(screen);
    }
    if (host->api) host->api->replay();
    ext_gui_paint(host);
    _trans_gl.bind(GL_FRAMEBUFFER_OES, _trans->framebuffers[0]);
    glViewport(vp[0], vp[1], vp[2], vp[3]);
}

// The frame that captured the incoming scene shows the outgoing one, as every effect
// does at t = 0; what the script records after the grab is drawn over it.
static void _trans_hold(Game* host) {
    if (host->api) host->api->clear();
    int w, h;
    TransScreen screen = _trans_screen_begin(&w, &h);
    glColor4f(1, 1, 1, 1);
    _trans_quad(_trans->textures[TRANS_A], 0, 0, (float)w, (float)h);
    _trans_screen_end(screen);
    _trans->shown_frame = host->frame;
    _trans->shown_slot = TRANS_A;
}

// A strip (x0, y0) (x0, y1) (x1, y0) (x1, y1); uv defaults to the whole target, which
// is stored bottom-up.
static void _trans_quad(uint32_t texture, float x0, float y0, float x1, float y1,
                        const float* uv) {
    static const float whole[8] = {0, 1, 0, 0, 1, 1, 1, 0};
    const float xy[8] = {x0, y0, x0, y1, x1, y0, x1, y1};
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexCoordPointer(2, GL_FLOAT, 0, uv ? uv : whole);
    glVertexPointer(2, GL_FLOAT, 0, xy);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    gfx_counts_add(1, 2);
}

// A slot's frame scaled by k about the screen centre, at opacity a.
static void _trans_centred(int slot, float a, float k, int w, int h) {
    float cx = (float)(w / 2), cy = (float)(h / 2);
    glColor4f(1, 1, 1, a);
    _trans_quad(_trans->textures[slot], cx - w * k / 2, cy - h * k / 2, cx + w * k / 2,
                cy + h * k / 2);
}

// The source frame shrunk by f into C, then C blown up over the screen with hard pixels.
static void _trans_deres(float t, int w, int h) {
    int slot = t < 0.5f ? TRANS_A : TRANS_B;
    float f = 1.0f / powf(2.0f, 16.0f * (t < 0.5f ? t : 1.0f - t));
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    _trans_gl.bind(GL_FRAMEBUFFER_OES, _trans->framebuffers[TRANS_C]);
    glViewport(0, 0, TRANS_SIZE, TRANS_SIZE);
    gfx_clear();
    _trans_quad(_trans->textures[slot], -0.5f, -0.5f, w * f + 0.5f, h * f + 0.5f);
    _trans_gl.bind(GL_FRAMEBUFFER_OES, _trans->framebuffers[0]);
    glViewport(vp[0], vp[1], vp[2], vp[3]);
    glBindTexture(GL_TEXTURE_2D, _trans->textures[TRANS_C]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    const float uv[8] = {0, 1, 0, 1 - f, f, 1, f, 1 - f};
    _trans_quad(_trans->textures[TRANS_C], 0, 0, (float)w, (float)h, uv);
}

static int _trans_effect(const std::string& name) {
    if (name == "zoom") return TRANS_ZOOM;
    if (name == "fade") return TRANS_FADE;
    if (name == "bzoom") return TRANS_BZOOM;
    if (name == "deres") return TRANS_DERES;
    return TRANS_NONE;
}

// Draws at once, outside the draw list, unrotated and 1:1 on the screen; the view,
// rotation flag and blend are put back afterwards.
static void _trans_draw(Game* host, const var& args) {
    bool dict = args.type() == 4;
    int effect = _trans_effect(dict && args.has("effect") ? args["effect"].str() : "");
    float t = dict && args.has("value") ? args["value"].to_float() : 0.0f;
    if (effect != TRANS_NONE) {
        _trans->shown_frame = host->frame;
        _trans->shown_slot = t < 0.5f ? TRANS_A : TRANS_B;
    }

    int w, h;
    TransScreen screen = _trans_screen_begin(&w, &h);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    switch (effect) {
    case TRANS_ZOOM:
        _trans_centred(TRANS_A, 1 - t, 2 * t + 1, w, h);
        _trans_centred(TRANS_B, t, 0.5f + 0.5f * t, w, h);
        break;
    case TRANS_FADE:
        _trans_centred(TRANS_A, 1, 1, w, h);
        _trans_centred(TRANS_B, t, 1, w, h);
        break;
    case TRANS_BZOOM:
        _trans_centred(TRANS_A, 1 - t, 1 - 0.5f * t, w, h);
        _trans_centred(TRANS_B, t, 2 - t, w, h);
        break;
    case TRANS_DERES: _trans_deres(t, w, h); break;
    default: break;
    }

    glColor4f(1, 1, 1, 1);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    _trans_screen_end(screen);
}

bool ext_trans_drawn(Game* host) {
    return _trans && host && _trans->shown_frame == host->frame;
}

var ext_trans_call(Game* host, const std::string& name, var args) {
    if (!_trans || !host) return var();
    if (name == "trans:init") {
        _trans_init();
        return var();
    }
    if (name == "trans:ready") return var(_trans->ready != 0);
    if (!_trans->ready) return var();
    if (name == "trans:grab0") {
        _trans_grab(host, TRANS_A);
    } else if (name == "trans:grab1") {
        _trans_grab(host, TRANS_B);
        _trans_hold(host);
    } else if (name == "trans:draw") {
        _trans_draw(host, args);
    }
    return var();
}
