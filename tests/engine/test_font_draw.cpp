// Font drawing read back from a real GL window under Xvfb: glyph pixels land inside
// the expected boxes and nowhere else.
#include <string>
#include <vector>

#include "gfx_test_util.h"
#include "util/kel_font.h"

static const int W = 320, H = 240;

class FontDraw : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gfxt::gl_up(W, H);
        // Solid white page: every glyph is a filled box of its rectangle.
        gfxt::png_write("box.png", 64, 64, [](int, int) { return 0xFFFFFFFFu; });
        gfxt::file_write("box.fnt",
                         "common lineHeight=20 base=16 scaleW=64 scaleH=64\n"
                         "char id=65 x=0 y=0 width=10 height=16 xoffset=1 yoffset=2 xadvance=12\n"
                         "char id=66 x=0 y=0 width=1 height=4 xoffset=0 yoffset=0 xadvance=1\n"
                         "char id=32 x=0 y=0 width=0 height=0 xoffset=0 yoffset=0 xadvance=12\n");
        std::string src = std::string(KEL_SOURCE_DIR) + "/data/fonts/dejavu";
        std::string cmd = "mkdir -p '" + gfxt::data_dir() + "/fonts' && cp '" + src + ".fnt' '" +
                          src + ".png' '" + gfxt::data_dir() + "/fonts/'";
        ASSERT_EQ(system(cmd.c_str()), 0);
        font_init();
    }
    static void TearDownTestSuite() {
        font_deinit();
        gfxt::gl_down();
    }
    void SetUp() override {
        gfx_ortho();
        gfx_clear();
        glColor4ub(255, 255, 255, 255);
    }

    struct Box {
        int x0, y0, x1, y1;  // x1, y1 exclusive
    };
    // Lit pixels of the frame inside any of the boxes, and outside all of them.
    static std::pair<int, int> lit(const std::vector<Box>& boxes) {
        std::vector<unsigned char> px((size_t)W * H * 4);
        glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        std::pair<int, int> n(0, 0);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                const unsigned char* p = &px[((size_t)(H - 1 - y) * W + x) * 4];  // row 0 on top
                if (p[0] + p[1] + p[2] == 0) continue;
                bool in = false;
                for (const Box& b : boxes) in |= x >= b.x0 && x < b.x1 && y >= b.y0 && y < b.y1;
                ++(in ? n.first : n.second);
            }
        return n;
    }
};

TEST_F(FontDraw, CentredLineFillsItsGlyphBoxes) {
    int f = font_load("box", 0);
    ASSERT_GT(f, 0);
    ASSERT_GT(font_get(f)->texture, 0);
    // Ten glyphs advance 120; wrap 200 centres the line 40 to the right of x.
    font_draw(f, "AAAAAAAAAA", 0, 20, 30, 200);
    std::vector<Box> boxes;
    for (int i = 0; i < 10; i++) boxes.push_back({60 + 12 * i + 1, 32, 60 + 12 * i + 11, 48});
    EXPECT_EQ(lit(boxes), std::make_pair(10 * 10 * 16, 0));

    gfx_clear();
    font_draw(f, "AAAAAAAAAA", 1, 20, 30, 200);  // right aligned: ends at x + wrap
    EXPECT_EQ(lit({{100 + 1, 32, 220, 48}}), std::make_pair(10 * 10 * 16, 0));
}

TEST_F(FontDraw, ScaledWrappedAndClipped) {
    int f = font_load("box", 40);  // scale 2
    font_draw(f, "AA AA", -1, 10, 10, 60);  // wraps into two lines of two glyphs
    std::vector<Box> boxes;
    for (int line = 0; line < 2; line++)
        for (int i = 0; i < 2; i++)
            boxes.push_back({10 + 24 * i + 2, 10 + 40 * line + 4, 10 + 24 * i + 22,
                             10 + 40 * line + 36});
    EXPECT_EQ(lit(boxes), std::make_pair(4 * 20 * 32, 0));

    gfx_clear();
    gfx_clip_push(0, 0, 100, H);
    font_draw(f, "AAAAAA", -1, 40, 100, 0);  // glyphs from x 42; the clip cuts at 100
    gfx_clip_pop();
    std::pair<int, int> n = lit({{42, 104, 100, 136}});
    EXPECT_EQ(n.second, 0);
    EXPECT_GT(n.first, 2 * 20 * 32);
}

TEST_F(FontDraw, LongLinesAndManyLinesDrawCompletely) {
    int f = font_load("box", 0);
    std::string wide(300, 'B');  // 300 one-pixel glyphs: more than one buffer load
    font_draw(f, wide.c_str(), -1, 5, 5, 0);
    EXPECT_EQ(lit({{5, 5, 305, 9}}), std::make_pair(300 * 4, 0));

    gfx_clear();
    std::string many;
    for (int i = 0; i < 300; i++) many += "B\n";
    font_draw(f, many.c_str(), -1, 0, -5000, 0);  // most lines far off screen
    font_draw(f, many.c_str(), -1, 0, 0, 50);
    std::pair<int, int> n = lit({{0, 0, 1, H}});
    EXPECT_EQ(n.second, 0);
    EXPECT_GT(n.first, 0);
}

TEST_F(FontDraw, BakedFontStaysInsideItsMeasuredBox) {
    int f = font_load("fonts/dejavu", 0);
    ASSERT_GT(f, 0);
    ASSERT_GT(font_get(f)->texture, 0);
    EXPECT_FLOAT_EQ(font_height(f, "Hello", 0), 32.0f);
    float w = font_width(f, "Hello");
    EXPECT_GT(w, 60.0f);
    EXPECT_LT(w, 90.0f);
    font_draw(f, "Hello", -1, 50, 50, 0);
    std::pair<int, int> n = lit({{50, 50, 50 + (int)w + 1, 50 + 32}});
    EXPECT_EQ(n.second, 0);
    EXPECT_GT(n.first, 200);  // strokes of five letters
}
