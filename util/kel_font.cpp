#include "util/kel_font.h"

// Placeholders until the font unit lands: no font is ever found.
void font_init() {}
void font_deinit() {}
int font_load(const char*, int) { return 0; }
const Font* font_get(int) { return nullptr; }
void font_parse(int) {}
void font_reload_auto() {}
void font_layout(int, const char*, float, FontLines* out) { out->count = 0; }
float font_width(int, const char*) { return 0.0f; }
float font_height(int, const char*, float) { return 0.0f; }
void font_draw(int, const char*, int, float, float, float) {}
