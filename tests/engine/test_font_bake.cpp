// The font baker's output read back by the engine, and its command line.
#include "tests/test_util.h"
#include "util/kel_font.h"

static std::string g_dir;
static const char* data_dir() { return g_dir.c_str(); }

static int bake(const std::string& args) {
    std::string cmd = KEL_RUN_PREFIX + std::string(KEL_BINARY_DIR) + "/tools/kelgame-fontbake " +
                      args + " >/dev/null 2>&1";
    int r = system(cmd.c_str());
    return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
}

TEST(FontBake, BakedSizeLoadsWithSaneGlyphs) {
    g_dir = temp_dir("bake");
    const std::string ttf = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    ASSERT_EQ(bake("-s 12,40 -r 32-255 -p 2 " + ttf + " " + g_dir + "/dv"), 0);
    driver_datadir_query_set(data_dir);
    font_init();
    const Font* f = font_get(font_load("dv-40", 0));
    ASSERT_NE(f, nullptr);
    EXPECT_NEAR(f->line_height, 40, 1.0f);
    for (int c : {(int)'A', (int)'g', 0xE9}) {
        const float* r = f->rect[c];
        EXPECT_TRUE(r[2] > 0 && r[0] + r[2] <= f->page_w && r[1] + r[3] <= f->page_h) << c;
        EXPECT_GT(f->metrics[c][2], r[2] * 0.5f) << c;  // advance
    }
    // The descender of g reaches below the baseline, the A sits on it.
    EXPECT_GT(f->metrics['g'][1] + f->rect['g'][3], f->base);
    EXPECT_NEAR(f->metrics['A'][1] + f->rect['A'][3], f->base, 1.0f);
    EXPECT_NE(font_load("dv-12", 0), 0);
    font_deinit();
    driver_datadir_query_set(nullptr);

    EXPECT_EQ(bake("--help"), 0);
    EXPECT_EQ(bake("-r 300-2 " + ttf + " x"), 2);
    EXPECT_EQ(bake("onlyone"), 2);
    EXPECT_EQ(bake(g_dir + "/missing.ttf " + g_dir + "/x"), 1);
    rm_rf(g_dir);
}
