// The script's view parameters and draw list through the real view step and replay.
// (Letterbox bands and replaying a kept list: test_gfx_game; pointer mapping: test_event.)
#include "../engine/gfx_test_util.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_misc/mods_view.h"
#include "util/kel_font.h"

using namespace gfxt;

class ViewTest : public ::testing::Test {
protected:
    ModsAPI* api = nullptr;
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(gl_up(640, 480));
        api = new ModsAPI(nullptr);
        api->params_set("datadir", var(KEL_SOURCE_DIR "/data"));
        api->params_set("view_x", var(0));
        api->params_set("view_y", var(0));
        font_init();
    }
    void TearDown() override {
        font_deinit();
        delete api;
        gl_down();
    }
};

TEST_F(ViewTest, ScaleIsAlwaysTheLetterboxFit) {
    api->params_set("view_w", var(320));
    api->params_set("view_h", var(200));
    api->params_set("view_scale", var(3));
    mods_view_apply(api);
    EXPECT_FLOAT_EQ(api->params["view_scale"].to_float(), 2.0f);
    EXPECT_FLOAT_EQ(gfx_view_scale_get(), 2.0f);

    api->params_set("view_w", var(320.7));
    mods_view_apply(api);
    int w, h;
    gfx_view_size_get(&w, &h);
    EXPECT_EQ(w, 320);  // centred as 320 ...
    EXPECT_EQ(h, 200);
    EXPECT_FLOAT_EQ(gfx_view_scale_get(), 640.0f / 320.7f);  // ... scaled as 320.7
}

TEST_F(ViewTest, TextCommandDrawsAndRestoresColour) {
    api->view(0, 0, 640, 480);
    api->font_draw("fonts/dejavu", 24, "HHHH", 0xFFFFFF, 255, 10, 10);
    api->replay();
    int on = 0;
    for (int y = 10; y < 40; y++)
        for (int x = 10; x < 80; x++) on += lit(x, y);
    EXPECT_GT(on, 50);
    GLfloat c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_NEAR(c[0] * 255, 254, 0.6);
    EXPECT_NEAR(c[3] * 255, 255, 0.6);
}

TEST_F(ViewTest, SubImageIsAFractionOfItsSource) {
    api->params_set("datadir", var(data_dir()));
    png_write("sheet.png", 64, 32, [](int x, int) { return x < 32 ? 0xFF0000FFu : 0xFFFF0000u; });
    api->ext_call("image:sub", R"({"source":"sheet","name":"right","x":0.5,"y":0,"width":0.5,
        "height":1,"shape_x":0.25,"shape_width":1})");
    int img = gfx_img_load("right");
    ASSERT_NE(img, 0);
    const GfxImg& g = gfx_img_get(img);
    EXPECT_FLOAT_EQ(g.fx, 32);
    EXPECT_FLOAT_EQ(g.fw, 32);
    EXPECT_FLOAT_EQ(g.fh, 32);
    EXPECT_FLOAT_EQ(g.tx, 16);
    EXPECT_FLOAT_EQ(g.sw, 64);
    EXPECT_FLOAT_EQ(g.sh, 32);  // shape_height 0 becomes height
    // A missing source registers nothing.
    api->ext_call("image:sub", R"({"source":"none","name":"nothing","width":1,"height":1})");
    EXPECT_EQ(gfx_img_load("nothing"), 0);
}
