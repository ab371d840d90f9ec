// Hostile game files, generated here and loaded through the engine: font descriptors,
// atlas descriptions and more images than the texture budget holds. Each must cost
// bounded memory and work, and what is refused must be said. Also odd font lines and a
// line longer than one draw call.
#include <limits.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "gfx_test_util.h"
#include "util/kel_font.h"
#include "util/kel_log.h"

using namespace gfxt;

#if defined(__SANITIZE_ADDRESS__)
#define KEL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEL_TEST_ASAN 1
#endif
#endif
// Peak resident memory of the process so far, in MiB; 0 under the address sanitizer,
// whose quarantine keeps freed buffers resident.
static long peak_mib() {
#ifdef KEL_TEST_ASAN
    return 0;
#else
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
#endif
}

// A descriptor with glyphs 'A'..'C' 8 wide advancing 10, line height 32; `extra` is put
// into B's line and `common` after the common line's keys.
static std::string descriptor(const std::string& extra = "", const std::string& common = "") {
    std::string s = "common lineHeight=32 base=26 scaleW=64 scaleH=64" + common + "\n";
    for (char c = 'A'; c <= 'C'; c++)
        s += "char id=" + std::to_string(c) + " x=" + std::to_string((c - 'A') * 10) +
             " y=0 width=8 height=12 xoffset=0 yoffset=0 xadvance=10" + (c == 'B' ? extra : "") +
             "\n";
    return s;
}

static time_t g_now = 1000;
static time_t slow_clock() { return g_now += 5; }  // every use looks 5 s after the last

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(gl_up(320, 240));
        gfx_ortho();
        font_init();
    }
    void TearDown() override {
        font_deinit();
        gfx_clock_set(NULL);
        gl_down();
    }
};

TEST_F(Hostile, FontDescriptorsAreReadOnceBoundedAndChecked) {
    png_write("f.png", 64, 64, [](int, int) { return 0xFFFFFFFFu; });
    // One line under the size cap with 400,000 keys: read without a table of them.
    std::string line = "char id=65 x=0 y=0 width=8 height=12 xadvance=10";
    for (int i = 0; i < 400000; i++) line += " k" + std::to_string(i) + "=1";
    file_write("f.fnt", descriptor() + line + "\n");
    long before = peak_mib();
    int parses = font_parse_count();
    int sizes[20];
    for (int i = 0; i < 20; i++) sizes[i] = font_load("f", 10 + i);
    EXPECT_EQ(font_parse_count() - parses, 1);  // one read for twenty sizes
    EXPECT_LT(peak_mib() - before, 40);
    EXPECT_FLOAT_EQ(font_width(sizes[0], "AC"), 2 * 10 * 10 / 32.0f);
    EXPECT_FLOAT_EQ(font_get(sizes[19])->scaled_line_height, 29);

    // Too large: refused unread, once, and named.
    file_write("huge.fnt", descriptor() + std::string(FONT_FILE_MAX, '\n'));
    std::string err = capture_fd(2, [] {
        for (int i = 0; i < 3; i++) font_load("huge", i);
    });
    EXPECT_EQ(count_of(err, "font descriptor too large"), 1) << err;
    EXPECT_EQ(font_width(font_load("huge", 0), "A"), 0);

    // Values: a glyph with a bad one is dropped, the rest of the line still measures;
    // a bad common line refuses the font.
    struct Row {
        const char *glyph, *common;
        float width_abc, line_height;
        bool warned;
    } rows[] = {
        {"", "", 30, 32, false},
        {" xadvance=nan", "", 20, 32, true},
        {" xadvance=1e400", "", 20, 32, true},
        {" width=-8", "", 20, 32, true},
        {" x=-1", "", 20, 32, true},
        {" xoffset=-3 yoffset=-2", "", 30, 32, false},  // offsets may be negative
        {"", " lineHeight=-32", 0, 0, true},
        {"", " scaleW=inf", 0, 0, true},
    };
    for (size_t i = 0; i < sizeof rows / sizeof *rows; i++) {
        const Row& r = rows[i];
        std::string name = "v" + std::to_string(i);
        file_write(name + ".fnt", descriptor(r.glyph, r.common));
        int f = 0;
        std::string warn = capture_fd(2, [&] { f = font_load(name.c_str(), 0); });
        ASSERT_NE(f, 0) << i;
        EXPECT_FLOAT_EQ(font_width(f, "ABC"), r.width_abc) << i;
        EXPECT_FLOAT_EQ(font_get(f)->line_height, r.line_height) << i;
        EXPECT_EQ(warn.find(name + ".fnt") != std::string::npos, r.warned) << i << warn;
    }
}

TEST_F(Hostile, FontFoldersAndMissingPages) {
    // A folder named like the font does not hide the descriptor beside it.
    ASSERT_EQ(mkdir((data_dir() + "/x").c_str(), 0755), 0);
    file_write("x.fnt", descriptor());
    png_write("x.png", 64, 64, [](int, int) { return 0xFFFFFFFFu; });
    const Font* f = font_get(font_load("x", 0));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::string(f->path), data_dir() + "/x.fnt");
    // No page (a folder where it would be): named, and the text draws nothing.
    ASSERT_EQ(mkdir((data_dir() + "/nopage.png").c_str(), 0755), 0);
    file_write("nopage.fnt", descriptor());
    int np = 0;
    std::string err = capture_fd(2, [&] { np = font_load("nopage", 0); });
    EXPECT_NE(err.find("font page not found: nopage"), std::string::npos) << err;
    for (int font : {font_load("x", 0), np}) {
        gfx_clear();
        font_draw(font, "AB", -1, 0, 0, 0);
        EXPECT_EQ(lit(4, 6), font != np) << font;
    }
}

// Odd lines and glyph ids out of range are skipped; huge values saturate rather than wrap.
TEST_F(Hostile, FontOddLinesAndHugeValues) {
    file_write("odd.txt", "common lineHeight=0 scaleW=64 scaleH=64\n"
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
    EXPECT_EQ(std::vector<float>({f->metrics[0][2], f->metrics['B'][2], f->rect['B'][0],
                                  font_width(odd, "BB"), f->rect['C'][0], f->rect['C'][1]}),
              std::vector<float>({0, 6.5f, 3, 13, (float)INT_MAX, (float)INT_MAX}));
    FontLines l;
    font_layout(odd, "CC", 0, &l);
    EXPECT_EQ(l.line[0].width, (float)INT_MAX);
}

// A line of more glyphs than one draw call takes is drawn whole.
TEST_F(Hostile, LineLongerThanOneDrawCallDrawsWhole) {
    png_write("thin.png", 64, 64, [](int, int) { return 0xFFFFFFFFu; });
    file_write("thin.fnt", "common lineHeight=4 scaleW=64 scaleH=64\n"
                           "char id=66 x=0 y=0 width=1 height=4 xadvance=1\n");
    font_draw(font_load("thin", 0), std::string(300, 'B').c_str(), -1, 5, 5, 0);
    EXPECT_TRUE(lit(5, 5) && lit(304, 8));
    EXPECT_FALSE(lit(305, 5) || lit(5, 9));
}

TEST_F(Hostile, AtlasFramesAndDescriptionsAreChecked) {
    png_write("sheet.png", 64, 32, [](int, int) { return 0xFFFFFFFFu; });
    struct Row {
        const char* rect;  // x, y, w, h
        bool ok;
    } rows[] = {
        {"0,0,8,8", true},       {"56,24,8,8", true},     {"-1,0,8,8", false},
        {"0,0,-8,8", false},     {"60,0,8,8", false},     {"0,30,8,8", false},
        {"0,0,1e400,8", false},  {"0,0,8,8.5", true},
    };
    std::string frames;
    auto frame = [](const std::string& name, const std::string& r) {
        std::string x, y, w, h;
        std::stringstream ss(r);
        std::getline(ss, x, ','), std::getline(ss, y, ','), std::getline(ss, w, ','),
            std::getline(ss, h, ',');
        return "\"" + name + ".png\":{\"frame\":{\"x\":" + x + ",\"y\":" + y + ",\"w\":" + w +
               ",\"h\":" + h +
               "},\"spriteSourceSize\":{\"x\":0,\"y\":0},\"sourceSize\":{\"w\":8,\"h\":8}},";
    };
    for (size_t i = 0; i < sizeof rows / sizeof *rows; i++)
        frames += frame("r" + std::to_string(i), rows[i].rect);
    frames += frame(std::string(GFX_IMG_NAME_MAX, 'n'), "0,0,8,8");
    file_write("sheet.json", "{\"frames\":{" + frames + "\"last.png\":{}}}");
    std::string err = capture_fd(2, [] { gfx_atlas_load("sheet"); });
    for (size_t i = 0; i < sizeof rows / sizeof *rows; i++) {
        std::string name = "r" + std::to_string(i);
        EXPECT_EQ(gfx_img_load(name.c_str()) != 0, rows[i].ok) << name;
        EXPECT_EQ(err.find("refused, ") != std::string::npos &&
                      err.find(": " + name + "\n") != std::string::npos,
                  !rows[i].ok)
            << name << err;
    }
    EXPECT_NE(err.find("atlas frame name too long"), std::string::npos) << err;
    // A description past the cap is not read at all.
    png_write("big.png", 8, 8, [](int, int) { return 0xFFFFFFFFu; });
    file_write("big.json", "{\"frames\":{" + frame("inbig", "0,0,8,8") + "\"x\":{}}}" +
                               std::string(GFX_ATLAS_MAX, ' '));
    err = capture_fd(2, [] { gfx_atlas_load("big"); });
    EXPECT_NE(err.find("atlas description too large"), std::string::npos) << err;
    EXPECT_EQ(gfx_img_load("inbig"), 0);
}

// Five 4096 x 4096 textures (89,478,485 bytes charged each, three fit the budget) drawn
// every frame while each use looks 5 s after the last, as when loading them is slow:
// none drawn in the frame is unloaded, so nothing is decoded twice, and the budget holds.
TEST_F(Hostile, TextureBudgetHoldsWithoutReloadingEveryFrame) {
    png_write("big0.png", 2049, 2049, [](int, int) { return 0xFFFFFFFFu; });
    for (int i = 1; i < 5; i++) {
        std::string cmd = "cp '" + data_dir() + "/big0.png' '" + data_dir() + "/big" +
                          std::to_string(i) + ".png'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    gfx_clock_set(slow_clock);
    long before = peak_mib();
    auto frame = [](int first, int count, std::string* err) {
        std::string log = logged([&] {
            *err += capture_fd(2, [&] {
                gfx_reload_auto();  // what it reloads counts too
                for (int i = first; i < first + count; i++) {
                    int img = gfx_img_load(("big" + std::to_string(i % 5)).c_str());
                    gfx_img_draw(0, 0, 8, 8, img);
                    EXPECT_LE(gfx_mem_used(), (uint64_t)KEL_GFX_MEMMAX);
                }
            });
        });
        gfx_frame_next();
        return count_of(log, "driver_tex_load ");
    };
    std::string err;
    EXPECT_EQ(frame(0, 5, &err), 3);  // the two that do not fit are measured, not decoded
    for (int i = 0; i < 3; i++) EXPECT_EQ(frame(0, 5, &err), 0) << i;
    EXPECT_EQ(count_of(err, "texture budget"), 1) << err;
    int drawn = 0;
    for (int i = 1; i < gfx_tex_count(); i++) drawn += gfx_tex_get(i).loaded;
    EXPECT_EQ(drawn, 3);
    // Another scene: the textures of earlier frames make room for it at once.
    EXPECT_EQ(frame(3, 2, &err), 2);
    EXPECT_EQ(frame(3, 2, &err), 0);
    EXPECT_LE(gfx_mem_used(), (uint64_t)KEL_GFX_MEMMAX);
    // llvmpipe keeps textures in this process: their memory shows in its peak.
    EXPECT_LT(peak_mib() - before, 256 + 160);
}
