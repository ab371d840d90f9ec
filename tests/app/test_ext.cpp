// Transitions and screenshots through the extension call, on a real window: frames
// grabbed from draw lists, effects read back pixel by pixel, files read back with
// stb_image.
#include <glob.h>
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
    for (int y = 0; y < H; y++)
        glReadPixels(0, H - 1 - y, W, 1, GL_RGBA, GL_UNSIGNED_BYTE, img.at(0, y));
    return img;
}

// A background with one rectangle; off-centre, so a mirrored or flipped frame shows.
struct Scene {
    uint32_t bg, fg;
    float x0, y0, x1, y1;
    uint32_t at(float x, float y) const { return x >= x0 && x < x1 && y >= y0 && y < y1 ? fg : bg; }
};
const Scene kA = {0x000000, 0xFF0000, 100, 50, 300, 150};
const Scene kB = {0x0000FF, 0x00FF00, 160, 120, 480, 400};

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
        api->rect_draw(s.fg, s.x0, s.y0, s.x1 - s.x0, s.y1 - s.y0);
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

// Lengths of the runs of equal pixels along a row or a column.
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

    std::string log = logged([&] { EXPECT_EQ(call("trans:init"), "null"); });
    EXPECT_EQ(count_of(log, "create_fbo success"), 3) << log;
    EXPECT_EQ(count_of(log, "[]["), count_of(log, "\n")) << log;  // every line stamped
    EXPECT_EQ(call("trans:ready"), "true");
    EXPECT_EQ(count_of(logged([&] { call("trans:init"); }), "create_fbo"), 0);  // made once only

    ext_trans_deinit();
    game.headless = 1;
    ext_trans_init(&game);
    for (const char* n : {"trans:init", "trans:ready", "trans:grab0", "trans:draw"})
        EXPECT_EQ(call(n), "null") << n;
}

// Each layer is a slot's frame scaled by k about the centre at opacity a, over black.
// The draw ignores the view, scale, offset and rotation set before it and restores them.
TEST_F(Ext, EffectsBlendScaleAndRestoreTheView) {
    struct {
        const char* effect;
        double t, a_a, k_a, a_b, k_b;
    } cases[] = {
        {"fade", 0, 1, 1, 0, 1},       {"fade", 1, 1, 1, 1, 1},
        {"fade", 0.5, 1, 1, 0.5, 1},   {"zoom", 0.5, 0.5, 2, 0.5, 0.75},
        {"zoom", 0.25, 0.75, 1.5, 0.25, 0.625}, {"bzoom", 0.5, 0.5, 0.75, 0.5, 1.5},
        {"bzoom", 0.2, 0.8, 0.9, 0.2, 1.8},     {"wipe", 0.5, 0, 1, 0, 1},  // unknown
    };
    grab_both([&] { draw(kA); }, [&] { draw(kB); });
    auto want = [](const double c[5], float px, float py, int ch) {
        double v = 0;
        for (int l = 0; l < 2; l++) {
            float k = (float)c[2 * l + 1], sx = W / 2 + (px - W / 2) / k, sy = H / 2 + (py - H / 2) / k;
            if (sx >= 0 && sx < W && sy >= 0 && sy < H)
                v = c[2 * l] * channel((l ? kB : kA).at(sx, sy), ch) + (1 - c[2 * l]) * v;
        }
        return v;
    };
    for (auto& c : cases) {
        gfx_view_size_set(320, 200);
        gfx_view_offset_set(-10, -5);
        gfx_view_scale_set(2);
        driver_flip_set(1);
        gfx_ortho();
        GLfloat before[16], after[16];
        glGetFloatv(GL_PROJECTION_MATRIX, before);
        gfx_clear();
        EXPECT_EQ(draw_effect(c.effect, c.t), "null");
        glGetFloatv(GL_PROJECTION_MATRIX, after);
        EXPECT_EQ(memcmp(before, after, sizeof before), 0) << c.effect;
        int w, h, x, y;
        GLint src = 0, dst = 0;
        gfx_view_size_get(&w, &h);
        gfx_view_offset_get(&x, &y);
        glGetIntegerv(GL_BLEND_SRC, &src);
        glGetIntegerv(GL_BLEND_DST, &dst);
        EXPECT_TRUE(w == 320 && h == 200 && x == -10 && y == -5 && driver_flip_get() == 1 &&
                    gfx_view_scale_get() == 2.0f && src == GL_ONE && dst == GL_ONE_MINUS_SRC_ALPHA)
            << c.effect;
        driver_flip_set(0);

        Image img = frame();
        const double layers[4] = {c.a_a, c.k_a, c.a_b, c.k_b};
        int bad = 0;
        for (int y = 2; y < H; y += 8)
            for (int x = 2; x < W; x += 8)
                for (int ch = 0; ch < 3; ch++) {
                    float px = x + 0.5f, py = y + 0.5f;
                    double v = want(layers, px, py, ch);
                    // edges are filtered: only points whose neighbourhood is flat count
                    bool edge = false;
                    for (int d : {-3, 3})
                        edge |= want(layers, px + d, py, ch) != v || want(layers, px, py + d, ch) != v;
                    if (!edge && fabs(img.at(x, y)[ch] - v) > 2.5 && !bad++)
                        ADD_FAILURE() << c.effect << " " << c.t << " at " << x << "," << y << " got "
                                      << (int)img.at(x, y)[ch] << " want " << v;
                }
    }
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

TEST_F(Ext, ScreenshotPathsFormatsAndFailures) {
    std::string dir = temp_dir("shot"), rel = dir.substr(5);
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
        std::string bytes = driver_file_read(c.path.c_str());
        Image file = jpgt::decode(std::vector<unsigned char>(bytes.begin(), bytes.end()));
        // against the replayed frame the file was taken from; a PNG is exact
        bool png = c.path.find(".png") != std::string::npos;
        EXPECT_GT(jpgt::psnr(file, frame()), png ? 98.0 : 30.0) << c.path;
    }
    // A link planted at the target is replaced, its target untouched; no temp files stay.
    std::string victim = dir + "/victim", link = dir + "/f.jpg";
    ASSERT_TRUE(driver_file_save(victim.c_str(), "keep", 4));
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    EXPECT_EQ(call("screenshot", "{\"filename\":\"" + link + "\"}"), "\"" + link + "\"");
    struct stat st;
    EXPECT_TRUE(lstat(link.c_str(), &st) == 0 && S_ISREG(st.st_mode));
    EXPECT_EQ(driver_file_read(victim.c_str()), "keep");
    glob_t g = glob_t();
    EXPECT_EQ(glob((dir + "/*.tmp-*").c_str(), 0, nullptr, &g), GLOB_NOMATCH);
    globfree(&g);
    rm_rf(dir);
}
