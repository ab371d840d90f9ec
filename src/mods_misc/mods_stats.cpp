#include "src/mods_misc/mods_stats.h"

#include <stdio.h>
#include <time.h>

#include <GLES/gl.h>

#include <algorithm>
#include <vector>

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_base.h"
#include "src/mods_misc/mods_console.h"
#include "util/kel_driver-audio.h"
#include "util/kel_driver-input.h"
#include "util/kel_driver.h"
#include "util/kel_font.h"
#include "util/kel_gfx.h"

// Frames kept: the graph's 120, and at least 2 s of them for the percentile at up to
// 256 frames a second; older ones are overwritten.
enum { MODS_STATS_RING = 512, MODS_STATS_GRAPH = 120 };
static const double MODS_STATS_SPAN = 2.0;       // seconds of the percentile and fps
static const double MODS_STATS_BUDGET = 1 / 60.0;  // the line of the graph

struct ModsStatsFrame {
    double end;  // clock at the frame's end
    double ms;   // whole frame
    double part[MODS_STATS_PARTS];
};

struct ModsStats {
    int shown;
    ModsStatsFrame ring[MODS_STATS_RING];
    unsigned count;                   // frames ended so far
    double part[MODS_STATS_PARTS];    // of the frame running
    double last_end;                  // < 0 before the first frame
    GfxCounts base;                   // counters at the running frame's start
    long commands, draws, tris;       // the running frame's scene, at scene_end
    long last_commands, last_draws, last_tris;  // the last whole frame's
    int scene_ended;
    std::vector<GTri> tris_buf;       // the overlay's panel and graph, made once
    std::vector<float> ms_buf;        // for the percentile
};

static ModsStats* _mods_stats = nullptr;

void mods_stats_init(int shown) {
    if (!_mods_stats) _mods_stats = new ModsStats();
    ModsStats* s = _mods_stats;
    s->shown = shown;
    s->last_end = -1;
    s->base = gfx_counts();
}

void mods_stats_deinit() {
    delete _mods_stats;
    _mods_stats = nullptr;
}

double mods_stats_now() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

void mods_stats_add(int part, double seconds) {
    if (_mods_stats && part >= 0 && part < MODS_STATS_PARTS) _mods_stats->part[part] += seconds;
}

int mods_stats_shown() { return _mods_stats && _mods_stats->shown; }

int mods_stats_key(const Event& e) {
    if (!_mods_stats || e.type != EVT_KEYDOWN) return 0;
    if (e.key != DRIVER_KEY_F1 + 2 || !(e.button & DRIVER_MOD_CTRL)) return 0;
    _mods_stats->shown = !_mods_stats->shown;
    return 1;
}

void mods_stats_scene_end(Game* g) {
    ModsStats* s = _mods_stats;
    if (!s) return;
    GfxCounts now = gfx_counts();
    s->draws = now.draws - s->base.draws;
    s->tris = now.tris - s->base.tris;
    s->commands = 0;
    if (g && g->api)
        for (const DrawCmd& c : g->api->draw_list) s->commands += c.type != DRAW_VIEW;
    s->scene_ended = 1;
}

void mods_stats_frame_end() {
    ModsStats* s = _mods_stats;
    if (!s) return;
    double now = mods_stats_now();
    if (!s->scene_ended) mods_stats_scene_end(nullptr);  // headless: nothing drawn
    s->last_commands = s->commands;
    s->last_draws = s->draws;
    s->last_tris = s->tris;
    s->scene_ended = 0;
    s->base = gfx_counts();
    if (s->last_end >= 0) {
        ModsStatsFrame& f = s->ring[s->count % MODS_STATS_RING];
        f.end = now;
        f.ms = (now - s->last_end) * 1000;
        for (int i = 0; i < MODS_STATS_PARTS; i++) f.part[i] = s->part[i] * 1000;
        s->count++;
    }
    for (double& p : s->part) p = 0;
    s->last_end = now;
}

// The frames of the last two seconds: their number, fps and 99th percentile.
struct ModsStatsSpan {
    int frames;
    double fps, p99;
};

static ModsStatsSpan _mods_stats_span(ModsStats* s) {
    ModsStatsSpan r = {0, 0, 0};
    if (!s->count) return r;
    const ModsStatsFrame& last = s->ring[(s->count - 1) % MODS_STATS_RING];
    s->ms_buf.clear();
    double total = 0;
    unsigned n = std::min<unsigned>(s->count, MODS_STATS_RING);
    for (unsigned i = 1; i <= n; i++) {
        const ModsStatsFrame& f = s->ring[(s->count - i) % MODS_STATS_RING];
        if (last.end - f.end >= MODS_STATS_SPAN) break;
        s->ms_buf.push_back((float)f.ms);
        total += f.ms;
    }
    r.frames = (int)s->ms_buf.size();
    r.fps = total > 0 ? r.frames * 1000.0 / total : 0;
    // the value 99% of the frames do not exceed (nearest rank)
    size_t k = (size_t)(0.99 * (r.frames - 1) + 0.5);
    std::nth_element(s->ms_buf.begin(), s->ms_buf.begin() + k, s->ms_buf.end());
    r.p99 = s->ms_buf[k];
    return r;
}

var mods_stats_get(Game* g) {
    ModsStats* s = _mods_stats;
    var d(4, 0);
    if (!s) return d;
    ModsStatsSpan span = _mods_stats_span(s);
    ModsStatsFrame none = {};
    const ModsStatsFrame& f = s->count ? s->ring[(s->count - 1) % MODS_STATS_RING] : none;
    d.set("fps", span.fps);
    d.set("frame_ms", f.ms);
    d.set("frame_p99_ms", span.p99);
    d.set("script_ms", f.part[MODS_STATS_SCRIPT]);
    d.set("draw_ms", f.part[MODS_STATS_DRAW]);
    d.set("wait_ms", f.part[MODS_STATS_WAIT]);
    d.set("commands", (double)s->last_commands);
    d.set("draw_calls", (double)s->last_draws);
    d.set("triangles", (double)s->last_tris);
    d.set("texture_bytes", (double)gfx_mem_used());
    d.set("texture_budget", (double)KEL_GFX_MEMMAX);
    d.set("voices", (double)_driver_audio_voices().size());
    d.set("lua_bytes", (double)(g && g->mod ? g->mod->heap_bytes() : 0));
    d.set("overlay", s->shown != 0);
    return d;
}

var mods_stats_call(Game* g, const std::string& name, var args) {
    (void)args;
    if (name == "stats:get") return mods_stats_get(g);
    return var();
}

/* ---- the overlay ---- */

// A rectangle as two triangles of premultiplied colour 0xAARRGGBB, untextured.
static void _mods_stats_rect(std::vector<GTri>& out, float x, float y, float w, float h,
                             uint32_t argb) {
    GVertex v = {0, 0, 0, 0, (uint8_t)(argb >> 16), (uint8_t)(argb >> 8), (uint8_t)argb,
                 (uint8_t)(argb >> 24)};
    GVertex a = v, b = v, c = v, d = v;
    a.x = x, a.y = y;
    b.x = x + w, b.y = y;
    c.x = x, c.y = y + h;
    d.x = x + w, d.y = y + h;
    out.push_back(GTri{{a, b, c}});
    out.push_back(GTri{{c, b, d}});
}

static void _mods_stats_flat(const std::vector<GTri>& t) {
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    const char* base = (const char*)t.data();
    glVertexPointer(2, GL_FLOAT, sizeof(GVertex), base + 8);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(GVertex), base + 16);
    glDrawArrays(GL_TRIANGLES, 0, (GLsizei)(3 * t.size()));
    gfx_counts_add(1, (long)t.size());
    glDisableClientState(GL_COLOR_ARRAY);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}

static void _mods_stats_draw(Game* g, ModsStats* s, int wh) {
    float px = (float)std::max(9, std::min(16, wh / 40));
    int font = mods_console_font((int)px);
    const Font* fo = font > 0 ? font_get(font) : nullptr;
    float line = fo ? fo->scaled_line_height : px;
    float pad = px / 3, bar = std::max(1.0f, px / 6);
    float gw = bar * MODS_STATS_GRAPH, gh = px * 2.5f;
    float w = std::max(gw, px * 19) + 2 * pad;
    float gy = pad + line;  // the graph under the first line
    float h = gy + gh + pad + 5 * line + pad;

    var d = mods_stats_get(g);
    std::vector<GTri>& t = s->tris_buf;
    t.clear();
    _mods_stats_rect(t, 0, 0, w, h, 0xd0000000);
    // Bars of the last frames, newest right; full height is twice the budget.
    double scale = gh / (2 * MODS_STATS_BUDGET * 1000);
    unsigned n = std::min<unsigned>(s->count, MODS_STATS_GRAPH);
    for (unsigned i = 0; i < n; i++) {
        const ModsStatsFrame& f = s->ring[(s->count - 1 - i) % MODS_STATS_RING];
        float bh = (float)std::min((double)gh, f.ms * scale);
        uint32_t c = f.ms > MODS_STATS_BUDGET * 1000 + 0.5 ? 0xffe05040 : 0xff50c060;
        _mods_stats_rect(t, pad + gw - (i + 1) * bar, gy + gh - bh, bar, bh, c);
    }
    _mods_stats_rect(t, pad, gy + gh / 2, gw, 1, 0xffffd060);  // 16.7 ms
    _mods_stats_flat(t);

    char text[5][96];
    snprintf(text[0], sizeof text[0], "%.1f fps  %.2f ms  p99 %.2f ms", d["fps"].to_float(),
             d["frame_ms"].to_float(), d["frame_p99_ms"].to_float());
    snprintf(text[1], sizeof text[1], "script %.2f  draw %.2f  wait %.2f ms",
             d["script_ms"].to_float(), d["draw_ms"].to_float(), d["wait_ms"].to_float());
    snprintf(text[2], sizeof text[2], "%ld commands  %ld calls  %ld tris", s->last_commands,
             s->last_draws, s->last_tris);
    snprintf(text[3], sizeof text[3], "textures %.1f / %.0f MiB",
             d["texture_bytes"].to_float() / 1048576.0, KEL_GFX_MEMMAX / 1048576.0);
    snprintf(text[4], sizeof text[4], "voices %d  Lua %.1f MiB", (int)d["voices"].to_float(),
             d["lua_bytes"].to_float() / 1048576.0);
    if (font <= 0) return;
    glColor4ub(240, 240, 240, 255);
    font_draw(font, text[0], -1, pad, pad, 0);
    for (int i = 1; i < 5; i++) font_draw(font, text[i], -1, pad, gy + gh + pad + (i - 1) * line, 0);
    glColor4ub(255, 255, 255, 255);
}

void mods_stats_paint(Game* g) {
    ModsStats* s = _mods_stats;
    if (!s || !s->shown || !gfx_ready()) return;
    gfx_batch_flush();
    int w = 0, h = 0;
    GfxView saved = gfx_view_window();
    driver_screen_size_get(&w, &h);
    _mods_stats_draw(g, s, h);
    gfx_view_restore(saved);
}
