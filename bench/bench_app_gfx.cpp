// Engine-side cost of one image command: recorded into the API's draw list and replayed
// into the batch, with the batch's GL calls switched off (the GPU is not measured).
// Needs a display (make bench runs it under Xvfb): images are loaded as textures.
#include <benchmark/benchmark.h>
#include <GLES/gl.h>
#include <math.h>
#include <stb/stb_image_write.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <vector>

#include "bench/bench_window.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_misc/mods_view.h"
#include "util/kel_driver-sdl2.h"
#include "util/kel_driver.h"
#include "util/kel_gfx.h"

static ModsAPI* _api;

// Process CPU time: the machine may be shared, wall time would count the waits.
static double cpu_ns() {
    struct timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e9 + ts.tv_nsec;
}

static bool _setup() {
    if (_api) return true;
    _api = bench_window_up("bench_app_gfx", nullptr);
    if (!_api) return false;
    _api->params_set("datadir", var(KEL_SOURCE_DIR "/bench/sprites/love"));
    return gfx_img_load("sprite") != 0;
}

// N sprites at fixed pseudo-random places, a quarter of them rotated: one frame each.
static void BM_ImageRecordReplay(benchmark::State& state) {
    if (!_setup()) {
        state.SkipWithError("no window");
        return;
    }
    const int n = (int)state.range(0);
    std::vector<float> xs(n), ys(n);
    srand(42);
    for (int i = 0; i < n; i++) xs[i] = (float)(rand() % 624), ys[i] = (float)(rand() % 464);
    const std::string name = "sprite";
    gfx_batch_dry_set(1);
    double t0 = cpu_ns();
    for (auto _ : state) {
        _api->clear();
        _api->view(0, 0, 640, 480);
        for (int i = 0; i < n; i++)
            _api->image_draw(name, 0xFFFFFF, 255, xs[i], ys[i], 16, 16, (i & 3) ? 0.0f : 33.0f);
        _api->replay();
    }
    gfx_batch_dry_set(0);
    state.counters["ns_per_sprite"] = cpu_ns() - t0;
    state.counters["ns_per_sprite"] = state.counters["ns_per_sprite"] / ((double)n * state.iterations());
}
BENCHMARK(BM_ImageRecordReplay)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMicrosecond);

// Real GL, a run of one image each: 2,000 sprites alternating normal and additive
// blending make 2,000 flushes a frame, so this is the batch's per-flush GL cost (CPU
// time of this thread).
static void BM_FlushPerRunGL(benchmark::State& state) {
    if (!_setup()) {
        state.SkipWithError("no window");
        return;
    }
    const std::string name = "sprite";
    const int n = 2000;
    for (auto _ : state) {
        _api->clear();
        _api->view(0, 0, 640, 480);
        for (int i = 0; i < n; i++)
            _api->image_draw(name, 0xFFFFFF, (i & 1) ? -255 : 255, (float)(i % 600),
                             (float)(i % 440), 2, 2, 0);
        _api->replay();
        glFinish();
    }
}
BENCHMARK(BM_FlushPerRunGL)->Unit(benchmark::kMillisecond);

// The sprite scene through real GL (Mesa under Xvfb), a frame each, glFinish included:
// 20,000 2 x 2 sprites, a quarter turned, vertices in the batch's 20-byte layout.
// An experiment that does not ship: the batch's 6 vertices per quad with one
// glDrawArrays per 8,192 triangles against 4 vertices per quad with 16-bit indices
// (glDrawElements, same 8,192-triangle runs). Arg 1 keeps every sprite a pixel inside
// the window, so that no vertex needs clipping. Real time is mostly llvmpipe's raster
// threads; CPU time is the calling thread's, where vertex processing and clipping run.
enum { SPRITES_N = 20000, SPRITES_S = 2 };

struct Scene {
    std::vector<float> xs, ys, rot;
};

static Scene _scene(int inside) {
    Scene s;
    srand(42);
    for (int i = 0; i < SPRITES_N; i++) {
        float x = (float)(rand() % 63800) / 100, y = (float)(rand() % 47800) / 100;
        if (inside) x = 1 + x * 636 / 638, y = 1 + y * 476 / 478;
        s.xs.push_back(x), s.ys.push_back(y);
        s.rot.push_back((i & 3) ? 0.0f : (float)(rand() % 360));
    }
    return s;
}

// Corners TL, TR, BL, BR as the replay places them (untrimmed image).
static void _corners(const Scene& s, int i, float px[4], float py[4]) {
    float x = s.xs[i], y = s.ys[i], w = SPRITES_S, h = SPRITES_S;
    if (s.rot[i] == 0) {
        px[0] = px[2] = x, px[1] = px[3] = x + w, py[0] = py[1] = y, py[2] = py[3] = y + h;
        return;
    }
    float cx = x + w / 2, cy = y + h / 2, sn, co;
    sincosf(-s.rot[i] * (float)M_PI / 180.0f, &sn, &co);
    static const float kx[4] = {-0.5f, 0.5f, -0.5f, 0.5f}, ky[4] = {-0.5f, -0.5f, 0.5f, 0.5f};
    for (int k = 0; k < 4; k++) {
        float dx = kx[k] * w, dy = ky[k] * h;
        px[k] = cx + dx * co - dy * sn;
        py[k] = cy + dx * sn + dy * co;
    }
}

static void _arrays(const GVertex* v) {
    const char* base = (const char*)v;
    glEnableClientState(GL_COLOR_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, sizeof(GVertex), base);
    glVertexPointer(2, GL_FLOAT, sizeof(GVertex), base + 8);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(GVertex), base + 16);
}

struct SpriteGL {
    Scene s;
    int indexed;
    uint32_t tex;
    std::vector<GVertex> v;
    std::vector<uint16_t> idx;
};

static void _sprites_frame(SpriteGL& g) {
    const int quads = GBATCH_MAX / 2, per = g.indexed ? 4 : 6;
    static const int order6[6] = {0, 1, 2, 1, 2, 3}, order4[4] = {0, 1, 2, 3};
    const int* order = g.indexed ? order4 : order6;
    static const float us[4] = {0, 1, 0, 1}, vs[4] = {0, 0, 1, 1};
    gfx_clear();
    glBindTexture(GL_TEXTURE_2D, g.tex);
    for (int first = 0; first < SPRITES_N; first += quads) {
        int n = SPRITES_N - first < quads ? SPRITES_N - first : quads;
        for (int q = 0; q < n; q++) {
            float px[4], py[4];
            _corners(g.s, first + q, px, py);
            for (int j = 0; j < per; j++) {
                GVertex& o = g.v[(size_t)q * per + j];
                int c = order[j];
                o.u = us[c], o.v = vs[c], o.x = px[c], o.y = py[c];
                o.r = o.g = o.b = o.a = 255;
            }
        }
        _arrays(g.v.data());
        if (g.indexed)
            glDrawElements(GL_TRIANGLES, n * 6, GL_UNSIGNED_SHORT, g.idx.data());
        else
            glDrawArrays(GL_TRIANGLES, 0, n * 6);
        glDisableClientState(GL_COLOR_ARRAY);
    }
    glFinish();
}

// The measured frames apart from the warm-up (callgrind --toggle-collect='_sprites_loop*'
// counts steady frames only: the first compiles llvmpipe's shaders).
__attribute__((noinline)) static void _sprites_loop(benchmark::State& state, SpriteGL& g) {
    for (auto _ : state) _sprites_frame(g);
}

static void BM_SpritesGL(benchmark::State& state, int indexed) {
    if (!_setup()) {
        state.SkipWithError("no window");
        return;
    }
    SpriteGL g;
    g.s = _scene((int)state.range(0));
    g.indexed = indexed;
    _api->clear();
    _api->view(0, 0, 640, 480);
    _api->replay();  // the projection
    g.tex = gfx_img_gl_id(gfx_img_load("sprite"));
    const int quads = GBATCH_MAX / 2;
    g.v.resize((size_t)quads * 6);
    g.idx.resize((size_t)quads * 6);
    for (int q = 0; q < quads; q++) {
        static const int k[6] = {0, 1, 2, 1, 2, 3};
        for (int j = 0; j < 6; j++) g.idx[(size_t)q * 6 + j] = (uint16_t)(q * 4 + k[j]);
    }
    _sprites_frame(g);
    _sprites_loop(state, g);
}
BENCHMARK_CAPTURE(BM_SpritesGL, arrays6, 0)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SpritesGL, indexed4, 1)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Twelve 4096 x 4096 textures (1 GiB charged; the budget holds three) drawn every
// frame: the three that fit stay, the rest are refused from their size alone, so a
// frame costs lookups, not reloads. Counters: textures that changed during the run
// (must be 0) and texture memory in MiB (at most 256).
static void BM_FrameOverBudget(benchmark::State& state) {
    char dir[] = "/tmp/kel_bench_XXXXXX";
    if (!_setup() || !mkdtemp(dir)) {
        state.SkipWithError("no window or no temporary directory");
        return;
    }
    enum { N = 12, SIDE = 2049 };  // pads to 4096
    std::vector<uint32_t> px((size_t)SIDE * SIDE, 0xFFFFFFFFu);
    std::string d = dir;
    stbi_write_png((d + "/big0.png").c_str(), SIDE, SIDE, 4, px.data(), SIDE * 4);
    for (int i = 1; i < N; i++) {
        std::string cmd = "cp " + d + "/big0.png " + d + "/big" + std::to_string(i) + ".png";
        if (system(cmd.c_str()) != 0) state.SkipWithError("cp failed");
    }
    var saved = _api->params["datadir"];
    _api->params_set("datadir", var(dir));
    std::vector<int> imgs;
    for (int i = 0; i < N; i++) imgs.push_back(gfx_img_load(("big" + std::to_string(i)).c_str()));
    gfx_frame_next();
    auto ids = [&] {
        std::vector<uint32_t> v;
        for (int img : imgs) v.push_back(gfx_tex_get(gfx_img_get(img).texture).gl_id);
        return v;
    };
    std::vector<uint32_t> before = ids();
    for (auto _ : state) {
        for (int i = 0; i < N; i++) gfx_img_load(("big" + std::to_string(i)).c_str());
        gfx_frame_next();
    }
    std::vector<uint32_t> after = ids();
    int changed = 0;
    for (int i = 0; i < N; i++) changed += before[i] != after[i];
    state.counters["changed"] = changed;
    state.counters["tex_MiB"] = gfx_mem_used() / 1048576.0;
    _api->params_set("datadir", saved);
    if (system(("rm -rf " + d).c_str()) != 0) state.SkipWithError("rm failed");
}
BENCHMARK(BM_FrameOverBudget)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
