// The kel_* wrappers in a real Lua host: argument rules, defaults, recording,
// pending errors as catchable Lua errors, and the module loader seen from scripts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <lua.hpp>
#include <string>

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_api/mods_module.h"
#include "src/mods_lua/mods_lua.h"
#include "util/kel_driver.h"

namespace {

void write_file(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f) << path;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

class ApiLua : public ::testing::Test {
protected:
    Game game{};
    ModsAPI* api = nullptr;
    ModsLua* mod = nullptr;
    std::string dir;

    void SetUp() override {
        driver_init(DRIVER_INIT_TIMER);
        char tmpl[] = "/tmp/kel_apilua_XXXXXX";
        dir = mkdtemp(tmpl);
        snprintf(game.script_path, sizeof game.script_path, "%s/main.lua", dir.c_str());
        api = new ModsAPI(&game);
        mod = new ModsLua(api);
        game.api = api;
        game.mod = mod;
    }
    void TearDown() override {
        delete mod;
        delete api;
        driver_deinit();
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    // Runs a chunk; a failed assert shows up as the console's newest line.
    void run(const std::string& code) {
        int status = mods_lua_run(mod->L, code.c_str(), "t");
        ASSERT_EQ(status, 0) << (api->console_lines.empty() ? "" : api->console_lines.front());
    }
};

}  // namespace

TEST_F(ApiLua, ArgumentCountsAndStringRules) {
    run(R"(
        local function err(f, ...)
            local ok, e = pcall(f, ...)
            assert(not ok, "no error")
            return e
        end
        local n = "incorrect number of arguments"
        assert(err(kel_rect_draw, 1, 2, 3, 4) == n)
        assert(err(kel_rect_draw, 1, 2, 3, 4, 5, 6) == n)
        assert(err(kel_image_draw, "a", 1, 2, 3, 4, 5, 6, 7, 8) == n)
        assert(err(kel_params_get) == n)
        assert(err(kel_file_save, "x") == n)
        assert(err(kel_font_size, "f", 1) == n)
        assert(err(kel_ext_call) == n)
        assert(err(require) == n)
        local s = "null string"
        assert(err(kel_image_draw, nil, 1, 2, 3, 4) == s)
        assert(err(kel_params_get, {}) == s)
        assert(err(kel_params_set, "k", {}) == s)
        assert(err(kel_file_load, print) == s)
        assert(err(kel_ext_call, "md5_digest", {}) == s)
        assert(err(require, nil) == s)
        -- numbers convert to strings like any Lua string argument
        kel_params_set(12, "twelve")
        assert(kel_params_get("12") == "twelve")
    )");
    EXPECT_TRUE(api->draw_list.empty());
}

TEST_F(ApiLua, DrawingRecordsCommandsWithDefaults) {
    run(R"(
        kel_view_set(1, 2, 320, 240)
        kel_image_draw("hero", 10, 20, 32, 48, 90)
        kel_image_draw("hero", 0, 0, -16, 16, 0, 0x102030, -128)
        kel_rect_draw(0xFF00FF, 5, 6, 7, 8)
        kel_font_draw("sans", 12, "hi", 3, 4)
        kel_font_draw("sans", 12, "hey", 3, 4, 0x00FF00, 100)
        local w, h = kel_font_size("sans", 12, "hi")
        assert(type(w) == "number" and type(h) == "number")
    )");
    const auto& d = api->draw_list;
    ASSERT_EQ(d.size(), 6u);
    EXPECT_EQ(d[0].type, DRAW_VIEW);
    EXPECT_EQ(d[0].w, 320.0f);
    EXPECT_EQ(d[1].type, DRAW_IMAGE);
    EXPECT_EQ(d[1].name, "hero");
    EXPECT_EQ(d[1].rot, 90.0f);  // the sixth argument is the rotation
    EXPECT_EQ(d[1].colour, 0xFFFFFFu);
    EXPECT_EQ(d[1].alpha, 255);
    EXPECT_EQ(d[1].h, 48.0f);
    EXPECT_EQ(d[2].w, -16.0f);
    EXPECT_EQ(d[2].colour, 0x102030u);
    EXPECT_EQ(d[2].alpha, -128);
    EXPECT_EQ(d[3].type, DRAW_RECT);
    EXPECT_EQ(d[3].colour, 0xFF00FFu);
    EXPECT_EQ(d[3].x, 5.0f);
    EXPECT_EQ(d[4].type, DRAW_TEXT);
    EXPECT_EQ(d[4].size, 12);
    EXPECT_EQ(d[4].text, "hi");
    EXPECT_EQ(d[4].colour, 0xFFFFFFu);
    EXPECT_EQ(d[4].alpha, 255);
    EXPECT_EQ(d[5].colour, 0x00FF00u);
    EXPECT_EQ(d[5].alpha, 100);
    api->clear();
    EXPECT_TRUE(api->draw_list.empty());
}

TEST_F(ApiLua, ParamsCrossAsPlainValues) {
    run(R"(
        assert(kel_params_get("never") == nil)
        kel_params_set("n", 1.5)      assert(kel_params_get("n") == 1.5)
        kel_params_set("b", false)    assert(kel_params_get("b") == false)
        kel_params_set("s", "a\0b")   assert(kel_params_get("s") == "a")
        kel_params_set("z", nil)      assert(kel_params_get("z") == nil)
    )");
    EXPECT_TRUE(api->params.has("never"));
    EXPECT_EQ(api->params["n"].number(), 1.5);
    EXPECT_EQ(api->params["b"].type(), 5);
}

TEST_F(ApiLua, FilesShadowAndTruncateAtNul) {
    std::string data = dir + "/data";
    mkdir(data.c_str(), 0755);
    api->params_set("datadir", var(data));
    write_file(data + "/level.txt", std::string("lv\0l1", 5));
    run(R"(
        assert(kel_file_load("level.txt") == "lv\0l1")  -- loads keep every byte
        assert(kel_file_load("absent.txt") == "")
        kel_file_save("level.txt", "mine\0lost")
        assert(kel_file_load("level.txt") == "mine")    -- the user file wins
        kel_file_save("other.txt", "two", true)
        assert(kel_file_load("other.txt", true) == "two")
        assert(kel_file_load("other.txt") == "two")
    )");
    unlink("level.txt");
    unlink("other.txt");
    api->params_set("datadir", var(""));
}

TEST_F(ApiLua, RequireFromScripts) {
    write_file(dir + "/counter.lua", "count = (count or 0) + 1 return 42");
    write_file(dir + "/broken.lua", "this is not ( lua");
    write_file(dir + "/raises.lua", "raised_before = true error('boom')");
    write_file(dir + "/filtered.lua", "value = 'ORIGINAL'");
    write_file(dir + "/a.b", "ab = true");
    run(R"(
        assert(require("counter") == nil)   -- the module's value is not returned
        require("lib/counter") require("counter.lua")
        assert(count == 1)
        local ok, e = pcall(require, "missing")
        assert(not ok and e == "file missing")
        require("broken")                   -- reported, not raised
        require("raises")
        assert(raised_before)
        require("a.b")
        assert(ab)
        function upper(src) return (src:gsub("ORIGINAL", "FILTERED")) end
        kel_params_set("require_filter_callback", "upper")
        require("filtered")
        assert(value == "FILTERED")
    )");
    EXPECT_TRUE(mod->is_okay());
    bool reported = false;
    for (const std::string& l : api->console_lines)
        if (l.find("kelgame: ") == 0 && l.find("broken.lua") != std::string::npos) reported = true;
    EXPECT_TRUE(reported);
    // A filter that names no function fails the call; the module then runs empty
    // and the mod is sound again.
    write_file(dir + "/later.lua", "later = true");
    run(R"(
        kel_params_set("require_filter_callback", "no_such_function")
        require("later")
        assert(later == nil)
    )");
    EXPECT_TRUE(mod->is_okay());
}

TEST_F(ApiLua, EntryScriptMissingLeavesErrorForNextCall) {
    mods_reload(&game);  // main.lua does not exist
    EXPECT_EQ(api->error_flag, 1);
    EXPECT_EQ(api->console_lines[0],
              "ModsAPI::require(\"" + std::string(game.script_path) + "\") file missing");
    // The next checking API call raises it, once.
    run(R"(
        local ok, e = pcall(kel_params_get, "x")
        assert(not ok and e == "file missing")
        assert(pcall(kel_params_get, "x"))
    )");
}

TEST_F(ApiLua, ConsoleCapturesPrint) {
    run(R"(
        for i = 1, 300 do print("line " .. i) end
        print("a\r\nb", "c")
    )");
    ASSERT_EQ(api->console_lines.size(), 255u);
    EXPECT_EQ(api->console_lines[0], "c");
    EXPECT_EQ(api->console_lines[1], "b");
    EXPECT_EQ(api->console_lines[2], "a");
    EXPECT_EQ(api->console_lines[3], "line 300");
}

TEST_F(ApiLua, ExtensionCalls) {
    run(R"(
        assert(kel_ext_call("md5_digest") == "d41d8cd98f00b204e9800998ecf8427e")
        assert(kel_ext_call("md5_digest", "abc") == "900150983cd24fb0d6963f7d28e17f72")
        assert(kel_ext_call("no_such_name", '{"a":[1,2]}') == "null")
        assert(kel_ext_call("no_such_name") == "null")
        assert(kel_ext_call("no_such_name", "not json") == "null")
        assert(kel_ext_call("open_url", "http://example.com/") == "")
    )");
}

TEST_F(ApiLua, StreamStateFollowsPlayAndStop) {
    run(R"(
        kel_stream_stop("music")     -- not playing: nothing
        kel_stream_play("music", 0.5)
        kel_stream_play("music")     -- already playing: volume only
        kel_sample_play("jump")
        kel_sample_play("jump", 0.5, 1)
    )");
    EXPECT_EQ(api->stream_states["music"], 1);
    run("kel_stream_stop('music')");
    EXPECT_EQ(api->stream_states["music"], 0);
}
