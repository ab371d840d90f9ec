// The kel_* wrappers in a real Lua host, where the script alone cannot see the
// result: recorded draw commands. Argument rules, files, require, pending errors and
// extension calls are covered by tests/mods/api_*.lua, print capture by test_host.
#include <lua.hpp>

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_lua.h"
#include "tests/test_util.h"

TEST(ApiLua, DrawingRecordsCommandsWithDefaults) {
    driver_init(DRIVER_INIT_TIMER);
    Game game{};
    ModsAPI* api = new ModsAPI(&game);
    ModsLua* mod = new ModsLua(api);
    game.api = api;
    game.mod = mod;
    int status = mods_lua_run(mod->L, R"(
        kel_view_set(1, 2, 320, 240)
        kel_image_draw("hero", 10, 20, 32, 48, 90)
        kel_image_draw("hero", 0, 0, -16, 16, 0, 0x102030, -128)
        kel_rect_draw(0xFF00FF, 5, 6, 7, 8)
        kel_font_draw("sans", 12, "hi", 3, 4)
        kel_font_draw("sans", 12, "hey", 3, 4, 0x00FF00, 100)
        local w, h = kel_font_size("sans", 12, "hi")
        assert(type(w) == "number" and type(h) == "number")
    )", "t");
    ASSERT_EQ(status, 0) << (api->console_lines.empty() ? "" : api->console_lines.front());
    // Only what the wrapper decides: the argument order and the defaults it fills in.
    const auto& d = api->draw_list;
    ASSERT_EQ(d.size(), 6u);
    const int types[] = {DRAW_VIEW, DRAW_IMAGE, DRAW_IMAGE, DRAW_RECT, DRAW_TEXT, DRAW_TEXT};
    for (int i = 0; i < 6; i++) EXPECT_EQ(d[i].type, types[i]) << i;
    EXPECT_TRUE(d[1].rot == 90 && d[1].h == 48);  // the sixth argument is the rotation
    EXPECT_TRUE(d[2].w == -16 && d[2].alpha == -128);
    EXPECT_TRUE(d[3].colour == 0xFF00FFu && d[3].x == 5);  // the colour comes first
    EXPECT_EQ(d[4].text, "hi");
    // colour and alpha: the defaults, then given
    for (int i : {1, 4, 5})
        EXPECT_EQ(std::make_pair(d[i].colour, d[i].alpha),
                  std::make_pair(i == 5 ? 0x00FF00u : 0xFFFFFFu, i == 5 ? 100 : 255)) << i;
    api->clear();
    EXPECT_TRUE(api->draw_list.empty());
    delete mod;
    delete api;
    driver_deinit();
}
