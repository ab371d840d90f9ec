// Text drawing cost per glyph, GL included (run under Xvfb): layout + draw of 1,000
// glyphs of the bundled font per call. bench/bench_text_love.sh measures LÖVE's
// love.graphics.print on the same font and text for comparison.
#include <GLES/gl.h>
#include <benchmark/benchmark.h>

#include <stdio.h>

#include <string>

#include "util/kel_driver-sdl2.h"
#include "util/kel_driver.h"
#include "util/kel_font.h"
#include "util/kel_gfx.h"

static const int W = 800, H = 600;
static std::string g_data = std::string(KEL_SOURCE_DIR) + "/data";
static const char* data_dir() { return g_data.c_str(); }

// 20 lines of 50 visible glyphs: 1,000 glyphs.
static std::string text_1000() {
    const char* words = "The quick brown fox jumps over the lazy dog. 0123456789 ";
    std::string s;
    for (int line = 0; line < 20; line++) {
        for (int i = 0; i < 50; i++) s += words[(line * 7 + i) % 56];
        if (line < 19) s += '\n';
    }
    return s;
}

// One window for the whole run: SDL video is not restarted between benchmarks.
static bool g_gl;

static bool gl_up() {
    driver_datadir_query_set(data_dir);
    driver_init(DRIVER_INIT_VIDEO | DRIVER_INIT_TIMER);
    driver_video_init(W, H, 640, 480, 240, 160, 0);
    if (!driver_video_window()) {
        fprintf(stderr, "bench_font: %s\n", driver_video_error());
        driver_deinit();
        return false;
    }
    gfx_init();
    gfx_view_size_set(W, H);
    gfx_depth_range_set(-1000, 1000);
    gfx_ortho();
    font_init();
    return true;
}

static void gl_down() {
    font_deinit();
    gfx_deinit();
    driver_deinit();
}

static int glyphs_in(const std::string& s) {
    int n = 0;
    for (char c : s) n += c != '\n' && c != ' ';
    return n;
}

// Layout alone: the CPU part of every draw.
static void BM_FontLayout1000(benchmark::State& state) {
    if (!g_gl) return state.SkipWithError("no window");
    int f = font_load("fonts/dejavu", 14);
    std::string text = text_1000();
    static FontLines lines;
    for (auto _ : state) {
        font_layout(f, text.c_str(), 0, &lines);
        benchmark::DoNotOptimize(lines.count);
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_FontLayout1000);

// One call of 1,000 glyphs finished on the GPU each time.
static void BM_FontDraw1000(benchmark::State& state) {
    if (!g_gl) return state.SkipWithError("no window");
    int f = font_load("fonts/dejavu", 14);
    std::string text = text_1000();
    glColor4ub(255, 255, 255, 255);
    for (auto _ : state) {
        font_draw(f, text.c_str(), -1, 10, 10, 0);
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    state.counters["visible"] = glyphs_in(text);
}
BENCHMARK(BM_FontDraw1000)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A frame of 50 such calls and a buffer swap, the shape of the LÖVE scene.
static void BM_FontFrame50x1000(benchmark::State& state) {
    if (!g_gl) return state.SkipWithError("no window");
    int f = font_load("fonts/dejavu", 14);
    std::string text = text_1000();
    for (auto _ : state) {
        gfx_clear();
        glColor4ub(255, 255, 255, 255);
        for (int i = 0; i < 50; i++) font_draw(f, text.c_str(), -1, (float)(i % 10), (float)i, 0);
        driver_video_swap();
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * 50 * 1000);
}
BENCHMARK(BM_FontFrame50x1000)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    g_gl = gl_up();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_gl) gl_down();
    return 0;
}
