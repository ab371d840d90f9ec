#include "util/kel_driver-sdl2.h"

#include <SDL2/SDL.h>
#include <GLES/gl.h>
#include <malloc.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <stb/stb_image.h>

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <link.h>
#endif

#include "util/kel_driver-input.h"
#include "util/kel_driver-tex_load.h"
#include "util/kel_driver.h"
#include "util/kel_log.h"

enum { VIDEO_CAPTION_MAX = 256, VIDEO_ICON_MAX = 512, VIDEO_ERROR_MAX = 512 };
// The X server refuses an icon of 2048 x 2048 or more, and ends the program for it.
enum { VIDEO_ICON_SIDE = 256 };

static struct {
    SDL_Window* window;
    SDL_GLContext context;
    int desktop_known;
    SDL_DisplayMode desktop;
    char caption[VIDEO_CAPTION_MAX];  // as applied, '?' for bytes outside 0x20..0x7F
    char caption_src[VIDEO_CAPTION_MAX];  // the driver caption it came from
    char icon[VIDEO_ICON_MAX];
    char error[VIDEO_ERROR_MAX];
    int gl_library;  // our own reference on SDL's GL library
} _video;

SDL_Window* driver_video_window() { return _video.window; }
void* driver_video_context() { return _video.context; }
const char* driver_video_error() { return _video.error; }

static void _video_error(const char* what) {
    snprintf(_video.error, sizeof _video.error, "%s", what);
    KEL_LOG("_try_init_video", "%s\n", what);
}

// SDL falls back to its invisible offscreen driver when there is no display; a game
// nobody can see is worse than a clear refusal, so take it only when asked by name.
static int _video_driver_usable() {
    const char* cur = SDL_GetCurrentVideoDriver();
    if (!cur) return 0;
    if (strcmp(cur, "offscreen") && strcmp(cur, "dummy")) return 1;
    const char* asked = getenv("SDL_VIDEODRIVER");
    return asked && strstr(asked, cur) != NULL;
}

static int _video_subsystem_up() {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        char buf[VIDEO_ERROR_MAX];
        snprintf(buf, sizeof buf, "no video: %s", SDL_GetError());
        _video_error(buf);
        return 0;
    }
    if (!_video_driver_usable()) {
        char buf[VIDEO_ERROR_MAX];
        if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY"))
            snprintf(buf, sizeof buf, "no display (DISPLAY is not set)");
        else
            snprintf(buf, sizeof buf, "no usable display (SDL video driver \"%s\")",
                     SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "none");
        _video_error(buf);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return 0;
    }
    return 1;
}

void _driver_video_init() {
    driver_platform_set("desktop");
#if defined(M_MMAP_THRESHOLD) && !defined(__SANITIZE_ADDRESS__)
    // A software GL driver allocates and frees megabytes of vertex data per draw; from
    // mmap each block comes back as fresh pages, faulted in and zeroed every frame.
    // Served from the heap (and the heap not trimmed at once) it stays in memory.
    mallopt(M_MMAP_THRESHOLD, 8 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
#endif
    SDL_Init(SDL_INIT_VIDEO);
    SDL_version v;
    SDL_GetVersion(&v);
    KEL_LOG("_driver_video_init", "SDL Runtime Version: %u.%u.%u\n", v.major, v.minor, v.patch);
    KEL_LOG("_driver_video_init", "SDL Compile Version: %u.%u.%u\n", 2, 0, 12);
}

void _driver_video_deinit() { driver_video_deinit(); }

void driver_video_init(int w, int h, int pref_w, int pref_h, int min_w, int min_h,
                       int fullscreen) {
    KEL_LOG("driver_video_init", "init_video: %d %d %d %d %d %d %d\n", w, h, pref_w, pref_h,
            min_w, min_h, fullscreen);
    SDL_Window* win = _try_init_video(w, h, fullscreen);
    if (!win) return;
    SDL_SetWindowMinimumSize(win, min_w, min_h);
    _driver_video_resize();
}

unsigned char* driver_image_shrink(const unsigned char* px, int w, int h, int max, int* ow,
                                   int* oh) {
    int side = w > h ? w : h;
    *ow = w <= max ? w : max;
    *oh = h <= max ? h : max;
    if (side > max) {
        *ow = (int)((int64_t)w * max / side);
        *oh = (int)((int64_t)h * max / side);
    }
    if (*ow < 1) *ow = 1;
    if (*oh < 1) *oh = 1;
    unsigned char* out = (unsigned char*)malloc((size_t)*ow * *oh * 4);
    if (!out) return NULL;
    // Each output pixel averages its box of input pixels, colours weighted by alpha so
    // that transparent pixels lend the edges no colour.
    for (int y = 0; y < *oh; y++) {
        int y0 = (int)((int64_t)y * h / *oh), y1 = (int)((int64_t)(y + 1) * h / *oh);
        for (int x = 0; x < *ow; x++) {
            int x0 = (int)((int64_t)x * w / *ow), x1 = (int)((int64_t)(x + 1) * w / *ow);
            uint64_t c[3] = {0, 0, 0}, a = 0, n = 0;
            for (int sy = y0; sy < y1; sy++)
                for (int sx = x0; sx < x1; sx++, n++) {
                    const unsigned char* p = px + ((size_t)sy * w + sx) * 4;
                    for (int k = 0; k < 3; k++) c[k] += (uint64_t)p[k] * p[3];
                    a += p[3];
                }
            unsigned char* d = out + ((size_t)y * *ow + x) * 4;
            for (int k = 0; k < 3; k++) d[k] = a ? (unsigned char)(c[k] / a) : 0;
            d[3] = n ? (unsigned char)(a / n) : 0;
        }
    }
    return out;
}

// The icon image wrapped in a surface; a missing or undecodable file changes nothing.
static void _video_icon_apply() {
    snprintf(_video.icon, sizeof _video.icon, "%s", driver_icon_get());
    if (!_video.icon[0] || !_video.window) return;
    int w, h, comp;
    unsigned char* px = driver_image_load(_video.icon, &w, &h, &comp, 4);
    if (!px) return;
    if (w > VIDEO_ICON_SIDE || h > VIDEO_ICON_SIDE) {
        int sw = 0, sh = 0;
        unsigned char* small = driver_image_shrink(px, w, h, VIDEO_ICON_SIDE, &sw, &sh);
        free(px);
        if (!small) return;
        KEL_LOG("_video_icon_apply", "icon %s: %d x %d shown as %d x %d\n", _video.icon, w, h,
                sw, sh);
        px = small;
        w = sw;
        h = sh;
    }
    SDL_Surface* wrap = SDL_CreateRGBSurfaceFrom(px, w, h, 32, 4 * w, 0x000000FF, 0x0000FF00,
                                                 0x00FF0000, 0xFF000000);
    if (wrap) {
        SDL_Surface* copy = SDL_ConvertSurface(wrap, wrap->format, 0);
        SDL_FreeSurface(wrap);
        free(px);
        px = NULL;
        if (copy) {
            SDL_SetWindowIcon(_video.window, copy);
            SDL_FreeSurface(copy);
        }
    }
    free(px);
}

static void _video_attributes() {
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
    SDL_GL_SetSwapInterval(1);
    SDL_SetHint("SDL_RENDER_VSYNC", "1");
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_SetHintWithPriority("SDL_RENDER_DRIVER", "opengles", SDL_HINT_OVERRIDE);
    SDL_SetHint("SDL_IOS_IDLE_TIMER_DISABLED", "0");
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_EnableScreenSaver();
}

// A GLX that offers no ES profile refuses the context; EGL on the same X display
// usually has one. SDL reads the choice when it loads the GL library, so reload it.
static SDL_Window* _video_retry_egl(SDL_Window* win) {
    const char* cur = SDL_GetCurrentVideoDriver();
    const char* forced = SDL_GetHint(SDL_HINT_VIDEO_X11_FORCE_EGL);
    if (!cur || strcmp(cur, "x11") != 0 || (forced && forced[0] == '1')) return win;
    KEL_LOG("_try_init_video", "no context through GLX, trying EGL\n");
    int cw, ch;
    SDL_GetWindowSize(win, &cw, &ch);
    Uint32 flags = SDL_GetWindowFlags(win);
    SDL_DestroyWindow(win);
    _video.window = NULL;
    if (_video.gl_library) SDL_GL_UnloadLibrary();
    _video.gl_library = 0;
    SDL_SetHint(SDL_HINT_VIDEO_X11_FORCE_EGL, "1");
    if (SDL_GL_LoadLibrary(NULL) == 0) _video.gl_library = 1;
    win = SDL_CreateWindow(driver_caption_get(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                           cw, ch, flags);
    if (!win) return NULL;
    _video.window = win;
    _video_icon_apply();
    _sdl2_create_context(win);
    return win;
}

// Display 0's mode, read once.
static void _video_desktop_read() {
    if (_video.desktop_known) return;
    _video.desktop_known = 1;
    if (SDL_GetDesktopDisplayMode(0, &_video.desktop) != 0)
        memset(&_video.desktop, 0, sizeof _video.desktop);
}

void driver_video_desktop_size(int* w, int* h) {
    _video_desktop_read();
    *w = _video.desktop.w;
    *h = _video.desktop.h;
}

SDL_Window* _try_init_video(int w, int h, int fullscreen) {
    _driver_joystick_init();
    KEL_LOG("_try_init_video", "_try_init_video(%d,%d,%d)\n", w, h, fullscreen);
    _video.error[0] = 0;
    _video_desktop_read();
    int dw = _video.desktop.w, dh = _video.desktop.h;
    int bw = 80 * dw / 100, bh = 80 * dh / 100;
    int tw = w, th = h;
    if (!w || !h) {
        tw = fullscreen ? dw : bw;
        th = fullscreen ? dh : bh;
    }
    if (_video.window) {
        int cw, ch;
        SDL_GetWindowSize(_video.window, &cw, &ch);
        Uint32 flags = SDL_GetWindowFlags(_video.window);
        KEL_LOG("_try_init_video",
                "_try_init_video: desktop: %d x %d, backup: %d x %d, target: %d x %d, screen: "
                "%d x %d\n",
                dw, dh, bw, bh, tw, th, cw, ch);
        int fs = (flags & SDL_WINDOW_FULLSCREEN) ? 1 : 0;
        if (cw == tw && ch == th && fs == (fullscreen ? 1 : 0)) {
            KEL_LOG("_try_init_video", "_try_init_video: no changes needed.\n");
            return _video.window;
        }
        SDL_DestroyWindow(_video.window);
        _video.window = NULL;
    } else {
        KEL_LOG("_try_init_video",
                "_try_init_video: desktop: %d x %d, backup: %d x %d, target: %d x %d, screen: "
                "%d x %d\n",
                dw, dh, bw, bh, tw, th, 0, 0);
    }
    KEL_LOG("_try_init_video", "_try_init_video: initial init\n");
    if (!_video_subsystem_up()) return NULL;
    _video_attributes();
    // SDL unloads the GL library with its last GL window, which would take the context
    // and every texture with it when the window is re-created; hold a reference.
    if (!_video.gl_library && SDL_GL_LoadLibrary(NULL) == 0) _video.gl_library = 1;
    KEL_LOG("_try_init_video", "KEL_SDL_WINDOW_RESIZABLE:%d\n", 1);
    KEL_LOG("_try_init_video", "SDL_WINDOW_RESIZABLE\n");
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE;
    if (fullscreen) flags |= SDL_WINDOW_FULLSCREEN;
    // A 0 x 0 target (no desktop mode known) would be refused; that is what the retry is for.
    SDL_Window* win = SDL_CreateWindow(driver_caption_get(), SDL_WINDOWPOS_UNDEFINED,
                                       SDL_WINDOWPOS_UNDEFINED, tw, th, flags);
    if (!win) {
        KEL_LOG("_try_init_video", "failed to init at %d x %d .. trying %d x %d\n", tw, th, bw,
                bh);
        win = SDL_CreateWindow(driver_caption_get(), SDL_WINDOWPOS_UNDEFINED,
                               SDL_WINDOWPOS_UNDEFINED, bw, bh,
                               SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
        if (!win) {
            char buf[VIDEO_ERROR_MAX];
            snprintf(buf, sizeof buf, "window creation failed: %s", SDL_GetError());
            _video_error(buf);
            return NULL;
        }
    }
    _video.window = win;
    _video_icon_apply();
    if (!_video.context) _sdl2_create_context(win);
    if (!_video.context) win = _video_retry_egl(win);
    if (!_video.context) {
        // Without GL nothing could be drawn: report it as a failed start.
        char buf[VIDEO_ERROR_MAX];
        snprintf(buf, sizeof buf, "no OpenGL ES 1.1 context: %s", SDL_GetError());
        _video_error(buf);
        if (win) SDL_DestroyWindow(win);
        _video.window = NULL;
        return NULL;
    }
    SDL_GL_MakeCurrent(win, _video.context);
    SDL_GL_SetSwapInterval(1);
    int cw, ch;
    SDL_GetWindowSize(win, &cw, &ch);
    KEL_LOG("_try_init_video", "now: %d x %d - %d\n", cw, ch,
            (SDL_GetWindowFlags(win) & SDL_WINDOW_FULLSCREEN) ? 1 : 0);
    return win;
}

void _sdl2_create_context(SDL_Window* window) {
    if (_video.context) {
        KEL_LOG("_sdl2_create_context", "SDL_GL_DeleteContext\n");
        SDL_GL_DeleteContext(_video.context);
        _video.context = NULL;
    }
    _video.context = SDL_GL_CreateContext(window);
    KEL_LOG("_sdl2_create_context", "SDL_GL_CreateContext\n");
    static const struct {
        SDL_GLattr attr;
        const char* fmt;
    } shown[] = {
        {SDL_GL_RED_SIZE, "GL_RED_SIZE:%d\n"},         {SDL_GL_GREEN_SIZE, "GL_GREEN_SIZE:%d\n"},
        {SDL_GL_BLUE_SIZE, "GL_BLUE_SIZE:%d\n"},       {SDL_GL_ALPHA_SIZE, "GL_ALPHA_SIZE:%d\n"},
        {SDL_GL_DEPTH_SIZE, "GL_DEPTH_SIZE:%d\n"},     {SDL_GL_BUFFER_SIZE, "GL_BUFFER_SIZE:%d\n"},
        {SDL_GL_DOUBLEBUFFER, "GL_DOUBLEBUFFER:%d\n"}, {SDL_GL_STENCIL_SIZE, "GL_STENCIL_SIZE:%d\n"},
    };
    for (auto& s : shown) {
        int v = 0;
        SDL_GL_GetAttribute(s.attr, &v);
        KEL_LOG("_sdl2_create_context", s.fmt, v);
    }
    if (!_video.context) return;
    SDL_GL_MakeCurrent(window, _video.context);
    KEL_LOG("_sdl2_create_context", "SDL_GL_MakeCurrent\n");
}

void _driver_video_resize() {
    if (!_video.window) return;
    int ww, wh, dw, dh;
    SDL_GetWindowSize(_video.window, &ww, &wh);
    SDL_GL_GetDrawableSize(_video.window, &dw, &dh);
    KEL_LOG("_driver_video_resize", "window: %d x %d. drawable: %d x %d\n", ww, wh, dw, dh);
    glViewport(0, 0, dw, dh);
    driver_screen_size_set(ww, wh);
}

void driver_video_swap() {
    if (!_video.window) return;
    SDL_GL_SwapWindow(_video.window);
    const char* cap = driver_caption_get();
    if (strncmp(cap, _video.caption_src, sizeof _video.caption_src) != 0) {
        snprintf(_video.caption_src, sizeof _video.caption_src, "%s", cap);
        snprintf(_video.caption, sizeof _video.caption, "%s", cap);
        for (char* p = _video.caption; *p; p++)
            if ((unsigned char)*p < 0x20 || (unsigned char)*p > 0x7F) *p = '?';
        SDL_SetWindowTitle(_video.window, _video.caption);
    }
    if (strncmp(driver_icon_get(), _video.icon, sizeof _video.icon) != 0) _video_icon_apply();
}

int driver_video_minimize() {
    if (!_video.window) return 0;
    SDL_MinimizeWindow(_video.window);
    return 1;
}

#if defined(__SANITIZE_ADDRESS__)
// SDL unloads the GL driver at shutdown; its allocations would then be reported from
// code the leak checker can no longer name (nor suppress). Keep every library mapped.
static void _video_libs_pin() {
    dl_iterate_phdr(
        [](struct dl_phdr_info* info, size_t, void*) {
            if (info->dlpi_name && info->dlpi_name[0])
                dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        NULL);
}
#else
static void _video_libs_pin() {}
#endif

void driver_video_deinit() {
    _video_libs_pin();
    if (_video.context) SDL_GL_DeleteContext(_video.context);
    if (_video.window) SDL_DestroyWindow(_video.window);
    _video.context = NULL;
    _video.window = NULL;
    if (_video.gl_library) SDL_GL_UnloadLibrary();
    _video.gl_library = 0;
    _video.caption[0] = _video.caption_src[0] = _video.icon[0] = 0;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

unsigned char* driver_image_load(const char* path, int* w, int* h, int* comp, int req_comp) {
    size_t size = 0;
    void* buf = driver_file_alloc(path, &size);
    if (!buf) return NULL;
    unsigned char* px = NULL;
    if (driver_image_info(buf, size, path, 0, w, h))
        px = stbi_load_from_memory((const stbi_uc*)buf, (int)size, w, h, comp, req_comp);
    free(buf);
    return px;
}
