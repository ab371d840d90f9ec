// Font registry, descriptor parsing, layout and measuring (no GL needed).
#include <limits.h>

#include <vector>

#include "tests/test_util.h"
#include "util/kel_font.h"

static std::string g_dir;
static const char* data_dir() { return g_dir.c_str(); }
static void put(const std::string& name, const std::string& text, time_t mtime = 0) {
    write_file(g_dir + "/" + name, text, mtime);
}

// Every printable ASCII glyph 8 wide with advance 10; line height 32.
static std::string descriptor(int advance = 10) {
    std::string s = "info face=\"Test Face\" size=32\r\n"
                    "common lineHeight=32 base=26 scaleW=256 scaleH=128 pages=1\r\n"
                    "page id=0 file=\"test.png\"\n"
                    "chars count=95\n";
    for (int c = 32; c < 127; c++) {
        char line[160];
        snprintf(line, sizeof line,
                 "char id=%d   x=%d     y=%d    width=8 height=%d xoffset=1 yoffset=2 "
                 "xadvance=%d page=0 chnl=15\n",
                 c, (c % 16) * 10, (c / 16) * 20, c == ' ' ? 0 : 12, advance);
        s += line;
    }
    return s + "kernings count=0\n";
}

class Fonts : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_dir = temp_dir("font");
        driver_datadir_query_set(data_dir);
        put("test.fnt", descriptor());
    }
    static void TearDownTestSuite() {
        driver_datadir_query_set(nullptr);
        rm_rf(g_dir);
    }
    void SetUp() override { font_init(); }
    void TearDown() override { font_deinit(); }

    // The laid-out lines as "text/width" items.
    static std::vector<std::string> lines(int font, const char* text, int wrap) {
        FontLines l;
        font_layout(font, text, wrap, &l);
        std::vector<std::string> out;
        for (int i = 0; i < l.count; i++)
            out.push_back(std::string(text + l.line[i].start, text + l.line[i].end) + "/" +
                          std::to_string(l.line[i].width));
        return out;
    }
};

TEST_F(Fonts, SizesScaleTheLineHeight) {
    int big = font_load("test", 48);
    int natural = font_load("test", 0);
    ASSERT_GT(big, 0);
    ASSERT_GT(natural, 0);
    EXPECT_NE(big, natural);
    EXPECT_EQ(font_load("test", 48), big);  // cached by name and size
    const Font *f = font_get(big), *n = font_get(natural);
    EXPECT_EQ(std::vector<float>({f->scale, f->scaled_line_height, f->line_height, f->base, f->page_w,
                                  f->page_h, n->scale, n->scaled_line_height}),
              std::vector<float>({1.5f, 48, 32, 26, 256, 128, 1, 32}));
    EXPECT_EQ(n->texture, f->texture);
    EXPECT_FLOAT_EQ(font_width(big, "ab"), 30.0f);
}

TEST_F(Fonts, DescriptorFieldsAndMissingFonts) {
    const Font* f = font_get(font_load("test.fnt", 0));  // exact name found first
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->path, (g_dir + "/test.fnt").c_str());
    const float *r = f->rect['A'], *m = f->metrics['A'];  // x = 65 % 16 * 10
    EXPECT_EQ(std::vector<float>({r[0], r[1], r[2], r[3], m[0], m[1], m[2]}),
              std::vector<float>({10, 80, 8, 12, 1, 2, 10}));
    EXPECT_EQ(f->metrics[200][2], 0.0f);  // no char line: no advance

    for (const char* name : {"nosuchfont", "nosuchfont", ""}) EXPECT_EQ(font_load(name, 12), 0);
    EXPECT_TRUE(font_width(0, "abc") == 0 && font_height(0, "abc", 0) == 0 && !font_get(99));
}

TEST_F(Fonts, OutOfRangeGlyphsAndOddLinesAreIgnored) {
    put("odd.txt", "common lineHeight=0 scaleW=64 scaleH=64\n"
                          "char id=0 x=1 y=1 width=5 height=5 xadvance=7\n"
                          "char id=-3 x=1 xadvance=7\n"
                          "char id=256 x=1 xadvance=7\n"
                          "char id=70000 x=1 xadvance=7\n"
                          "char id=66 nonsense x=3 xadvance=6.5\n"
                          "char id=67 x=1e20 y=1e20 xadvance=1e40\n"
                          "char\n\n=\n");
    int odd = font_load("odd", 20);
    const Font* f = font_get(odd);
    ASSERT_NE(f, nullptr);
    EXPECT_FLOAT_EQ(f->scale, 1.0f);  // no line height: natural size, not infinity
    // huge values saturate rather than wrap around
    EXPECT_EQ(std::vector<float>({f->metrics[0][2], f->metrics['B'][2], f->rect['B'][0],
                                  font_width(odd, "BB"), f->rect['C'][0], f->rect['C'][1]}),
              std::vector<float>({0, 6.5f, 3, 13, (float)INT_MAX, (float)INT_MAX}));
    EXPECT_EQ(lines(odd, "CC", 0), std::vector<std::string>{"CC/" + std::to_string(INT_MAX)});
}

TEST_F(Fonts, LayoutLinesAndWrapping) {
    int f = font_load("test", 0);
    using S = std::vector<std::string>;
    const char* two = "ab\ncd";
    EXPECT_EQ(lines(f, two, 0), (S{"ab/20", "cd/20"}));
    EXPECT_FLOAT_EQ(font_height(f, two, 0), 32.0f);  // wrap 0: always one line
    EXPECT_FLOAT_EQ(font_height(f, two, 1000), 64.0f);
    EXPECT_FLOAT_EQ(font_width(f, "a\nbcd\n"), 30.0f);
    EXPECT_EQ(font_width(f, ""), 0.0f);

    // "hello " fits in 65, "hello w" does not: break at the space. A space that overflows
    // is the break too: the next line does not start with it.
    EXPECT_EQ(lines(f, "hello world", 65), (S{"hello/50", "world/50"}));
    EXPECT_EQ(lines(f, "hello world", 50), (S{"hello/50", "world/50"}));
    // A word longer than the wrap breaks at the overflowing character.
    EXPECT_EQ(lines(f, "abcdefgh", 35), (S{"abc/30", "def/30", "gh/20"}));
    // A glyph wider than the wrap still makes progress, one per line.
    EXPECT_EQ(lines(f, "xyz", 4), (S{"x/10", "y/10", "z/10"}));
}

TEST_F(Fonts, LayoutStopsAt256Lines) {
    int f = font_load("test", 0);
    std::string many;
    for (int i = 0; i < 300; i++) many += "line\n";
    FontLines l;
    font_layout(f, many.c_str(), 0, &l);
    EXPECT_EQ(l.count, FONT_LINES_MAX);
    EXPECT_FLOAT_EQ(font_height(f, many.c_str(), 500), 256 * 32.0f);
    std::string longline(3000, 'w');
    font_layout(f, longline.c_str(), 10, &l);  // one glyph per line
    EXPECT_EQ(l.count, FONT_LINES_MAX);
    EXPECT_EQ(l.line[255].start, 255);
}

TEST_F(Fonts, ChangedDescriptorIsReparsed) {
    time_t now = time(nullptr);
    put("live.fnt", descriptor(10), now - 20);
    int f = font_load("live", 0);
    EXPECT_FLOAT_EQ(font_width(f, "ab"), 20.0f);
    // A file written this very second may be incomplete: left for a later check.
    const int advance[][2] = {{4, 8}, {7, 8}};
    for (int i = 0; i < 2; i++) {
        put("live.fnt", descriptor(advance[i][0]), i ? now : now - 10);
        font_reload_auto();
        EXPECT_FLOAT_EQ(font_width(f, "ab"), (float)advance[i][1]) << i;
    }
}
