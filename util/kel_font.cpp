// kel_font: bitmap fonts, layout, measuring, drawing.
#include "util/kel_font.h"

#include <GLES/gl.h>
#include <limits.h>
#include <math.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "util/kel_driver.h"
#include "util/kel_driver-tex_load.h"
#include "util/kel_gfx.h"
#include "util/kel_log.h"
#include "util/kel_var.h"

struct FontRegistry {
    std::map<std::string, int> keys;  // "%s:%d" of name and size -> index (0: not found)
    std::map<std::string, int> parsed;  // descriptor path -> font holding its latest parse
    int parses = 0;                     // descriptor reads, for tests
    std::vector<Font> fonts;          // [0] is the empty font
    time_t reload_time = 0;           // last second font_reload_auto ran
};

static FontRegistry* _fonts;

// Glyph geometry of one draw: 6 vertices of 2 floats per glyph.
enum { GLYPHS_PER_DRAW = 256, VERTS_PER_GLYPH = 6 };
static float _pos[GLYPHS_PER_DRAW * VERTS_PER_GLYPH * 2];
static float _tex[GLYPHS_PER_DRAW * VERTS_PER_GLYPH * 2];

void font_init() {
    if (_fonts) return;
    _fonts = new FontRegistry;
    Font empty;
    memset(&empty, 0, sizeof empty);
    _fonts->fonts.push_back(empty);
}

void font_deinit() {
    delete _fonts;
    _fonts = nullptr;
}

const Font* font_get(int font) {
    if (!_fonts || font < 0 || font >= (int)_fonts->fonts.size()) return nullptr;
    return &_fonts->fonts[font];
}

static Font* _font(int font) { return (Font*)font_get(font); }
static void _font_read(int font);

// A folder of the descriptor's name is not a descriptor (nor is anything but a file).
static bool _font_is_file(const char* name) {
    struct stat st;
    return driver_data_exists(name) && stat(driver_data_path(name), &st) == 0 &&
           S_ISREG(st.st_mode);
}

// A font record for a found descriptor (path) and its page texture, or the key
// remembered as not found (empty path).
static int _font_add(const std::string& key, const char* name, const std::string& path,
                     int texture, int size) {
    if (path.empty() || path.size() >= FONT_PATH_MAX) {
        KEL_LOG("font_load", "unable to find font %s\n", name);
        _fonts->keys[key] = 0;
        return 0;
    }
    int index = (int)_fonts->fonts.size();
    KEL_LOG("font_load", "doing load font %s (%d)\n", name, index);
    _fonts->keys[key] = index;
    Font f;
    memset(&f, 0, sizeof f);
    f.index = index;
    f.texture = texture;
    f.scale = 1.0f;
    f.size = (float)size;
    strcpy(f.path, path.c_str());
    _fonts->fonts.push_back(f);
    _font_read(index);
    return index;
}

int font_load(const char* name, int size) {
    if (!_fonts || !name) return 0;
    std::string key = std::string(name) + ":" + std::to_string(size);
    auto it = _fonts->keys.find(key);
    if (it != _fonts->keys.end()) return it->second;

    KEL_LOG("font_load", "trying load font %s\n", name);
    static const char* suffixes[] = {"", ".fnt", ".txt"};
    std::string found;
    for (const char* suffix : suffixes) {
        std::string file = std::string(name) + suffix;
        if (*name && _font_is_file(file.c_str())) {
            found = file;
            break;
        }
    }
    // Copied at once: the texture search below reuses the driver's path buffer.
    std::string path = found.empty() ? "" : driver_data_path(found.c_str());
    if (path.empty() || path.size() >= FONT_PATH_MAX) {
        log_warn("font not found: %s", name);
        return _font_add(key, name, "", 0, size);
    }
    int texture = gfx_tex_load(name);
    // Drawn without its page a font shows blocks, so it draws nothing then; say why.
    const GfxTex& page = gfx_tex_get(texture);
    if (gfx_ready() && (!texture || (page.loaded && !page.gl_id)))
        log_warn("font page not found: %s (the image %s beside the descriptor)", name, name);
    return _font_add(key, name, path, texture, size);
}

int font_load_file(const char* path, int size) {
    if (!_fonts || !path) return 0;
    // Keyed apart from data-area names, which hold no NUL.
    std::string key = std::string(1, '\0') + path + ":" + std::to_string(size);
    auto it = _fonts->keys.find(key);
    if (it != _fonts->keys.end()) return it->second;
    std::string p = path;
    if (!driver_file_exists(path)) return _font_add(key, path, "", 0, size);
    size_t dot = p.rfind('.'), slash = p.rfind('/');
    bool ext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    std::string page = (ext ? p.substr(0, dot) : p) + ".png";
    return _font_add(key, path, p, gfx_tex_load_file(page.c_str()), size);
}

/* ---- descriptor ---- */

// The keys read from the two line kinds used; slot numbers index a line's values.
enum { K_LINE_HEIGHT, K_BASE, K_SCALE_W, K_SCALE_H, K_COMMON };
enum { K_ID, K_X, K_Y, K_WIDTH, K_HEIGHT, K_XOFFSET, K_YOFFSET, K_XADVANCE, K_CHAR };
static const char* const _font_common_keys[K_COMMON] = {"lineHeight", "base", "scaleW",
                                                         "scaleH"};
static const char* const _font_char_keys[K_CHAR] = {"id",     "x",       "y",       "width",
                                                     "height", "xoffset", "yoffset", "xadvance"};
// Keys that are sizes or positions in the page: a negative value there is a fault.
static const bool _font_common_size[K_COMMON] = {true, false, true, true};
static const bool _font_char_size[K_CHAR] = {false, true, true, true, true, false, false, true};

// What one parse found wrong, for the log and the single warning.
struct FontFaults {
    int glyphs;         // char lines refused
    std::string first;  // the first refused value, "key=value"
    bool common;        // the common line was refused: the whole font is
};

// Reads the values of the keys named in `keys` from the tokens after the line's first;
// a key given twice keeps its last value, an absent one reads 0. Values go through
// strtod (so "12px" reads 12); one that is not finite, or negative where a size is
// meant, is a fault: false, and `bad` names it.
static bool _font_values(const char* p, const char* end, const char* const* keys,
                         const bool* size, int n, double* out, std::string* bad) {
    for (int i = 0; i < n; i++) out[i] = 0.0;
    bool ok = true;
    while (p < end) {
        const char* tok = p;
        while (p < end && *p != ' ') p++;
        const char* eq = (const char*)memchr(tok, '=', p - tok);
        const char* tok_end = p;
        if (p < end) p++;
        if (!eq) continue;
        size_t klen = eq - tok;
        for (int i = 0; i < n; i++) {
            if (strlen(keys[i]) != klen || memcmp(keys[i], tok, klen) != 0) continue;
            char num[64];
            size_t vlen = std::min((size_t)(tok_end - eq - 1), sizeof num - 1);
            memcpy(num, eq + 1, vlen);
            num[vlen] = 0;
            double v = strtod(num, nullptr);
            if (!std::isfinite(v) || (size[i] && v < 0)) {
                if (ok) *bad = std::string(tok, std::min((size_t)(tok_end - tok), (size_t)40));
                ok = false;
            }
            out[i] = v;
            break;
        }
    }
    return ok;
}

// Saturating like the value conversions: huge numbers stay huge, not wrapped.
static float _font_int(double v) {
    if (v >= (double)INT_MAX) return (float)INT_MAX;
    if (v <= (double)INT_MIN) return (float)INT_MIN;
    return (float)(int)v;
}

// Fractions kept, magnitude bounded as for integers (1e40 would be a float infinity).
static float _font_num(double v) {
    const double lim = (double)INT_MAX;
    return (float)(v > lim ? lim : v < -lim ? -lim : v);
}

static void _font_scale(Font* f) {
    // A zero line height would make the scale infinite; keep natural size then.
    f->scale = (f->size != 0.0f && f->line_height > 0.0f) ? f->size / f->line_height : 1.0f;
    f->scaled_line_height = f->scale * f->line_height;
}

static void _font_common(Font* f, const char* p, const char* end, FontFaults* faults) {
    double v[K_COMMON];
    std::string bad;
    if (!_font_values(p, end, _font_common_keys, _font_common_size, K_COMMON, v, &bad)) {
        faults->common = true;
        if (faults->first.empty()) faults->first = bad;
        return;
    }
    f->line_height = _font_int(v[K_LINE_HEIGHT]);
    f->base = _font_int(v[K_BASE]);
    f->page_w = _font_int(v[K_SCALE_W]);
    f->page_h = _font_int(v[K_SCALE_H]);
}

static void _font_char(Font* f, const char* p, const char* end, FontFaults* faults) {
    double v[K_CHAR];
    std::string bad;
    bool ok = _font_values(p, end, _font_char_keys, _font_char_size, K_CHAR, v, &bad);
    int id = (int)_font_int(v[K_ID]);
    if (ok && id == 0) return;
    if (ok && (id < 1 || id >= FONT_GLYPHS)) {
        KEL_LOG("font_parse", "glyph id %d out of range in %s\n", id, f->path);
        return;
    }
    if (!ok) {
        KEL_LOG("font_parse", "glyph refused in %s: %s\n", f->path, bad.c_str());
        if (faults->glyphs++ == 0 && faults->first.empty()) faults->first = bad;
        return;
    }
    float* r = f->rect[id];
    float* m = f->metrics[id];
    r[0] = _font_int(v[K_X]);
    r[1] = _font_int(v[K_Y]);
    r[2] = _font_int(v[K_WIDTH]);
    r[3] = _font_int(v[K_HEIGHT]);
    m[0] = _font_int(v[K_XOFFSET]);
    m[1] = _font_int(v[K_YOFFSET]);
    m[2] = _font_num(v[K_XADVANCE]);
    m[3] = _font_num(v[K_HEIGHT]);
}

// Lines are split at single spaces; the first token names the line, the rest are
// key=value pairs (tokens without "=" are ignored). Only common and char lines count.
static void _font_line(Font* f, const char* p, const char* end, FontFaults* faults) {
    const char* sp = (const char*)memchr(p, ' ', end - p);
    const char* kind_end = sp ? sp : end;
    size_t klen = kind_end - p;
    const char* rest = sp ? sp + 1 : end;
    if (klen == 6 && !memcmp(p, "common", 6))
        _font_common(f, rest, end, faults);
    else if (klen == 4 && !memcmp(p, "char", 4))
        _font_char(f, rest, end, faults);
}

static void _font_clear(Font* f) {
    memset(f->rect, 0, sizeof f->rect);
    memset(f->metrics, 0, sizeof f->metrics);
    f->line_height = f->base = f->page_w = f->page_h = 0.0f;
}

// Another size of the same descriptor takes the glyphs of its last parse.
static void _font_copy(Font* f, const Font* src) {
    memcpy(f->rect, src->rect, sizeof f->rect);
    memcpy(f->metrics, src->metrics, sizeof f->metrics);
    f->line_height = src->line_height;
    f->base = src->base;
    f->page_w = src->page_w;
    f->page_h = src->page_h;
    f->file_time = src->file_time;
    _font_scale(f);
}

void font_parse(int font) {
    Font* f = font > 0 ? _font(font) : nullptr;
    if (!f) return;
    f->file_time = (time_t)driver_file_mtime(f->path);
    _fonts->parsed[f->path] = font;
    _fonts->parses++;
    // Glyphs dropped from a changed descriptor must not survive the re-read.
    _font_clear(f);
    _font_scale(f);
    struct stat st;
    if (stat(f->path, &st) != 0 || !S_ISREG(st.st_mode)) {
        KEL_LOG("font_parse", "unreadable font descriptor %s\n", f->path);
        return;
    }
    if (st.st_size > FONT_FILE_MAX) {
        KEL_LOG("font_parse", "font descriptor %s too large (%lld bytes, max %d)\n", f->path,
                (long long)st.st_size, (int)FONT_FILE_MAX);
        log_warn("font descriptor too large (over %d bytes): %s", (int)FONT_FILE_MAX, f->path);
        return;
    }
    std::string text = driver_file_read(f->path);
    if (text.empty()) {
        KEL_LOG("font_parse", "empty font descriptor %s\n", f->path);
        return;
    }
    FontFaults faults = {0, std::string(), false};
    const char* p = text.data();
    const char* stop = p + text.size();
    while (p < stop) {
        const char* end = (const char*)memchr(p, '\n', stop - p);
        if (!end) end = stop;
        const char* line_end = end > p && end[-1] == '\r' ? end - 1 : end;
        _font_line(f, p, line_end, &faults);
        p = end + 1;
    }
    if (faults.common) {
        // Without a usable line height nothing can be placed: the font draws nothing.
        KEL_LOG("font_parse", "font %s refused: common %s\n", f->path, faults.first.c_str());
        log_warn("font refused, bad common line (%s): %s", faults.first.c_str(), f->path);
        _font_clear(f);
    } else if (faults.glyphs) {
        log_warn("font %s: %d glyph line(s) refused, the first for %s", f->path, faults.glyphs,
                 faults.first.c_str());
    }
    _font_scale(f);
}

int font_parse_count() { return _fonts ? _fonts->parses : 0; }

// The descriptor's latest parse when it is still current, else a fresh one.
static void _font_read(int font) {
    Font* f = _font(font);
    auto it = _fonts->parsed.find(f->path);
    if (it != _fonts->parsed.end() && it->second != font) {
        const Font* src = _font(it->second);
        if (src && src->file_time == (time_t)driver_file_mtime(f->path)) {
            _font_copy(f, src);
            return;
        }
    }
    font_parse(font);
}

void font_reload_auto() {
    if (!_fonts) return;
    time_t now = time(nullptr);
    if (now == _fonts->reload_time) return;
    _fonts->reload_time = now;
    for (size_t i = 1; i < _fonts->fonts.size(); i++) {
        Font& f = _fonts->fonts[i];
        if (!f.path[0]) continue;
        time_t t = (time_t)driver_file_mtime(f.path);
        // Files changed within the last second may still be being written.
        if (t > f.file_time && t < now - 1) {
            KEL_LOG("font_reload_auto", "reloading font %s\n", f.path);
            _font_read((int)i);
        }
    }
}

/* ---- layout and measuring ---- */

static bool _font_emit(FontLines* out, int start, int end, float width) {
    FontLine& l = out->line[out->count++];
    l.start = start;
    l.end = end;
    l.width = width < (float)INT_MAX ? (int)width : INT_MAX;  // huge advances stay defined
    return out->count < FONT_LINES_MAX;
}

void font_layout(int font, const char* text, float wrap, FontLines* out) {
    out->count = 0;
    const Font* f = font_get(font);
    if (!f || !text) return;
    const float s = f->scale;
    int start = 0;
    float width = 0.0f;
    int space = -1;  // last space of the current line
    float space_width = 0.0f;
    for (int i = 0;; i++) {
        unsigned char c = (unsigned char)text[i];
        if (c == '\n' || c == 0) {
            if (!_font_emit(out, start, i, width) || c == 0) return;
            start = i + 1;
            width = 0.0f;
            space = -1;
            continue;
        }
        float adv = s * f->metrics[c][2];
        // A character alone on its line stays there even when wider than the wrap.
        if (wrap > 0.0f && width + adv > wrap && i > start) {
            if (c == ' ') {
                // The overflowing space is the break itself: no line starts with it.
                if (!_font_emit(out, start, i, width)) return;
            } else if (space >= 0) {
                if (!_font_emit(out, start, space, space_width)) return;
                i = space;  // resume after the space
            } else {
                if (!_font_emit(out, start, i, width)) return;
                i--;  // resume at this character
            }
            start = i + 1;
            width = 0.0f;
            space = -1;
            continue;
        }
        if (c == ' ') {
            space = i;
            space_width = width;
        }
        width += adv;
    }
}

float font_width(int font, const char* text) {
    const Font* f = font_get(font);
    if (!f || !text) return 0.0f;
    float best = 0.0f, width = 0.0f;
    for (const unsigned char* p = (const unsigned char*)text;; p++) {
        if (*p == '\n' || *p == 0) {
            if (width > best) best = width;
            if (!*p) return best;
            width = 0.0f;
        } else {
            width += f->scale * f->metrics[*p][2];
        }
    }
}

float font_height(int font, const char* text, float wrap) {
    const Font* f = font_get(font);
    if (!f) return 0.0f;
    if (!text || wrap == 0.0f) return f->scaled_line_height;
    static FontLines lines;
    font_layout(font, text, wrap, &lines);
    return lines.count * f->scaled_line_height;
}

/* ---- drawing ---- */

static void _font_flush(const Font* f, int glyphs) {
    if (!glyphs) return;
    glBindTexture(GL_TEXTURE_2D, gfx_tex_gl_id(f->texture));
    glVertexPointer(2, GL_FLOAT, 0, _pos);
    glTexCoordPointer(2, GL_FLOAT, 0, _tex);
    glDrawArrays(GL_TRIANGLES, 0, glyphs * VERTS_PER_GLYPH);
    gfx_counts_add(1, 2L * glyphs);
}

// Appends the six vertices of one glyph quad: (TL, TR, BL) and (BL, TR, BR).
static void _font_quad(int glyph, const float d[4], const float t[4]) {
    float x0 = d[0], y0 = d[1], x1 = d[0] + d[2], y1 = d[1] + d[3];
    float u0 = t[0], v0 = t[1], u1 = t[0] + t[2], v1 = t[1] + t[3];
    float p[12] = {x0, y0, x1, y0, x0, y1, x0, y1, x1, y0, x1, y1};
    float q[12] = {u0, v0, u1, v0, u0, v1, u0, v1, u1, v0, u1, v1};
    memcpy(_pos + glyph * 12, p, sizeof p);
    memcpy(_tex + glyph * 12, q, sizeof q);
}

static void _font_draw_line(const Font* f, const char* text, const FontLine& line, float x,
                            float y) {
    if (!gfx_tex_gl_id(f->texture)) return;  // no page: blocks of nothing, not of white
    const float s = f->scale;
    const float pw = f->page_w > 0.0f ? f->page_w : 1.0f;
    const float ph = f->page_h > 0.0f ? f->page_h : 1.0f;
    float pen = x;
    int glyphs = 0;
    for (int i = line.start; i < line.end; i++) {
        unsigned char c = (unsigned char)text[i];
        const float* r = f->rect[c];
        const float* m = f->metrics[c];
        float d[4] = {pen + s * m[0], y + s * m[1], s * r[2], s * r[3]};
        float t[4] = {r[0] / pw, r[1] / ph, r[2] / pw, r[3] / ph};
        pen += s * m[2];
        if (r[2] <= 0.0f || r[3] <= 0.0f || !gfx_clip(d, t)) continue;
        _font_quad(glyphs++, d, t);
        if (glyphs == GLYPHS_PER_DRAW) {
            _font_flush(f, glyphs);
            glyphs = 0;
        }
    }
    _font_flush(f, glyphs);
}

void font_draw(int font, const char* text, int align, float x, float y, float wrap) {
    const Font* f = font_get(font);
    if (!f || !text) return;
    static FontLines lines;
    font_layout(font, text, wrap, &lines);
    for (int i = 0; i < lines.count; i++) {
        const FontLine& line = lines.line[i];
        float left = wrap != 0.0f ? x + (align + 1) * (wrap - line.width) * 0.5f : x;
        float box[4] = {left, y, (float)line.width, f->scale * f->line_height};
        if (gfx_clip(box, nullptr)) _font_draw_line(f, text, line, left, y);
        y += f->scaled_line_height;
    }
}
