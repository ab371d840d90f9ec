#include "src/mods_misc/mods_console.h"

#include <GLES/gl.h>

#include <algorithm>
#include <map>
#include <string>

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_base.h"
#include "src/mods_misc/mods_restart.h"
#include "util/kel_driver-input.h"
#include "util/kel_driver.h"
#include "util/kel_font.h"
#include "util/kel_gfx.h"

// The game's font, used only where kelgame's own is missing.
#define MODS_CONSOLE_FONT "fonts/dejavu"
// Latin-1 middle dot: the bundled font draws one byte per glyph.
#define MODS_CONSOLE_HINT "F5 / Back+Start restart \xb7 Ctrl+Q quit"

// Controller buttons of the restart chord (SDL's numbers), as bits of a held mask.
enum { MODS_CONSOLE_BACK = 4, MODS_CONSOLE_START = 6 };
enum { MODS_CONSOLE_CHORD = (1u << MODS_CONSOLE_BACK) | (1u << MODS_CONSOLE_START) };

struct ModsConsole {
    int open;
    int failed;  // the script had failed at the last paint
    std::map<int, unsigned> held;  // controller instance -> chord buttons held down
};

static ModsConsole* _mods_console = nullptr;

void mods_console_init() {
    if (!_mods_console) _mods_console = new ModsConsole();
}

void mods_console_deinit() {
    delete _mods_console;
    _mods_console = nullptr;
}

int mods_console_open() { return _mods_console && _mods_console->open; }

static bool _mods_console_failed(Game* g) {
    ModsBase* mod = g->mod;
    return mod && mod->overrides(ModsBase::OP_IS_OKAY) && !mod->is_okay();
}

static void _mods_console_restart(Game* g) {
    ModsConsole* c = _mods_console;
    c->open = 0;
    c->failed = 0;  // a restart that fails again opens it again
    mods_restart(g, 1);
}

// Back and Start held together on one controller: a player without a keyboard has
// that for F5. Both buttons still reach a running script.
static int _mods_console_pad(Game* g, const Event& e) {
    ModsConsole* c = _mods_console;
    if (e.button != MODS_CONSOLE_BACK && e.button != MODS_CONSOLE_START) return 0;
    unsigned& held = c->held[e.device];
    unsigned bit = 1u << e.button;
    if (e.type == EVT_JOYUP) {
        held &= ~bit;
        return 0;
    }
    held |= bit;
    if (held != MODS_CONSOLE_CHORD || !(c->open || _mods_console_failed(g))) return 0;
    _mods_console_restart(g);
    return 1;
}

int mods_console_key(Game* g, const Event& e) {
    ModsConsole* c = _mods_console;
    if (!c || !g) return 0;
    if (e.type == EVT_JOYDOWN || e.type == EVT_JOYUP) return _mods_console_pad(g, e);
    if (e.type != EVT_KEYDOWN) return 0;
    // The event's own modifier bits: a burst of queued keys still carries them.
    if (e.key == DRIVER_KEY_BACKQUOTE && (e.button & DRIVER_MOD_CTRL)) {
        c->open = !c->open;
        return 1;
    }
    if (e.key == DRIVER_KEY_F1 + 4 && (c->open || _mods_console_failed(g))) {
        _mods_console_restart(g);
        return 1;
    }
    return 0;
}

// kelgame's own font, so the console reads whatever font the game ships or lacks:
// share/kelgame beside the program (the build tree) or one up (an install: bin/ and
// share/kelgame/). Looked up once.
static const std::string& _mods_console_font_path() {
    static std::string path;
    static bool looked = false;
    if (looked) return path;
    looked = true;
    std::string exe = game_exe_dir();
    if (exe.empty()) return path;
    for (const char* rel : {"/share/kelgame/", "/../share/kelgame/"}) {
        std::string p = exe + rel + "fonts/dejavu.fnt";
        if (driver_file_exists(p.c_str())) return path = p;
    }
    return path;
}

int mods_console_font(int px) {
    const std::string& own = _mods_console_font_path();
    int font = own.empty() ? 0 : font_load_file(own.c_str(), px);
    return font > 0 ? font : font_load(MODS_CONSOLE_FONT, px);
}

// Premultiplied black at alpha a over a rectangle: darkens what is below.
static void _mods_console_dim(float x, float y, float w, float h, int a) {
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glColor4ub(0, 0, 0, (GLubyte)a);
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    float xy[8] = {x, y, x + w, y, x, y + h, x + w, y + h};
    glVertexPointer(2, GL_FLOAT, 0, xy);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    gfx_counts_add(1, 2);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}

static void _mods_console_text(int font, const char* text, uint32_t colour, float x, float y,
                               float wrap) {
    glColor4ub((colour >> 16) & 255, (colour >> 8) & 255, colour & 255, 255);
    font_draw(font, text, -1, x, y, wrap);
}

// The band at the bottom of the window, newest line lowest, the hint line under it;
// in window pixels, whatever view the script had.
static void _mods_console_draw(ModsAPI* api, int w, int h) {
    float px = (float)std::max(9, std::min(28, h / 24));
    float pad = px / 3, wrap = (float)w - 2 * pad, top_max = (float)h * 0.55f;
    int font = mods_console_font((int)px);
    // Without the font the band still shows, with room for the lines it would hold.
    const Font* f = font > 0 ? font_get(font) : nullptr;
    float line = f ? f->scaled_line_height : px;
    // Lay out from the bottom up until the band is full.
    float y = (float)h - pad - line;  // the hint's row
    size_t shown = 0;
    for (const std::string& s : api->console_lines) {
        float lh = f ? font_height(font, s.c_str(), wrap) : line;
        if (y - lh < top_max) break;
        y -= lh;
        shown++;
    }
    float top = y - pad;
    _mods_console_dim(0, top, (float)w, (float)h - top, 200);
    float ty = (float)h - pad - line;
    _mods_console_text(font, MODS_CONSOLE_HINT, 0xffd060, pad, ty, 0);
    for (size_t i = 0; i < shown; i++) {
        const std::string& s = api->console_lines[i];
        ty -= f ? font_height(font, s.c_str(), wrap) : line;
        bool error = s.compare(0, 9, "kelgame: ") == 0;
        _mods_console_text(font, s.c_str(), error ? 0xff8070 : 0xe8e8e8, pad, ty, wrap);
    }
    glColor4ub(255, 255, 255, 255);
}

void mods_console_paint(Game* g) {
    ModsConsole* c = _mods_console;
    if (!c || !g || !g->api || !gfx_ready()) return;
    bool failed = _mods_console_failed(g);
    if (failed && !c->failed) c->open = 1;
    if (!failed && c->failed) c->open = 0;  // a restart of "-crash restart" ended the failure
    c->failed = failed;
    if (!c->open) return;
    gfx_batch_flush();
    int w = 0, h = 0;
    GfxView saved = gfx_view_window();
    driver_screen_size_get(&w, &h);
    _mods_console_draw(g->api, w, h);
    gfx_view_restore(saved);
}
