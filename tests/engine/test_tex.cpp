// Textures: padded sizes and accounting, long names, the memory budget with an injected
// clock, and a changed atlas. (Search order, failed lookups and reloads: the game tests.)
#include <sys/stat.h>
#include <utime.h>

#include "gfx_test_util.h"
#include "util/kel_driver-tex_load.h"

using namespace gfxt;

static time_t g_now = 1000;
static time_t fake_clock() { return g_now; }

class TexTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(gl_up(640, 480));
        g_now = 1000;
        gfx_clock_set(fake_clock);
        gfx_view_scale_set(1);
        gfx_ortho();
    }
    void TearDown() override {
        gfx_clock_set(NULL);
        gl_down();
    }
    static void solid(const char* name, int w, int h, uint32_t abgr) {
        png_write(name, w, h, [abgr](int, int) { return abgr; });
    }
};

TEST_F(TexTest, PaddedSizeAndAccounting) {
    solid("small.png", 100, 30, 0xFFFFFFFF);
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

    solid("wide.png", 5000, 10, 0xFFFFFFFF);
    const GfxTex& wide = gfx_tex_get(gfx_tex_load("wide"));
    EXPECT_FLOAT_EQ(wide.width, 5000);
    EXPECT_FLOAT_EQ(wide.height, 64);
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    solid("huge.png", max + 1, 1, 0xFFFFFFFF);  // beyond what GL takes: refused, not charged
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
    solid((name.substr(0, 60) + ".png").c_str(), 4, 4, 0xFFFFFFFF);
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
    solid((rel + ".png").c_str(), 4, 4, 0xFFFFFFFF);
    EXPECT_EQ(gfx_tex_load(rel.c_str()), 0);
    for (int i = 1; i < gfx_tex_count(); i++) EXPECT_LT(strlen(gfx_tex_get(i).path), 512u);
}

TEST_F(TexTest, BudgetRecyclesTexturesOfEarlierFramesOnly) {
    // 2049 x 2049 pads to 4096 x 4096: 89,478,485 bytes charged each, three fit.
    solid("big0.png", 2049, 2049, 0xFFFFFFFF);
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
    solid("at.png", 64, 64, 0xFFFFFFFF);
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
