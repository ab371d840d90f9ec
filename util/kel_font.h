// kel_font: bitmap fonts (text BMFont descriptors), layout, measuring, drawing.
// (Placeholder interface; the font unit fills it in.)
#ifndef KEL_FONT_H
#define KEL_FONT_H

void font_init();
void font_deinit();
int font_load(const char* name, int size);
void font_reload_auto();
float font_width(int font, const char* text);
float font_height(int font, const char* text, float wrap);
void font_draw(int font, const char* text, int align, float x, float y, float wrap);

#endif
