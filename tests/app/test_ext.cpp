// Transitions and screenshots through the extension call, on a real window: frames
// grabbed from draw lists, effects read back pixel by pixel, files read back with
// stb_image.
#include <math.h>
#include <sys/stat.h>

#include <functional>

#include "../engine/gfx_test_util.h"
#include "src/ext_trans/ext_trans.h"
#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "tests/engine/jpeg_test_util.h"

using namespace gfxt;

namespace {

const int W = 640, H = 480;

// The whole back buffer, top row first.
Image frame() {
    Image img = jpgt::blank(W, H, 4);
    glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, img.px.data());
    Image flipped = img;
    for (int y = 0; y < H; y++)
        memcpy(flipped.at(0, y), img.at(0, H - 1 - y), (size_t)W * 4);
    return flipped;
}

struct Rect {
    float x0, y0, x1, y1;
    bool has(float x, float y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};
struct Scene {
    uint32_t bg, fg;
    Rect r;
    uint32_t at(float x, float y) const { return r.has(x, y) ? fg : bg; }
};
// Off-centre rectangles, so a mirrored or flipped frame shows.
const Scene kA = {0x000000, 0xFF0000, {100, 50, 300, 150}};
const Scene kB = {0x0000FF, 0x00FF00, {160, 120, 480, 400}};

class Ext : public ::testing::Test {
protected:
    Game game{};
    ModsAPI* api = nullptr;
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(gl_up(W, H));
        api = new ModsAPI(&game);
        game.api = api;
        ext_trans_init(&game);
    }
    void TearDown() override {
        ext_trans_deinit();
        delete api;
        gl_down();
    }
    std::string call(const char* name, const std::string& arg = "") {
        return api->ext_call(name, arg.c_str());
    }
    void draw(const Scene& s) {
        api->clear();
        api->view(0, 0, W, H);
        api->rect_draw(s.bg, 0, 0, W, H);
        api->rect_draw(s.fg, s.r.x0, s.r.y0, s.r.x1 - s.r.x0, s.r.y1 - s.r.y0);
    }
    // A grid of 10-pixel cells, each its own colour; blue tells the scenes apart.
    void draw_cells(uint32_t blue) {
        api->clear();
        api->view(0, 0, W, H);
        for (int cy = 0; cy < H / 10; cy++)
            for (int cx = 0; cx < W / 10; cx++)
                api->rect_draw((uint32_t)(4 * cx) << 16 | (uint32_t)(5 * cy) << 8 | blue,
                               cx * 10.0f, cy * 10.0f, 10, 10);
    }
    void grab_both(std::function<void()> a, std::function<void()> b) {
        call("trans:init");
        a();
        call("trans:grab0");
        b();
        call("trans:grab1");
        gfx_clear();
    }
    std::string draw_effect(const char* effect, double t) {
        char arg[96];
        snprintf(arg, sizeof arg, "{\"effect\":\"%s\",\"value\":%g}", effect, t);
        return call("trans:draw", arg);
    }
};

int channel(uint32_t rgb, int c) { return (int)(rgb >> (16 - 8 * c)) & 255; }

// Lengths of the runs of equal pixels along a row (dx = 1) or a column (dx = 0).
std::vector<int> runs(Image& img, int fixed, bool row) {
    std::vector<int> out;
    int n = row ? W : H, len = 1;
    for (int i = 1; i < n; i++) {
        unsigned char* a = row ? img.at(i - 1, fixed) : img.at(fixed, i - 1);
        unsigned char* b = row ? img.at(i, fixed) : img.at(fixed, i);
        if (memcmp(a, b, 3)) out.push_back(len), len = 0;
        len++;
    }
    out.push_back(len);
    return out;
}

}  // namespace

TEST_F(Ext, TransitionsAnswerNoneUntilInitAndHeadless) {
    draw(kA);
    EXPECT_EQ(call("trans:ready"), "false");
    for (const char* n : {"trans:grab0", "trans:grab1", "trans:draw"}) EXPECT_EQ(call(n), "null");
    EXPECT_FALSE(lit(W / 2, H / 2));  // nothing drawn before init

    std::string log = log_of([&] { EXPECT_EQ(call("trans:init"), "null"); });
    EXPECT_EQ(count_of(log, "create_fbo success"), 3) << log;
    EXPECT_EQ(call("trans:ready"), "true");
    log = log_of([&] { call("trans:init"); });
    EXPECT_EQ(count_of(log, "trans:init"), 1);
    EXPECT_EQ(count_of(log, "create_fbo"), 0);  // made once only

    ext_trans_deinit();
    game.headless = 1;
    ext_trans_init(&game);
    for (const char* n : {"trans:init", "trans:ready", "trans:grab0", "trans:draw"})
        EXPECT_EQ(call(n), "null") << n;
}

// Each layer is a slot's frame scaled by k about the centre at opacity a, over black.
TEST_F(Ext, EffectsBlendAndScaleTheGrabbedFrames) {
    struct {
        const char* effect;
        double t, a_a, k_a, a_b, k_b;
    } cases[] = {
        {"fade", 0, 1, 1, 0, 1},       {"fade", 1, 1, 1, 1, 1},
        {"fade", 0.5, 1, 1, 0.5, 1},   {"zoom", 0.5, 0.5, 2, 0.5, 0.75},
        {"zoom", 0.25, 0.75, 1.5, 0.25, 0.625}, {"bzoom", 0.5, 0.5, 0.75, 0.5, 1.5},
        {"bzoom", 0.2, 0.8, 0.9, 0.2, 1.8},
    };
    grab_both([&] { draw(kA); }, [&] { draw(kB); });
    const float cx = W / 2, cy = H / 2;
    for (auto& c : cases) {
        gfx_clear();
        EXPECT_EQ(draw_effect(c.effect, c.t), "null");
        Image img = frame();
        // edges of both quads and both rectangles on the screen, to keep clear of
        std::vector<float> ex, ey;
        for (auto layer : {std::make_pair(&kA, c.k_a), std::make_pair(&kB, c.k_b)}) {
            float k = (float)layer.second;
            const Rect& r = layer.first->r;
            for (float x : {0.0f, (float)W, r.x0, r.x1}) ex.push_back(cx + (x - cx) * k);
            for (float y : {0.0f, (float)H, r.y0, r.y1}) ey.push_back(cy + (y - cy) * k);
        }
        auto near = [](const std::vector<float>& e, float v) {
            for (float x : e)
                if (fabsf(x - v) < 3) return true;
            return false;
        };
        int bad = 0;
        std::string first;
        for (int y = 2; y < H; y += 8)
            for (int x = 2; x < W; x += 8) {
                float px = x + 0.5f, py = y + 0.5f;
                if (near(ex, px) || near(ey, py)) continue;
                double want[3] = {0, 0, 0};
                for (auto layer : {std::make_tuple(&kA, c.a_a, c.k_a),
                                   std::make_tuple(&kB, c.a_b, c.k_b)}) {
                    float k = (float)std::get<2>(layer), a = (float)std::get<1>(layer);
                    float sx = cx + (px - cx) / k, sy = cy + (py - cy) / k;
                    if (sx < 0 || sx >= W || sy < 0 || sy >= H) continue;
                    uint32_t src = std::get<0>(layer)->at(sx, sy);
                    for (int ch = 0; ch < 3; ch++)
                        want[ch] = a * channel(src, ch) + (1 - a) * want[ch];
                }
                unsigned char* got = img.at(x, y);
                for (int ch = 0; ch < 3; ch++)
                    if (fabs(got[ch] - want[ch]) > 2.5 && !bad++)
                        first = "at " + std::to_string(x) + "," + std::to_string(y) + " ch " +
                                std::to_string(ch) + " got " + std::to_string(got[ch]) +
                                " want " + std::to_string(want[ch]);
            }
        EXPECT_EQ(bad, 0) << c.effect << " " << c.t << ": " << first;
    }
    gfx_clear();
    draw_effect("wipe", 0.5);  // unknown effect: nothing drawn
    EXPECT_FALSE(lit(W / 2, H / 2));
}

// deres shrinks the frame by f = 2^-16t (A) or 2^-16(1-t) (B) into 1024 texels and
// blows it up: blocks of W / (1024 f) by H / (1024 f) pixels.
TEST_F(Ext, DeresMakesBlocksFromTheRightSlot) {
    struct {
        double t;
        int blue;
    } cases[] = {{0.49, 0}, {0.5, 255}, {0.45, 0}, {0.56, 255}};
    grab_both([&] { draw_cells(0); }, [&] { draw_cells(255); });
    for (auto& c : cases) {
        double f = pow(2.0, -16 * (c.t < 0.5 ? c.t : 1 - c.t));
        gfx_clear();
        draw_effect("deres", c.t);
        Image img = frame();
        EXPECT_EQ(img.at(W / 2, H / 2)[2], c.blue) << c.t;
        for (bool row : {true, false}) {
            std::vector<int> r = runs(img, row ? H / 2 : W / 2, row);
            double want = (row ? W : H) / (1024 * f);
            ASSERT_GE(r.size(), 3u) << c.t;
            for (size_t i = 1; i + 1 < r.size(); i++)  // the outer blocks may be cut
                EXPECT_NEAR(r[i], want, 1.0) << c.t << (row ? " row " : " column ") << i;
        }
    }
}

TEST_F(Ext, DrawRestoresViewProjectionFlipAndBlend) {
    grab_both([&] { draw(kA); }, [&] { draw(kB); });
    for (const char* effect : {"fade", "zoom", "bzoom", "deres"}) {
        gfx_view_size_set(320, 200);
        gfx_view_offset_set(-10, -5);
        gfx_view_scale_set(2);
        driver_flip_set(1);
        gfx_ortho();
        GLfloat before[16], after[16];
        glGetFloatv(GL_PROJECTION_MATRIX, before);
        draw_effect(effect, 0.3);
        glGetFloatv(GL_PROJECTION_MATRIX, after);
        EXPECT_EQ(memcmp(before, after, sizeof before), 0) << effect;
        int w, h, x, y;
        gfx_view_size_get(&w, &h);
        gfx_view_offset_get(&x, &y);
        EXPECT_TRUE(w == 320 && h == 200 && x == -10 && y == -5) << effect;
        EXPECT_EQ(gfx_view_scale_get(), 2.0f);
        EXPECT_EQ(driver_flip_get(), 1);
        GLint src = 0, dst = 0;
        glGetIntegerv(GL_BLEND_SRC, &src);
        glGetIntegerv(GL_BLEND_DST, &dst);
        EXPECT_TRUE(src == GL_ONE && dst == GL_ONE_MINUS_SRC_ALPHA) << effect;
        GLint vp[4];
        glGetIntegerv(GL_VIEWPORT, vp);
        EXPECT_TRUE(vp[2] == W && vp[3] == H) << effect;
    }
    driver_flip_set(0);
}

TEST_F(Ext, ScreenshotPathsFormatsAndFailures) {
    char tmpl[] = "/tmp/kel_shot_XXXXXX";
    std::string dir = mkdtemp(tmpl), rel = dir.substr(5);
    struct {
        std::string arg, path;  // path "" = failure
    } cases[] = {
        {"", "/tmp/misc_screenshot.jpg"},
        {"{\"filename\":\"" + rel + "/a.png\"}", dir + "/a.png"},
        {"{\"filename\":\"" + dir + "/b.jpg\"}", dir + "/b.jpg"},
        {"{\"filename\":\"" + dir + "/c.bmp\"}", ""},
        {"{\"filename\":\"" + rel + "/no/d.png\"}", ""},  // no directory is made
        {"{\"filename\":\"/nonexistent-kel/e.jpg\"}", ""},
        {"{\"filename\":\"/nonexistent-kel/e.png\"}", ""},
    };
    draw(kA);
    for (auto& c : cases) {
        gfx_clear();
        EXPECT_EQ(call("screenshot", c.arg), "\"" + c.path + "\"") << c.arg;
        if (c.path.empty()) continue;
        Image shown = frame();  // the replayed frame the file was taken from
        int w = 0, h = 0, n = 0;
        unsigned char* p = stbi_load(c.path.c_str(), &w, &h, &n, 4);
        ASSERT_TRUE(p && w == W && h == H) << c.path;
        Image file = jpgt::blank(W, H, 4);
        memcpy(file.px.data(), p, file.px.size());
        stbi_image_free(p);
        if (c.path.find(".png") != std::string::npos)
            EXPECT_TRUE(file.px == shown.px) << c.path;
        else
            EXPECT_GT(jpgt::psnr(file, shown), 30.0) << c.path;
    }
    // A link planted at the target is replaced, its target untouched; no temp files stay.
    std::string victim = dir + "/victim", link = dir + "/f.jpg";
    FILE* v = fopen(victim.c_str(), "wb");
    fputs("keep", v);
    fclose(v);
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    EXPECT_EQ(call("screenshot", "{\"filename\":\"" + link + "\"}"), "\"" + link + "\"");
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(driver_file_read(victim.c_str()), "keep");
    std::string ls = "ls -A '" + dir + "' | tr '\\n' ' '";
    FILE* out = popen(ls.c_str(), "r");
    char names[256] = "";
    if (!fgets(names, sizeof names, out)) names[0] = 0;
    pclose(out);
    EXPECT_STREQ(names, "a.png b.jpg f.jpg victim ");
    std::string rm = "rm -rf '" + dir + "'";
    EXPECT_EQ(system(rm.c_str()), 0);
}
