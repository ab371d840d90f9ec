// Fuzzes the font descriptor parser through the file it reads: any descriptor parses,
// and laying out, measuring and wrapping text with the result stays in bounds: at most
// the line table's lines, each inside the text, widths never negative.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "util/kel_driver.h"
#include "util/kel_font.h"

static std::string _dir;
static const char* _data_dir() { return _dir.c_str(); }

static void _write(const uint8_t* data, size_t size) {
    FILE* f = fopen((_dir + "/f.fnt").c_str(), "wb");
    if (!f) abort();
    if (size) fwrite(data, 1, size, f);
    fclose(f);
}

static int _setup() {
    driver_verbose_set(0);
    char tmpl[] = "/tmp/kelfuzzfontXXXXXX";
    if (!mkdtemp(tmpl)) abort();
    _dir = tmpl;
    driver_datadir_query_set(_data_dir);
    const char seed[] = "common lineHeight=10\nchar id=97 xadvance=5\n";
    _write((const uint8_t*)seed, sizeof seed - 1);
    font_init();
    int f = font_load("f", 16);
    if (!f) abort();
    return f;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int font = _setup();
    _write(data, size);
    font_parse(font);
    const char* texts[] = {"", "a", "hello world, ab\ncd", "\xff\x01 \x7f  x\n\n"};
    for (const char* t : texts) {
        for (float wrap : {0.0f, 1.0f, 37.5f, 1e30f}) {
            FontLines lines;
            font_layout(font, t, wrap, &lines);
            if (lines.count < 1 || lines.count > FONT_LINES_MAX) abort();
            int len = (int)strlen(t);
            for (int i = 0; i < lines.count; i++) {
                const FontLine& l = lines.line[i];
                if (l.start < 0 || l.end < l.start || l.end > len) abort();
            }
            font_height(font, t, wrap);
            font_draw(font, t, 0, 0, 0, wrap);  // without GL: clipping and layout only
        }
        font_width(font, t);
    }
    return 0;
}
