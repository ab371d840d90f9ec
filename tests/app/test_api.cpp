// ModsAPI without Lua: console capture, parameters and their driver side effects,
// module name rules and the require path, driven through a recording mod.
#include "src/mods_api/mods_api.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <string>
#include <vector>

#include "src/game/game.h"
#include "src/mods_api/mods_module.h"
#include "src/mods_lua/mods_base.h"
#include "tests/test_util.h"
#include "util/kel_driver.h"

namespace {

// Records what the loader hands to the script host.
struct RecordingMod : ModsBase {
    std::vector<std::pair<std::string, std::string>> scripts;  // (chunk name, source)
    void script(const char* source, const char* name) override { scripts.emplace_back(name, source); }
    int override_mask() const override { return OP_SCRIPT; }
};

class Api : public ::testing::Test {
protected:
    Game game{};
    RecordingMod mod;
    ModsAPI* api = nullptr;
    std::string root;  // a fresh directory per test

    void SetUp() override {
        driver_init(DRIVER_INIT_TIMER);
        root = temp_dir("api");
        mkdir((root + "/game").c_str(), 0755);
        mkdir((root + "/data").c_str(), 0755);
        api = new ModsAPI(&game);
        game.api = api;
        game.mod = &mod;
        snprintf(game.script_path, sizeof game.script_path, "%s/game/main.lua", root.c_str());
    }
    void TearDown() override {
        api->params_set("datadir", var(""));  // the override is process-wide
        delete api;
        api = nullptr;
        driver_deinit();
        rm_rf(root);
    }
};

}  // namespace

TEST(ApiNames, BaseAndDirectoryRules) {
    const char* bases[][2] = {
        {"util", "util.lua"}, {"lib/util", "util.lua"}, {"sub\\dir\\util", "util.lua"},
        {"a.b", "a.b"},  // dots are not separators
        {"main.lua", "main.lua"}, {"../x", "x.lua"}, {"..\\..\\etc\\passwd", "passwd.lua"},
        {"a..b", "a_b.lua"},  // ".." never survives
        {"/abs/path/m.lua", "m.lua"}};
    for (auto& c : bases) EXPECT_EQ(mods_module_base(c[0]), c[1]) << c[0];
    const char* dirs[][2] = {{"../data/main.lua", "../data"}, {"main.lua", "."},
                             {"a\\b\\c.lua", "a/b"}, {"/srv/games/x/main.lua", "/srv/games/x"}};
    for (auto& c : dirs) EXPECT_EQ(mods_module_dir(c[0]), c[1]) << c[0];
}

TEST_F(Api, ConsoleSplitsTrimsAndKeepsNewestFirst) {
    EXPECT_EQ(api->console_shown, 0);
    api->console("one\ttwo\r\nthree\n   \n\n");
    // CR+LF gives one line break (the empty piece between is dropped), blanks are dropped.
    EXPECT_EQ(api->console_lines, std::vector<std::string>({"three", "one    two"}));
    EXPECT_EQ(api->console_shown, 1);
    api->console("no newline");  // complete on its own: no partial line is kept
    api->console("next");
    EXPECT_EQ(api->console_lines[0] + "|" + api->console_lines[1], "next|no newline");

    std::string many;
    for (int i = 0; i < 300; i++) many += "line " + std::to_string(i) + "\n";
    api->console(many);
    ASSERT_EQ(api->console_lines.size(), 255u);
    // Cut back line by line, not after the call: a huge print stays cheap.
    EXPECT_LT(api->console_lines.capacity(), 300u);
    EXPECT_EQ(api->console_lines.front(), "line 299");
    EXPECT_EQ(api->console_lines.back(), "line 45");
    for (int i = 0; i < 10; i++) api->console("x");
    EXPECT_EQ(api->console_lines.size(), 255u);
    EXPECT_EQ(api->console_lines.back(), "line 55");
}

TEST_F(Api, ParamsReachTheDriver) {
    EXPECT_TRUE(api->params_get("never").is_none());
    EXPECT_TRUE(api->params.has("never"));  // reading creates the key

    api->params_set("caption", var("Cap"));
    api->params_set("appid", var("org.kel.test"));
    api->params_set("altdir", var(root + "/game"));
    api->params_set("datadir", var(root + "/data"));
    api->params_set("icon", var("icon.png"));  // found in the data area
    EXPECT_EQ(std::vector<std::string>({driver_caption_get(), driver_appid_get(), driver_altdir_get(),
                                        driver_data_dir(), driver_icon_get()}),
              std::vector<std::string>({"Cap", "org.kel.test", root + "/game", root + "/data",
                                        root + "/data/icon.png"}));
    api->params_set("suspendable", var(true));
    EXPECT_EQ(game.suspendable, 1);
    api->params_set("suspendable", var(0));
    EXPECT_EQ(game.suspendable, 0);
}

TEST_F(Api, ReloadRerunsEntryAndAutoReloadSeesChangedFiles) {
    std::string entry = root + "/game/main.lua";
    write_file(entry, "main()");
    api->console("old output");
    mods_reload(&game);
    EXPECT_TRUE(api->console_lines.empty());
    EXPECT_EQ(api->console_shown, 0);
    mods_reload(&game);  // the record list starts afresh, so the entry runs again
    ASSERT_EQ(mod.scripts.size(), 2u);

    // A file changed a while ago (not in the last second) triggers a reload.
    time_t now = time(nullptr);
    struct utimbuf t = {now - 5, now - 5};
    ASSERT_EQ(utime(entry.c_str(), &t), 0);
    api->modules[0].mtime = now - 10;
    mods_reload_auto(&game);
    EXPECT_EQ(mod.scripts.size(), 3u);
    ASSERT_EQ(api->modules.size(), 1u);
    EXPECT_EQ(api->modules[0].mtime, now - 5);
}

// Frames of different shape one after another: strings handed on from the frame
// before carry nothing of it.
TEST_F(Api, DrawListRecordsEachFrameAfresh) {
    const std::string lng = "a_sprite_name_well_past_fifteen_characters";
    struct Frame {
        std::vector<int> types;
        std::vector<std::string> names;
    } frames[] = {
        {{DRAW_IMAGE, DRAW_TEXT, DRAW_IMAGE}, {lng, "font", lng + "_b"}},
        {{DRAW_VIEW, DRAW_IMAGE, DRAW_RECT, DRAW_IMAGE}, {"", "s", "", lng}},
        {{DRAW_IMAGE, DRAW_IMAGE, DRAW_IMAGE, DRAW_IMAGE, DRAW_TEXT}, {lng, lng, "x", lng, "f"}},
    };
    for (const Frame& f : frames) {
        api->clear();
        for (size_t i = 0; i < f.types.size(); i++) {
            if (f.types[i] == DRAW_VIEW) api->view(1, 2, 3, 4);
            if (f.types[i] == DRAW_RECT) api->rect_draw(0xFF, 1, 2, 3, 4);
            if (f.types[i] == DRAW_IMAGE) api->image_draw(f.names[i], 0xFFFFFF, 255, 1, 2, 3, 4, 0);
            if (f.types[i] == DRAW_TEXT) api->font_draw(f.names[i], 12, "hi", 0xFFFFFF, 255, 1, 2);
        }
        ASSERT_EQ(api->draw_list.size(), f.types.size());
        for (size_t i = 0; i < f.types.size(); i++) {
            const DrawCmd& c = api->draw_list[i];
            EXPECT_EQ(c.type, f.types[i]) << i;
            EXPECT_EQ(c.name, f.names[i]) << i;
            EXPECT_EQ(c.text, f.types[i] == DRAW_TEXT ? "hi" : "") << i;
            EXPECT_EQ(c.x, 1.0f) << i;
        }
    }
}
