// kel_font: bitmap fonts (text BMFont descriptors), layout, measuring, drawing.
//
// Fonts are cached by "%s:%d" of name and pixel size (0 = natural size); the glyph
// page is the texture of the same name. Text is laid out byte by byte into at most
// FONT_LINES_MAX lines, wrapping at spaces when a wrap width is given.
//
//   font_init();
//   int f = font_load("fonts/dejavu", 24);        // descriptor fonts/dejavu.fnt
//   float w = font_width(f, "Hello"), h = font_height(f, "Hello", 0);
//   font_draw(f, "Hello world", 0, x, y, 200);     // centred in 200 units
#ifndef KEL_FONT_H
#define KEL_FONT_H

#include <time.h>

// A descriptor larger than FONT_FILE_MAX bytes is refused unread; each descriptor is
// read once however many sizes use it (font_parse_count counts the reads).
enum { FONT_GLYPHS = 256, FONT_LINES_MAX = 256, FONT_PATH_MAX = 512, FONT_FILE_MAX = 4 << 20 };

struct Font {
    int index;
    int texture;
    float rect[FONT_GLYPHS][4];     // x, y, w, h in the page
    float metrics[FONT_GLYPHS][4];  // xoffset, yoffset, xadvance, height
    float line_height;
    float base;
    float size;
    float scale;
    float page_w, page_h;
    char path[FONT_PATH_MAX];
    time_t file_time;
    float scaled_line_height;
};

struct FontLine {
    int start, end;  // byte offsets into the text, end exclusive
    int width;
};
struct FontLines {
    int count;
    FontLine line[FONT_LINES_MAX];
};

void font_init();
void font_deinit();
int font_load(const char* name, int size);
// A font from a descriptor file path outside the data area (kelgame's own font); its
// page is the PNG of the same base name beside it.
int font_load_file(const char* path, int size);
// The record of a font index, null when out of range (index 0 is the empty font).
const Font* font_get(int font);
void font_parse(int font);
int font_parse_count();
void font_reload_auto();
void font_layout(int font, const char* text, float wrap, FontLines* out);
float font_width(int font, const char* text);
float font_height(int font, const char* text, float wrap);
// align: -1 left, 0 centred, 1 right within wrap (no effect when wrap is 0).
void font_draw(int font, const char* text, int align, float x, float y, float wrap);

#endif
