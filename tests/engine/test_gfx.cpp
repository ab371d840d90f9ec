// Drawing through real GL: view mapping, image quads from atlases, blending, the
// batch's draw counts and the immediate primitives, checked on read-back pixels.
#include "gfx_test_util.h"

using namespace gfxt;

static const char* nearest() { return "nearest"; }

class GfxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(gl_up(640, 480));
        gfx_filter_query_set(nearest);  // exact texel edges for pixel checks
        view(640, 480, 1);
    }
    void TearDown() override {
        gfx_filter_query_set(NULL);
        gl_down();
    }
    static void view(int w, int h, float scale) {
        gfx_view_size_set(w, h);
        gfx_view_offset_set(0, 0);
        gfx_view_scale_set(scale);
        gfx_ortho();
        gfx_clear();
    }
    static DrawCmd image(const char* name, float x, float y, float w, float h, float rot = 0,
                         uint32_t colour = 0xFFFFFF, int alpha = 255) {
        DrawCmd c = DrawCmd();
        c.type = DRAW_IMAGE;
        c.name = name;
        c.x = x, c.y = y, c.w = w, c.h = h, c.rot = rot, c.colour = colour, c.alpha = alpha;
        return c;
    }
    static void replay(const std::vector<DrawCmd>& list) {
        GfxReplay r;
        gfx_replay_begin(&r);
        for (const DrawCmd& c : list) {
            if (c.type == DRAW_IMAGE) gfx_replay_image(&r, c);
            if (c.type == DRAW_RECT) gfx_replay_rect(c);
        }
        gfx_replay_end();
    }
    static DrawCmd rect(uint32_t colour, float x, float y, float w, float h) {
        DrawCmd c = DrawCmd();
        c.type = DRAW_RECT;
        c.colour = colour;
        c.x = x, c.y = y, c.w = w, c.h = h;
        return c;
    }
    // Left half red, right half blue, opaque.
    static void halves(const char* name) {
        png_write(name, 64, 64, [](int x, int) { return x < 32 ? 0xFF0000FFu : 0xFFFF0000u; });
    }
    static void white(const char* name, int w, int h) {
        png_write(name, w, h, [](int, int) { return 0xFFFFFFFFu; });
    }
};

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

TEST_F(GfxTest, FlipTurnsPictureAQuarter) {
    driver_flip_set(1);
    driver_video_init(480, 640, 640, 480, 240, 160, 0);
    gfx_init();
    int w, h;
    driver_screen_size_get(&w, &h);
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 480);
    view(640, 480, 1);
    gfx_rect_fill(0xFFFFFF, 100, 50, 20, 10);  // logical x 100..120, y 50..60
    driver_flip_set(0);
    // Logical (px, py) lands on physical (py, 640 - px).
    EXPECT_TRUE(lit(55, 530));
    EXPECT_TRUE(lit(51, 539));
    EXPECT_FALSE(lit(55, 541));
    EXPECT_FALSE(lit(55, 519));
    EXPECT_FALSE(lit(61, 530));
    EXPECT_FALSE(lit(100, 55));  // the unturned position stays black
}

TEST_F(GfxTest, GlErrorIsLoggedOncePerChange) {
    std::string log = logged([] {
        glEnable(0x7FFF);
        gfx_clear();
        glEnable(0x7FFF);
        gfx_clear();
        gfx_clear();
    });
    EXPECT_EQ(count_of(log, "glGetError() -> 1280"), 1) << log;
    EXPECT_EQ(count_of(log, "glGetError() -> 0"), 1) << log;
}

TEST_F(GfxTest, AtlasFrameTrimPlacesImage) {
    // Frame 20 x 10 at (0, 0) of the sheet, trimmed from a 24 x 16 source at (2, 3).
    png_write("sheet.png", 64, 64, [](int x, int y) { return x < 20 && y < 10 ? 0xFFFFFFFFu : 0; });
    file_write("sheet.json",
               R"({"frames":{"btn.png":{"frame":{"x":0,"y":0,"w":20,"h":10},"rotated":false,
               "spriteSourceSize":{"x":2,"y":3,"w":20,"h":10},"sourceSize":{"w":24,"h":16}},
               "a.b.png":{"frame":{"x":0,"y":0,"w":4,"h":4},
               "spriteSourceSize":{"x":0,"y":0},"sourceSize":{"w":4,"h":4}}}})");
    gfx_atlas_load("sheet");
    int img = gfx_img_load("btn");
    ASSERT_NE(img, 0);
    EXPECT_NE(gfx_img_load("a.b"), 0);
    EXPECT_EQ(gfx_img_get(img).texture, gfx_tex_load("sheet"));
    replay({image("btn", 0, 0, 48, 32)});  // covers (4, 6) - (44, 26)
    EXPECT_TRUE(lit(4, 6));
    EXPECT_TRUE(lit(43, 25));
    EXPECT_FALSE(lit(3, 10));
    EXPECT_FALSE(lit(44, 10));
    EXPECT_FALSE(lit(10, 5));
    EXPECT_FALSE(lit(10, 26));
}

TEST_F(GfxTest, AtlasWithoutDescriptionStaysOneImage) {
    white("solo.png", 8, 8);
    gfx_atlas_load("solo");
    int img = gfx_img_load("solo");
    ASSERT_NE(img, 0);
    EXPECT_FLOAT_EQ(gfx_img_get(img).sw, 8);
    // A broken description changes nothing and does not crash.
    white("bad.png", 8, 8);
    file_write("bad.json", "{\"frames\": [1, 2");
    gfx_atlas_load("bad");
    EXPECT_NE(gfx_img_load("bad"), 0);
}

TEST_F(GfxTest, MirrorAndRotation) {
    halves("lr.png");
    replay({image("lr", 100, 100, 64, 64), image("lr", 100, 200, -64, 64),
            image("lr", 300, 100, 64, 64, 90)});
    EXPECT_GT(pixel(110, 120).r, 200);
    EXPECT_GT(pixel(150, 120).b, 200);
    // Mirrored: the same 64 pixels, blue on the left.
    EXPECT_GT(pixel(110, 220).b, 200);
    EXPECT_GT(pixel(150, 220).r, 200);
    EXPECT_TRUE(lit(100, 220));
    EXPECT_TRUE(lit(163, 220));
    EXPECT_FALSE(lit(99, 220));
    EXPECT_FALSE(lit(164, 220));
    // 90 degrees turns the left edge to the bottom.
    EXPECT_GT(pixel(332, 110).b, 200);
    EXPECT_GT(pixel(332, 154).r, 200);
}

TEST_F(GfxTest, AlphaLowByteAdditiveAndPremultipliedColour) {
    white("w.png", 64, 64);
    png_write("half.png", 64, 64, [](int, int) { return 0x803264C8u; });  // (200,100,50,128)
    replay({image("w", 0, 0, 32, 32, 0, 0xFFFFFF, 300),                 // alpha 300 -> 44
            rect(0x404040, 100, 0, 32, 32), image("w", 100, 0, 32, 32, 0, 0xFFFFFF, -128),
            image("half", 200, 0, 32, 32), rect(0xFFFFFF, 300, 0, 32, 32),
            image("half", 300, 0, 32, 32)});
    EXPECT_TRUE(near_(pixel(10, 10).r, 44)) << pixel(10, 10).r;
    Rgba add = pixel(110, 10);
    EXPECT_TRUE(near_(add.g, 191, 2)) << add.g;  // 64 + half of white
    Rgba pm = pixel(210, 10);
    EXPECT_TRUE(near_(pm.r, 100) && near_(pm.g, 50) && near_(pm.b, 25))
        << pm.r << "," << pm.g << "," << pm.b;
    Rgba over = pixel(310, 10);  // 100 + 255 * (1 - 128/255)
    EXPECT_TRUE(near_(over.r, 227) && near_(over.b, 152)) << over.r << "," << over.b;
}

TEST_F(GfxTest, RectColourIgnoresHighByteAndMirrorsSize) {
    replay({rect(0xFF123456, 10, 10, 20, 20), rect(0x00FF00, 100, 10, -20, 20),
            rect(0xFFFFFF, 200, 10, 0, 20)});
    Rgba p = pixel(15, 15);
    EXPECT_EQ(p.r, 0x12);
    EXPECT_EQ(p.g, 0x34);
    EXPECT_EQ(p.b, 0x56);
    EXPECT_TRUE(lit(110, 15));  // x = 100 - (-20), size keeps its sign
    EXPECT_FALSE(lit(201, 15));
}

TEST_F(GfxTest, BatchDrawsOncePerTextureRun) {
    white("ta.png", 16, 16);
    white("tb.png", 16, 16);
    long before = gfx_batch_draws();
    replay({image("ta", 0, 0, 8, 8), image("ta", 8, 0, 8, 8), image("tb", 16, 0, 8, 8),
            image("ta", 24, 0, 8, 8)});
    EXPECT_EQ(gfx_batch_draws() - before, 3);
    std::vector<DrawCmd> many(5000, image("ta", 0, 0, 4, 4));
    before = gfx_batch_draws();
    replay(many);  // 10,000 triangles: 8,192 then 1,808
    EXPECT_EQ(gfx_batch_draws() - before, 2);
    EXPECT_EQ(gfx_batch_size(), 0);
    // A missing image is skipped without breaking the run.
    before = gfx_batch_draws();
    replay({image("ta", 0, 0, 8, 8), image("nothing", 0, 0, 8, 8), image("ta", 8, 0, 8, 8)});
    EXPECT_EQ(gfx_batch_draws() - before, 1);
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
    white("tile.png", 16, 16);
    gfx_img_draw_tiled(gfx_img_load("tile"), 100, 100, 40, 40, 16);
    EXPECT_TRUE(lit(100, 100));
    EXPECT_TRUE(lit(139, 139));
    EXPECT_FALSE(lit(140, 120));
    EXPECT_FALSE(lit(120, 140));
    gfx_img_draw_tiled(gfx_img_load("tile"), 0, 0, 10, 10, -1);  // returns, no endless loop
}
