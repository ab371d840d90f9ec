// kel_font: bitmap fonts, layout, measuring, drawing.
#include "util/kel_font.h"

#include <GLES/gl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

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
    font_parse(index);
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
        if (*name && driver_data_exists(file.c_str())) {
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
    return _font_add(key, name, path, gfx_tex_load(name), size);
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

// Through var's conversions, which saturate instead of overflowing on huge values.
static int _font_int(const std::string& v) { return var(v.c_str()).to_int(); }
static float _font_num(const std::string& v) { return var(v.c_str()).to_float(); }

static void _font_common(Font* f, std::map<std::string, std::string>& kv) {
    f->line_height = (float)_font_int(kv["lineHeight"]);
    f->base = (float)_font_int(kv["base"]);
    f->page_w = (float)_font_int(kv["scaleW"]);
    f->page_h = (float)_font_int(kv["scaleH"]);
    // A zero line height would make the scale infinite; keep natural size then.
    f->scale = (f->size != 0.0f && f->line_height > 0.0f) ? f->size / f->line_height : 1.0f;
    f->scaled_line_height = f->scale * f->line_height;
}

static void _font_char(Font* f, std::map<std::string, std::string>& kv) {
    int id = _font_int(kv["id"]);
    if (id == 0) return;
    if (id < 1 || id >= FONT_GLYPHS) {
        KEL_LOG("font_parse", "glyph id %d out of range in %s\n", id, f->path);
        return;
    }
    float* r = f->rect[id];
    float* m = f->metrics[id];
    r[0] = (float)_font_int(kv["x"]);
    r[1] = (float)_font_int(kv["y"]);
    r[2] = (float)_font_int(kv["width"]);
    r[3] = (float)_font_int(kv["height"]);
    m[0] = (float)_font_int(kv["xoffset"]);
    m[1] = (float)_font_int(kv["yoffset"]);
    m[2] = _font_num(kv["xadvance"]);
    m[3] = _font_num(kv["height"]);
}

// Splits one line at single spaces; the first token names the line, the rest are
// key=value pairs (tokens without "=" are ignored).
static void _font_line(Font* f, const std::string& line) {
    std::map<std::string, std::string> kv;
    std::string kind;
    size_t pos = 0;
    bool first = true;
    while (pos <= line.size()) {
        size_t end = line.find(' ', pos);
        if (end == std::string::npos) end = line.size();
        std::string tok = line.substr(pos, end - pos);
        if (first) {
            kind = tok;
            first = false;
        } else {
            size_t eq = tok.find('=');
            if (eq != std::string::npos) kv[tok.substr(0, eq)] = tok.substr(eq + 1);
        }
        pos = end + 1;
    }
    if (kind == "common")
        _font_common(f, kv);
    else if (kind == "char")
        _font_char(f, kv);
}

void font_parse(int font) {
    Font* f = font > 0 ? _font(font) : nullptr;
    if (!f) return;
    f->file_time = (time_t)driver_file_mtime(f->path);
    std::string text = driver_file_read(f->path);
    if (text.empty()) {
        KEL_LOG("font_parse", "empty font descriptor %s\n", f->path);
        return;
    }
    // Glyphs dropped from a changed descriptor must not survive the re-read.
    memset(f->rect, 0, sizeof f->rect);
    memset(f->metrics, 0, sizeof f->metrics);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        size_t len = end - pos;
        if (len && text[end - 1] == '\r') len--;
        _font_line(f, text.substr(pos, len));
        pos = end + 1;
    }
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
            font_parse((int)i);
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
