// Drawing through real GL, checked on read-back pixels: what the games' frames do not show
// (the text input rectangle, nine-slices and tiles, the clip stack). Images, atlases,
// blending and batching are drawn by the bundled game and the stats game.
#include "gfx_test_util.h"

using namespace gfxt;

static const char* nearest() { return "nearest"; }

class GfxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(gl_up(640, 480));
        gfx_filter_query_set(nearest);  // exact texel edges for pixel checks
        gfx_view_scale_set(1);
        gfx_ortho();
    }
    void TearDown() override {
        gfx_filter_query_set(NULL);
        gl_down();
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
