// Drawing and textures through real GL: what the games' frames do not show (the text
// input rectangle, nine-slices and tiles, the clip stack; padded sizes and accounting,
// long names, the memory budget with an injected clock, a changed atlas). Images, atlases,
// blending, batching, the file search and reloads are run by the game tests.
#include <sys/stat.h>
#include <utime.h>

#include "gfx_test_util.h"
#include "util/kel_driver-tex_load.h"

using namespace gfxt;

static const char* nearest() { return "nearest"; }
static time_t g_now = 1000;
static time_t fake_clock() { return g_now; }

static void png_solid(const char* name, int w, int h, uint32_t abgr) {
    png_write(name, w, h, [abgr](int, int) { return abgr; });
}

class GfxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(gl_up(640, 480));
        gfx_filter_query_set(nearest);  // exact texel edges for pixel checks
        g_now = 1000;
        gfx_clock_set(fake_clock);
        gfx_view_scale_set(1);
        gfx_ortho();
    }
    void TearDown() override {
        gfx_clock_set(NULL);
        gfx_filter_query_set(NULL);
        gl_down();
    }
};
using TexTest = GfxTest;

static bool near_(int v, int want, int tol = 1) { return v >= want - tol && v <= want + tol; }

TEST_F(GfxTest, ScreenToViewInvertsRotatedOffsetView) {
    gfx_view_size_set(300, 200);
    gfx_view_offset_set(-15, 7);
    gfx_view_scale_set(1.5f);
    gfx_view_angle_set(30);
    gfx_input_rect_set(40, 50, 0, 0);
    float s[4];
    gfx_input_rect_screen_get(s);
    float vx, vy;
    gfx_screen_to_view(s[0], s[1], &vx, &vy);
    EXPECT_NEAR(vx, 40, 1e-3);
    EXPECT_NEAR(vy, 50, 1e-3);
    gfx_view_angle_set(0);
    gfx_input_rect_clear();
}

TEST_F(GfxTest, ClipStackAndTranslation) {
    gfx_clip_push(10, 10, 100, 100);
    gfx_clip_push(50, 50, 100, 100);  // intersected: (50, 50, 60, 60)
    gfx_rect_fill(0xFFFFFF, 0, 0, 640, 480);
    EXPECT_TRUE(lit(50, 50));
    EXPECT_TRUE(lit(109, 109));
    EXPECT_FALSE(lit(49, 60));
    EXPECT_FALSE(lit(110, 60));
    float dst[4] = {0, 0, 200, 100}, src[4] = {0, 0, 1, 1};
    ASSERT_TRUE(gfx_clip(dst, src));  // the source shrinks in proportion on both sides
    EXPECT_FLOAT_EQ(dst[0], 50);
    EXPECT_FLOAT_EQ(dst[2], 60);
    EXPECT_FLOAT_EQ(src[0], 0.25f);
    EXPECT_FLOAT_EQ(src[2], 0.3f);
    EXPECT_FLOAT_EQ(src[1], 0.5f);
    EXPECT_FLOAT_EQ(src[3], 0.5f);
    float off[4] = {200, 0, 10, 10};
    EXPECT_FALSE(gfx_clip(off, NULL));
    gfx_clip_pop();
    gfx_clip_pop();
    gfx_clear();
    for (int i = 0; i < 9; i++) gfx_clip_push(0, 0, 640, 480);  // too deep: all hidden
    gfx_rect_fill(0xFFFFFF, 0, 0, 640, 480);
    EXPECT_FALSE(lit(320, 240));
    for (int i = 0; i < 9; i++) gfx_clip_pop();
    gfx_translate(200, 0);
    gfx_clip_push(0, 0, 10, 10);
    gfx_rect_fill(0xFFFFFF, 0, 0, 100, 100);
    EXPECT_TRUE(lit(205, 5));
    EXPECT_FALSE(lit(211, 5));
    gfx_clip_pop();
    gfx_translate(-200, 0);
}

TEST_F(GfxTest, NineSliceAndTiles) {
    // 3 x 3 cells of 10 pixels, each its own red level.
    png_write("nine.png", 30, 30, [](int x, int y) { return 0xFF000000u | (uint32_t)(20 + 20 * (y / 10 * 3 + x / 10)); });
    int img = gfx_img_load("nine");
    ASSERT_NE(img, 0);
    gfx_img_draw_nine(img, 0, 0, 300, 90, 10);
    EXPECT_TRUE(near_(pixel(5, 5).r, 20));     // corner at corner size
    EXPECT_TRUE(near_(pixel(150, 5).r, 40));   // top edge stretched
    EXPECT_TRUE(near_(pixel(150, 45).r, 100)); // centre
    EXPECT_TRUE(near_(pixel(295, 85).r, 180));
    EXPECT_TRUE(near_(pixel(5, 45).r, 80));  // left edge
    gfx_clear();
    png_write("tile.png", 16, 16, [](int, int) { return 0xFFFFFFFFu; });
    gfx_img_draw_tiled(gfx_img_load("tile"), 100, 100, 40, 40, 16);
    EXPECT_TRUE(lit(100, 100));
    EXPECT_TRUE(lit(139, 139));
    EXPECT_FALSE(lit(140, 120));
    EXPECT_FALSE(lit(120, 140));
    gfx_img_draw_tiled(gfx_img_load("tile"), 0, 0, 10, 10, -1);  // returns, no endless loop
}

TEST_F(TexTest, PaddedSizeAndAccounting) {
    png_solid("small.png", 100, 30, 0xFFFFFFFF);
    int t = gfx_tex_load("small");
    ASSERT_NE(t, 0);
    const GfxTex& r = gfx_tex_get(t);
    EXPECT_FLOAT_EQ(r.width, 128);
    EXPECT_FLOAT_EQ(r.height, 64);
    EXPECT_EQ(r.bytes, 43690u);
    EXPECT_EQ(r.waste, 21802u);
    EXPECT_EQ(gfx_mem_used(), 43690u);
    EXPECT_EQ(gfx_mem_waste(), 21802u);
    const GfxImg& g = gfx_img_get(gfx_img_load("small"));
    EXPECT_FLOAT_EQ(g.fw, 100);
    EXPECT_FLOAT_EQ(g.sh, 30);
    EXPECT_FLOAT_EQ(g.tx, 0);

    png_solid("wide.png", 5000, 10, 0xFFFFFFFF);
    const GfxTex& wide = gfx_tex_get(gfx_tex_load("wide"));
    EXPECT_FLOAT_EQ(wide.width, 5000);
    EXPECT_FLOAT_EQ(wide.height, 64);
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    png_solid("huge.png", max + 1, 1, 0xFFFFFFFF);  // beyond what GL takes: refused, not charged
    uint64_t before = gfx_mem_used();
    int huge = gfx_tex_load("huge");
    EXPECT_EQ(gfx_tex_get(huge).gl_id, 0u);
    EXPECT_EQ(gfx_mem_used(), before);
    EXPECT_EQ(gfx_img_load("huge"), 0);
    EXPECT_EQ(_driver_tex_pad(64), 64);
    EXPECT_EQ(_driver_tex_pad(65), 128);
    EXPECT_EQ(_driver_tex_pad(1), 64);
}

TEST_F(TexTest, LongNamesAndPathsAreRefused) {
    std::string name(100, 'n');
    png_solid((name.substr(0, 60) + ".png").c_str(), 4, 4, 0xFFFFFFFF);
    EXPECT_EQ(gfx_tex_load(name.c_str()), 0);
    EXPECT_EQ(gfx_img_load(name.c_str()), 0);
    EXPECT_NE(gfx_tex_load(name.substr(0, 60).c_str()), 0);  // 60 characters fit

    // A short name whose full path passes 511 characters.
    std::string deep = data_dir();
    while (deep.size() < 490) {
        deep += "/dddddddddddddddddddddddddddddd";
        mkdir(deep.c_str(), 0755);
    }
    std::string rel = deep.substr(data_dir().size() + 1) + "/pic";
    png_solid((rel + ".png").c_str(), 4, 4, 0xFFFFFFFF);
    EXPECT_EQ(gfx_tex_load(rel.c_str()), 0);
    for (int i = 1; i < gfx_tex_count(); i++) EXPECT_LT(strlen(gfx_tex_get(i).path), 512u);
}

TEST_F(TexTest, BudgetRecyclesTexturesOfEarlierFramesOnly) {
    // 2049 x 2049 pads to 4096 x 4096: 89,478,485 bytes charged each, three fit.
    png_solid("big0.png", 2049, 2049, 0xFFFFFFFF);
    std::string src = data_dir() + "/big0.png";
    for (int i = 1; i < 5; i++) {
        std::string cmd = "cp '" + src + "' '" + data_dir() + "/big" + std::to_string(i) + ".png'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    int a = gfx_tex_load("big0"), b = gfx_tex_load("big1"), c = gfx_tex_load("big2");
    EXPECT_EQ(gfx_mem_used(), 3 * 89478485ull);
    gfx_frame_next();
    g_now = 1003;
    gfx_tex_touch(c);
    gfx_frame_next();
    g_now = 1005;
    gfx_img_load("big0");  // drawing an image keeps its texture too
    // Of a (this frame), b (idle 5 s) and c (the frame before, idle 2 s): b goes.
    int d = 0;
    std::string log = logged([&] { d = gfx_tex_load("big3"); });
    EXPECT_NE(log.find("_gfx_tex_recycle: 2 (big1)"), std::string::npos) << log;
    EXPECT_FALSE(gfx_tex_get(b).loaded);
    EXPECT_EQ(gfx_tex_get(b).gl_id, 0u);
    EXPECT_TRUE(gfx_tex_get(a).loaded && gfx_tex_get(c).loaded && gfx_tex_get(d).loaded);
    EXPECT_EQ(gfx_mem_used(), 3 * 89478485ull);
    // All three drawn in this frame: a fourth is not loaded in it.
    gfx_tex_touch(c);
    int e = gfx_tex_load("big4");
    EXPECT_FALSE(gfx_tex_get(e).loaded);
    EXPECT_EQ(gfx_tex_gl_id(e), 0u);
    EXPECT_EQ(gfx_mem_used(), 3 * 89478485ull);
    // Used again in a later frame: same index, loaded again.
    gfx_frame_next();
    EXPECT_EQ(gfx_tex_load("big1"), b);
    EXPECT_TRUE(gfx_tex_get(b).loaded);
    EXPECT_NE(gfx_tex_gl_id(b), 0u);
}

TEST_F(TexTest, ChangedAtlasIsParsedAgain) {
    png_solid("at.png", 64, 64, 0xFFFFFFFF);
    auto desc = [](int w) {
        return "{\"frames\":{\"f.png\":{\"frame\":{\"x\":0,\"y\":0,\"w\":" + std::to_string(w) +
               ",\"h\":8},\"spriteSourceSize\":{\"x\":0,\"y\":0},\"sourceSize\":{\"w\":" +
               std::to_string(w) + ",\"h\":8}}}}";
    };
    file_write("at.json", desc(8));
    gfx_atlas_load("at");
    int f = gfx_img_load("f");
    ASSERT_NE(f, 0);
    time_t t0 = gfx_tex_get(gfx_img_get(f).texture).atlas_time;
    file_write("at.json", desc(16));
    std::string path = data_dir() + "/at.json";
    struct utimbuf ut = {t0 + 3, t0 + 3};
    utime(path.c_str(), &ut);
    g_now = t0 + 10;
    gfx_reload_auto();
    EXPECT_EQ(gfx_img_load("f"), f);  // same record, new rectangle
    EXPECT_FLOAT_EQ(gfx_img_get(f).fw, 16);
}
