#include "util/kel_driver-tex_load.h"

#include <GLES/gl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <stb/stb_image.h>

#include "util/kel_driver.h"
#include "util/kel_gfx.h"
#include "util/kel_log.h"

int _driver_tex_pad(int n) {
    static const int sizes[] = {64, 128, 256, 512, 1024, 2048, 4096};
    for (int s : sizes)
        if (s >= n) return s;
    return n;  // too large for the list: kept as is
}

// Premultiplied by a shift: a fully opaque channel loses at most one step.
static void _tex_premultiply(uint8_t* p, size_t pixels) {
    for (size_t i = 0; i < pixels; i++, p += 4) {
        unsigned a = p[3];
        p[0] = (uint8_t)((p[0] * a) >> 8);
        p[1] = (uint8_t)((p[1] * a) >> 8);
        p[2] = (uint8_t)((p[2] * a) >> 8);
    }
}

// Copies w x h into tw x th, repeating the last column and row into the padding so
// that linear filtering at the image edge samples the edge, not black.
static uint8_t* _tex_pad(const uint8_t* src, int w, int h, int tw, int th) {
    uint8_t* dst = (uint8_t*)calloc((size_t)tw * th, 4);
    if (!dst) return NULL;
    size_t row = (size_t)tw * 4;
    for (int y = 0; y < h; y++) {
        uint8_t* d = dst + y * row;
        memcpy(d, src + (size_t)y * w * 4, (size_t)w * 4);
        for (int x = w; x < tw; x++) memcpy(d + (size_t)x * 4, d + (size_t)(w - 1) * 4, 4);
    }
    for (int y = h; y < th; y++) memcpy(dst + y * row, dst + (size_t)(h - 1) * row, row);
    return dst;
}

uint32_t _driver_tex_load_from_data(uint8_t* rgba, int w, int h, int* ow, int* oh, int* tw,
                                    int* th) {
    const char* version = (const char*)glGetString(GL_VERSION);
    if (!version || !rgba || w <= 0 || h <= 0) {
        *ow = *oh = *tw = *th = 0;
        return 0;
    }
    _tex_premultiply(rgba, (size_t)w * h);
    int pw = _driver_tex_pad(w), ph = _driver_tex_pad(h);
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    if (max > 0 && (pw > max || ph > max)) {
        // GL would refuse the upload and leave an empty texture that counts as loaded.
        KEL_LOG("_driver_tex_load_from_data", "%d x %d is larger than GL_MAX_TEXTURE_SIZE %d\n",
                pw, ph, (int)max);
        *ow = *oh = *tw = *th = 0;
        return 0;
    }
    uint8_t* padded = NULL;
    const uint8_t* pixels = rgba;
    if (pw != w || ph != h) {
        padded = _tex_pad(rgba, w, h, pw, ph);
        if (!padded) {
            KEL_LOG("_driver_tex_load_from_data", "out of memory for %d x %d\n", pw, ph);
            *ow = *oh = *tw = *th = 0;
            return 0;
        }
        pixels = padded;
    }
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glEnable(GL_TEXTURE_2D);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    GLint filter = gfx_filter_gl();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, pw, ph, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    KEL_LOG("_driver_tex_load_from_data", "texture %d: mipmaps v%d (GL_VERSION=%s)\n", (int)id, 0,
            version);
    free(padded);
    *ow = w;
    *oh = h;
    *tw = pw;
    *th = ph;
    return id;
}

int driver_image_info(const void* buf, size_t size, const char* path, int max_side, int* w,
                      int* h) {
    *w = *h = 0;
    if (!buf || size > 0x7FFFFFFF) return 0;
    int comp = 0;
    if (!stbi_info_from_memory((const stbi_uc*)buf, (int)size, w, h, &comp) || *w <= 0 ||
        *h <= 0) {
        KEL_LOG("driver_image_info", "stbi_load failed %s - %s\n", path, stbi_failure_reason());
        log_warn("image not readable: %s (%s)", path, stbi_failure_reason());
        return 0;
    }
    char limit[64] = "";
    if ((int64_t)*w * *h > DRIVER_IMAGE_PIXELS_MAX)
        snprintf(limit, sizeof limit, "%d pixels", DRIVER_IMAGE_PIXELS_MAX);
    else if (max_side > 0 && (*w > max_side || *h > max_side))
        snprintf(limit, sizeof limit, "%d per side", max_side);
    if (!limit[0]) return 1;
    KEL_LOG("driver_image_info", "%s: %d x %d is more than %s\n", path, *w, *h, limit);
    log_warn("image too large: %s (%d x %d, more than %s)", path, *w, *h, limit);
    return 0;
}

uint32_t _driver_tex_load(const char* path, int* w, int* h, int* tw, int* th) {
    size_t size = 0;
    void* buf = _driver_std_alloc(path, &size);
    stbi_uc* px = NULL;
    int iw = 0, ih = 0, comp = 0;
    // Padding takes a side to the next power of two, and GL's limit is one: a side within
    // the limit stays within it once padded.
    GLint max = 0;
    if (glGetString(GL_VERSION)) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    if (buf && !driver_image_info(buf, size, path, (int)max, &iw, &ih)) {
        free(buf);
        return 0;
    }
    if (buf) px = stbi_load_from_memory((const stbi_uc*)buf, (int)size, &iw, &ih, &comp, 4);
    int read = buf != NULL;
    free(buf);
    if (!px) {
        KEL_LOG("_driver_tex_load", "stbi_load failed %s - %s\n", path,
                read ? stbi_failure_reason() : "cannot read file");
        log_warn("image not readable: %s (%s)", path, read ? stbi_failure_reason() : "cannot read file");
        return 0;
    }
    uint32_t id = _driver_tex_load_from_data(px, iw, ih, w, h, tw, th);
    stbi_image_free(px);
    KEL_LOG("_driver_tex_load", "loaded %s as %d (%d,%d)->(%d,%d):(%d,%d)\n", path, (int)id, iw,
            ih, *w, *h, *tw, *th);
    return id;
}

uint32_t driver_tex_load(const char* path, int* w, int* h, int* tw, int* th) {
    KEL_LOG("driver_tex_load", "driver_tex_load %s\n", path);
    return _driver_tex_load(path, w, h, tw, th);
}
