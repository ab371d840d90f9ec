// The windowed game end to end, in process: start with a window, a script painting a
// letterboxed frame, its last frame kept after it fails with the console drawn over it,
// F5 restarting it, Ctrl+` showing the console over a running game, Ctrl+F re-creating
// the window (textures survive), Ctrl+Q ending the loop.
#include "src/mods_misc/mods_console.h"
#include "tests/app/game_test_util.h"
#include "tests/engine/gfx_test_util.h"

using namespace gfxt;

static const char* kScript = R"(
local frames = 0
function _init() print("one", "two", "three", "four") end
function _loop(dt) end
function _event(e) end
function _paint()
  frames = frames + 1
  kel_view_set(0, 0, 320, 200)
  kel_rect_draw(0xff0000, 0, 0, 320, 200)
  kel_image_draw("white", 10, 10, 32, 32)
  if frames == 3 then error("boom") end
  kel_rect_draw(0x00ff00, 300, 0, 20, 20)
end
)";

static Event key(int code, int mods = 0) {
    Event e = Event();
    e.type = EVT_KEYDOWN;
    e.key = code;
    e.button = mods;
    return e;
}

// Pixels of the red view's lowest rows (window y 400..439) darker than the view's red:
// where the console's band covers the frame.
static int dimmed() {
    int n = 0;
    for (int y = 400; y < 440; y += 4)
        for (int x = 4; x < 640; x += 8) n += pixel(x, y).r < 128;
    return n;
}

// Light pixels of the lower half (window y 240..479): the console's letters, as the red
// view has no green and the band dims it further.
static int letters() {
    std::vector<uint8_t> px = gfx_read_rgba(0, 0, 640, 240);  // GL rows: the lower half
    int n = 0;
    for (size_t i = 0; i < px.size(); i += 4) n += px[i + 1] > 100;
    return n;
}

struct GameWindow : GameRun {
    static void frame() {  // without events: the window's own would take their turn
        game_loop();
        game_paint();
    }
};

TEST_F(GameWindow, PaintsFailsKeepsFrameAndRecreatesWindow) {
    data_dir_make();
    png_write("white.png", 8, 8, [](int, int) { return 0xFFFFFFFFu; });
    file_write("main.lua", kScript);
    // A game without any font: the console draws with kelgame's own.
    run({"kelgame", "-mod", data_dir() + "/main.lua", "-datadir", data_dir(), "-width", "640",
         "-height", "480"});
    ASSERT_TRUE(driver_video_window()) << driver_video_error();
    setenv("KEL_BENCH_UNLIMITED", "1", 1);
    EXPECT_FALSE(lit(320, 240));  // a cleared frame is shown while the script loads

    // Frames 1 and 2: red view letterboxed with 40-pixel bands, image, green corner.
    frame();
    frame();
    // The swapped frame is read back from the back buffer, which llvmpipe keeps.
    EXPECT_FALSE(lit(320, 20));
    EXPECT_GT(pixel(320, 240).r, 200);
    EXPECT_GT(pixel(40, 80).g, 200);  // the white image at view (10..42, 10..42)
    EXPECT_GT(pixel(630, 50).g, 200);
    EXPECT_EQ(dimmed(), 0);
    EXPECT_EQ(letters(), 0);
    Game* g = game_current();
    ASSERT_TRUE(g && g->api);
    EXPECT_EQ(g->api->params["window_w"].to_int(), 640);
    EXPECT_FLOAT_EQ(g->api->params["view_scale"].to_float(), 2.0f);

    // Frame 3 fails half way; from then on the last recorded list is replayed, with
    // the console's band over its lower part (the error, the hint line).
    frame();
    frame();
    EXPECT_GT(pixel(320, 240).r, 200);
    EXPECT_GT(pixel(40, 80).g, 200);
    EXPECT_TRUE(mods_console_open());
    EXPECT_GT(dimmed(), 500);
    EXPECT_LT(dimmed(), 800);  // minus the letters
    EXPECT_GT(letters(), 200);

    // F5 starts the script afresh: the full frame again, the console closed; Ctrl+`
    // shows it over the running game and hides it again.
    game_event(key(DRIVER_KEY_F1 + 4));
    frame();
    EXPECT_FALSE(mods_console_open());
    EXPECT_GT(pixel(630, 50).g, 200);
    EXPECT_EQ(dimmed(), 0);
    game_event(key(DRIVER_KEY_BACKQUOTE, DRIVER_MOD_CTRL));
    frame();
    EXPECT_GT(dimmed(), 500);
    EXPECT_GT(pixel(630, 50).g, 200);
    game_event(key(DRIVER_KEY_BACKQUOTE, DRIVER_MOD_CTRL));
    frame();  // frame 3 of the new state fails: the console opens by itself
    EXPECT_TRUE(mods_console_open());

    // Ctrl+F: full screen, the same GL context and textures in the new window.
    void* ctx = driver_video_context();
    game_event(key(DRIVER_KEY_A + ('f' - 'a'), DRIVER_MOD_CTRL));
    EXPECT_EQ(g->fullscreen, 1);
    EXPECT_EQ(driver_video_context(), ctx);
    EXPECT_TRUE(SDL_GetWindowFlags(driver_video_window()) & SDL_WINDOW_FULLSCREEN);
    int w, h;
    driver_screen_size_get(&w, &h);
    frame();
    float s = std::min(w / 320.0f, h / 200.0f);
    int top = (int)((h - 200 * s) / 2), left = (int)((w - 320 * s) / 2);
    EXPECT_GT(pixel(w / 2, h / 2).r, 200);
    EXPECT_GT(pixel(left + (int)(26 * s), top + (int)(26 * s)).g, 200);  // image still there
    if (top > 1) {
        EXPECT_FALSE(lit(w / 2, top - 2));
    }

    // Ctrl+F again: back to a window; Ctrl+Q ends the loop.
    game_event(key(DRIVER_KEY_A + ('f' - 'a'), DRIVER_MOD_CTRL));
    EXPECT_EQ(g->fullscreen, -1);
    EXPECT_FALSE(SDL_GetWindowFlags(driver_video_window()) & SDL_WINDOW_FULLSCREEN);
    EXPECT_EQ(game_quit(-1), 0);
    game_event(key(DRIVER_KEY_A + ('q' - 'a'), DRIVER_MOD_CTRL));
    EXPECT_EQ(game_quit(-1), 1);
    unsetenv("KEL_BENCH_UNLIMITED");
    rm_rf(data_dir());
}

// video:resize refuses sizes no window can have, tells the script the size the window
// got, and an error in the _event it runs inside the script's call fails the script.
TEST_F(GameWindow, ResizeSizesAndAFailingResizeEvent) {
    data_dir_make();
    file_write("main.lua", "function _init() end function _event(e) if e.type == 'resize' then print(e.w .. 'x' .. e.h) "
                           "assert(e.w ~= 400) end end "
                           "function resize(a) kel_ext_call('video:resize', a) return 'back' end");
    run({"kelgame", "-mod", data_dir() + "/main.lua", "-width", "640", "-height", "480"});
    ASSERT_TRUE(driver_video_window()) << driver_video_error();
    int w, h;
    for (const char* bad : {R"({"width":1e30,"height":300})", R"({"width":300,"height":-1})"}) {
        EXPECT_EQ(call("resize", bad), "back");
        EXPECT_EQ(printed(), Lines()) << bad;
    }
    SDL_GetWindowSize(driver_video_window(), &w, &h);
    EXPECT_EQ(w * 10000 + h, 640 * 10000 + 480);
    call("resize", R"({"width":0,"height":0})");  // the default size
    SDL_GetWindowSize(driver_video_window(), &w, &h);
    EXPECT_GT(w, 0);
    EXPECT_EQ(printed(), Lines({std::to_string(w) + "x" + std::to_string(h)}));
    EXPECT_EQ(call("resize", R"({"width":400,"height":300})"), "back");
    EXPECT_EQ(printed().at(0), "400x300");  // then the error and its traceback
    EXPECT_FALSE(game_current()->mod->is_okay());
    rm_rf(data_dir());
}
