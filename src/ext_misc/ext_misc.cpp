// Miscellaneous extensions: screenshots, clipboard, run-time images, on-screen keyboard,
// timer, memory figures, video mode, quit.
#include "src/ext_misc/ext_misc.h"

#include <GLES/gl.h>
#include <SDL_video.h>
#include <stb/stb_image_write.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include "ext/jpeg/jpeg_encoder.h"

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "util/kel_driver-audio.h"
#include "util/kel_driver-input.h"
#include "util/kel_driver-sdl2.h"
#include "util/kel_driver.h"
#include "util/kel_gfx.h"
#include "util/kel_log.h"

void ext_misc_init(Game* host) { (void)host; }

static float _ext_num(const var& args, const char* key) {
    return args.type() == 4 && args.has(key) ? args[key].to_float() : 0.0f;
}

static std::string _ext_str(const var& args, const char* key) {
    return args.type() == 4 && args.has(key) ? args[key].str() : std::string();
}

// Loads an image, optionally with its own "filter"; the script's filter is put back.
static void _ext_image_load(Game* host, const var& args) {
    ModsAPI* api = host ? host->api : nullptr;
    std::string name = _ext_str(args, "name");
    if (!api) {
        gfx_img_load(name.c_str());
        return;
    }
    var saved = api->params.has("filter") ? api->params["filter"] : var();
    if (args.type() == 4 && args.has("filter")) api->params.set("filter", args["filter"]);
    gfx_img_load(name.c_str());
    if (saved.is_none()) api->params.del("filter");
    else api->params.set("filter", saved);
}

// Registers a named part of an image; all ten values are fractions of the source frame.
static void _ext_image_sub(const var& args) {
    std::string source = _ext_str(args, "source"), name = _ext_str(args, "name");
    float x = _ext_num(args, "x"), y = _ext_num(args, "y");
    float w = _ext_num(args, "width"), h = _ext_num(args, "height");
    float sx = _ext_num(args, "shape_x"), sy = _ext_num(args, "shape_y");
    float sw = _ext_num(args, "shape_width"), sh = _ext_num(args, "shape_height");
    if (sw == 0) sw = w;
    if (sh == 0) sh = h;
    if (name.size() >= GFX_IMG_NAME_MAX) {
        KEL_LOG("ext_misc_call", "image:sub: name too long (%zu bytes)\n", name.size());
        log_warn("image:sub: name too long (over %d bytes)", GFX_IMG_NAME_MAX - 1);
        return;
    }
    float part[4] = {x, y, w, h}, shape[4] = {sx, sy, sw, sh};
    if (!gfx_img_rect_ok(name.c_str(), part, 1, 1) || !gfx_img_rect_ok(name.c_str(), shape, 0, 0))
        return;
    KEL_LOG("ext_misc_call", "%s: %f,%f,%f,%f %f,%f,%f,%f\n", name.c_str(), x, y, w, h, sx, sy,
            sw, sh);
    int src = gfx_img_load(source.c_str());
    if (!src) {
        KEL_LOG("ext_misc_call", "error loading source: \"%s\"\n", source.c_str());
        return;
    }
    GfxImg g = gfx_img_get(src);
    gfx_img_register(name.c_str(), g.texture, g.fx + x * g.fw, g.fy + y * g.fh, w * g.fw,
                     h * g.fh, sx * g.fw, sy * g.fh, sw * g.fw, sh * g.fh);
}

static void _ext_keyboard_show(const var& args) {
    float x = _ext_num(args, "x"), y = _ext_num(args, "y");
    float w = _ext_num(args, "width"), h = _ext_num(args, "height");
    if (w != 0 && h != 0) gfx_input_rect_set(x, y, w, h);
    driver_keyboard_show();
}

// Sizes past this are no window any display shows; they are refused whole.
#define EXT_VIDEO_SIZE_MAX 16384

// A new video mode; the script then sees it as a window resize, with the size the
// window really got (the default size for 0, what the window system allowed).
static void _ext_video_resize(Game* host, const var& args) {
    if (!host || host->headless) return;  // no window to change
    double rw = _ext_num(args, "width"), rh = _ext_num(args, "height");
    if (!(rw >= 0 && rw <= EXT_VIDEO_SIZE_MAX && rh >= 0 && rh <= EXT_VIDEO_SIZE_MAX)) {
        KEL_LOG("video:resize", "size out of range: %g x %g (0 to %d)\n", rw, rh,
                EXT_VIDEO_SIZE_MAX);
        return;
    }
    int w = (int)rw, h = (int)rh;
    int full = _ext_num(args, "full") != 0;
    if (host->api) host->api->clear();
    driver_video_init(w, h, w, h, w, h, full != (host->fullscreen == 1));
    gfx_clear();
    driver_video_swap();
    gfx_clear();
    w = h = 0;
    if (SDL_Window* win = driver_video_window()) SDL_GetWindowSize(win, &w, &h);
    Event e = Event();
    e.type = EVT_RESIZE;
    e.width = (float)w;
    e.height = (float)h;
    game_post(e);
}

static void _ext_png_append(void* ctx, void* data, int size) {
    ((std::string*)ctx)->append((const char*)data, (size_t)size);
}

// Encodes the top-down RGBA frame by the path's suffix and writes it through a temporary
// file renamed over the target, so no half file is ever seen and a link placed at the
// path is replaced, not followed. Not synced: that would cost more than a frame.
static bool _ext_screenshot_save(const std::string& path, const unsigned char* px, int w,
                                 int h) {
    if (path.find(".jpg") != std::string::npos) {
        size_t n = 0;
        unsigned char* jpg = jpeg_encode_mem(px, w, h, 4, 85, &n);
        bool ok = jpg && _driver_std_write(path.c_str(), jpg, n, 0);
        free(jpg);
        return ok;
    }
    if (path.find(".png") != std::string::npos) {
        std::string png;
        if (!stbi_write_png_to_func(_ext_png_append, &png, w, h, 4, px, w * 4)) return false;
        return _driver_std_write(path.c_str(), png.data(), png.size(), 0);
    }
    return false;
}

// The current draw list replayed over the frame and saved; the path, or "" on failure.
static std::string _ext_screenshot(Game* host, const var& args) {
    if (!gfx_ready()) return std::string();  // headless: there is no frame
    if (host && host->api) host->api->replay();
    std::string path = std::string(driver_tmp_dir()) + "/misc_screenshot.jpg";
    if (args.type() == 4 && args.has("filename")) {
        std::string name = args["filename"].str();
        path = name[0] == '/' ? name : std::string(driver_tmp_dir()) + "/" + name;
    }
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    KEL_LOG("ext_misc_screenshot", "ext_misc_screenshot: %d %d %d %d\n", vp[0], vp[1], vp[2],
            vp[3]);
    int w = vp[2], h = vp[3];
    if (w <= 0 || h <= 0) return std::string();
    std::vector<uint8_t> px = gfx_read_rgba(vp[0], vp[1], w, h);
    return _ext_screenshot_save(path, px.data(), w, h) ? path : std::string();
}

// Resident set of the process in bytes, from /proc (0 where it cannot be read).
static double _ext_rss() {
    long pages = 0, resident = 0;
    FILE* f = fopen("/proc/self/statm", "r");
    if (!f) return 0;
    if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    fclose(f);
    return (double)resident * (double)sysconf(_SC_PAGESIZE);
}

// What a long run watches for growth: texture and sound bytes, playing voices, the process.
static var _ext_memory() {
    var d(4, 0);
    d.set("textures", (double)gfx_mem_used());
    d.set("sounds", (double)_driver_audio_memused_get());
    d.set("voices", (double)_driver_audio_voices().size());
    d.set("rss", _ext_rss());
    return d;
}

var ext_misc_call(Game* host, const std::string& name, var args) {
    if (name == "screenshot") {
        return var(_ext_screenshot(host, args));
    } else if (name == "image:load") {
        _ext_image_load(host, args);
    } else if (name == "image:sub") {
        _ext_image_sub(args);
    } else if (name == "clipboard:set") {
        // Without a window there is no clipboard; SDL stays unloaded.
        if (driver_video_window()) driver_clipboard_set(args.str().c_str());
        return var(true);
    } else if (name == "clipboard:get") {
        return var(driver_video_window() ? driver_clipboard_get() : std::string());
    } else if (name == "quit") {
        if (host) host->quit = 1;
    } else if (name == "keyboard:show") {
        _ext_keyboard_show(args);
    } else if (name == "keyboard:hide") {
        gfx_input_rect_clear();
        driver_keyboard_hide();
    } else if (name == "timer:get_ticks") {
        return var(driver_ticks());
    } else if (name == "memory:get") {
        return _ext_memory();
    } else if (name == "video:resize") {
        _ext_video_resize(host, args);
    }
    return var();
}
