// A menu game end to end, in process: a 3 x 3 grid of buttons driven by arrow keys
// pushed through SDL's event queue, a virtual game controller's d-pad, stick and A
// button, and the mouse; an overlay dialog that takes the input while it is up; the
// focus colour read back from the framebuffer. The script prints what it receives.
#include "tests/app/game_test_util.h"
#include "tests/engine/gfx_test_util.h"
#include "util/kel_driver-audio.h"

using namespace gfxt;

// A 640 x 480 window shows the 320 x 240 view at twice its size. The grid is centred:
// button (row r, column c) covers view x 60 + 70c .. 120 + 70c, y 50 + 50r .. 90 + 50r.
static const char* kScript = R"(
local function gui(name, t) return json_decode(kel_ext_call(name, json_encode(t))) end

function _init()
  kel_params_set("view_w", 320)
  kel_params_set("view_h", 240)
  gui("gui:set", { root = 0, align = "centre", justify = "centre", spacing = 10 })
  gui("gui:set", { root = 1, align = "centre", justify = "centre" })
  for r = 1, 3 do
    assert(gui("gui:add", { name = "r" .. r, kind = "container", direction = "row", spacing = 10 }))
    for c = 1, 3 do
      local n = "b" .. r .. c
      assert(gui("gui:add", { parent = "r" .. r, name = n, width = 60, height = 40,
        background = 0x404040, focused = { background = 0xff8000 },
        both = { background = 0xff8000 }, on = { focus = n, click = "click " .. n },
        sounds = { focus = "../tests/data/audio/beep" } }))
    end
  end
  assert(gui("gui:focus", { name = "b11" }))
  local b = gui("gui:get", { name = "b23" })
  print(string.format("box %d %d %d %d", b.x, b.y, b.width, b.height))
end

function _loop(dt) end

function _event(e)
  if e.type == "gui" then
    print("gui " .. e.name .. " " .. tostring(e.value))
    if e.value == "click b31" then
      gui("gui:add", { root = 1, name = "ok", width = 80, height = 40,
        background = 0x00c0ff, label = "OK", colour = 0, on = { click = "ok" } })
      gui("gui:focus", { name = "ok" })
    elseif e.value == "ok" then
      gui("gui:clear", { root = 1 })
    end
  elseif e.type == "keydown" and e.name == "X" then
    error("boom")
  elseif e.type == "keydown" or e.type == "down" or e.type == "mousedown" or e.type == "joydown" then
    print("event " .. e.type .. " " .. tostring(e.name))
  end
end

function _paint()
  kel_view_set(0, 0, 320, 240)
  kel_rect_draw(0x000010, 0, 0, 320, 240)
end
)";

class GuiGame : public GameRun {
protected:
    void SetUp() override {
        data_dir_make();
        file_write("main.lua", kScript);
        // SDL drops controller input while the window lacks the focus, which another
        // test's window on the same display may hold.
        setenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS", "1", 1);
        setenv("KEL_BENCH_UNLIMITED", "1", 1);
        // The bundled data, for the label font.
        run({"kelgame", "-mod", data_dir() + "/main.lua", "-datadir", KEL_SOURCE_DIR "/data",
             "-width", "640", "-height", "480"});
        ASSERT_TRUE(driver_video_window()) << driver_video_error();
        frame();
    }
    void TearDown() override {
        GameRun::TearDown();
        unsetenv("KEL_BENCH_UNLIMITED");
        rm_rf(data_dir());
    }
    // A press and its release, then a frame.
    static void press(Uint32 down, Uint32 up, SDL_Keycode sym, int x = 0, int y = 0) {
        for (Uint32 type : {down, up}) {
            SDL_Event ev = SDL_Event();
            ev.type = type;
            if (sym) ev.key.keysym.sym = sym;
            else ev.button.button = SDL_BUTTON_LEFT, ev.button.x = x, ev.button.y = y;
            ASSERT_EQ(SDL_PushEvent(&ev), 1);
        }
        frame();
    }
    static void key(SDL_Keycode sym) { press(SDL_KEYDOWN, SDL_KEYUP, sym); }
    static void click(int x, int y) { press(SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP, 0, x, y); }
    void stick(Sint16 x, Sint16 y) {
        SDL_JoystickSetVirtualAxis(js, SDL_CONTROLLER_AXIS_LEFTX, x);
        SDL_JoystickSetVirtualAxis(js, SDL_CONTROLLER_AXIS_LEFTY, y);
        frame();
    }
    static int rgb(int x, int y) {
        Rgba p = pixel(x, y);
        return p.r << 16 | p.g << 8 | p.b;
    }
};

TEST_F(GuiGame, KeysPadMouseOverlayAndFocusColour) {
    EXPECT_EQ(printed(), Lines({"box 200 100 60 40"}));

    // Arrow keys: the tree answers with the focus values; the script never sees them.
    // Each new focus plays the button's sound (counted with the device paused, so no
    // voice ends meanwhile).
    _driver_audio_pause(1);
    size_t voices = _driver_audio_voices().size();
    key(SDLK_RIGHT);
    EXPECT_EQ(_driver_audio_voices().size(), voices + 1);
    _driver_audio_pause(0);
    for (SDL_Keycode k : {SDLK_RIGHT, SDLK_DOWN, SDLK_LEFT, SDLK_UP, SDLK_UP}) key(k);
    key(SDLK_a);  // not the tree's: delivered as usual
    EXPECT_EQ(printed(), Lines({"gui b12 b12", "gui b13 b13", "gui b23 b23", "gui b22 b22",
                                "gui b12 b12", "event keydown A"}));

    // A virtual controller: d-pad, left stick (once per push), then A picks.
    js = pad_attach("Test Pad");
    ASSERT_TRUE(js);
    frame();
    pad_button(SDL_CONTROLLER_BUTTON_DPAD_DOWN);
    pad_button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
    stick(-32768, 0);
    stick(-30000, 1000);  // still held left: no second step
    stick(0, 0);
    stick(0, 32767);
    stick(0, 0);
    pad_button(SDL_CONTROLLER_BUTTON_A);
    pad_button(SDL_CONTROLLER_BUTTON_B);  // not the tree's
    EXPECT_EQ(printed(), Lines({"gui b22 b22", "gui b23 b23", "gui b22 b22", "gui b32 b32",
                                "gui b32 click b32", "event joydown B"}));

    // The mouse: press and release on b31 (view 60..120, 150..190) clicks it; the
    // press is delivered neither as "mousedown" nor as "down". The click opens the
    // overlay dialog.
    click(2 * 90, 2 * 170);
    EXPECT_EQ(printed(), Lines({"gui b31 click b31"}));
    frame();
    // b31 has the focus colour, b11 the normal one, the dialog sits above the grid.
    EXPECT_EQ(rgb(2 * 90, 2 * 170), 0xff8000);
    EXPECT_EQ(rgb(2 * 90, 2 * 70), 0x404040);
    EXPECT_EQ(rgb(250, 210), 0x00c0ff);
    // Its black label is drawn in the middle of the button (view 120..200, 100..140).
    std::vector<unsigned char> px(160 * 80 * 4);
    glReadPixels(240, 480 - 280, 160, 80, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    int dark = 0;
    for (size_t i = 0; i < px.size(); i += 4) dark += px[i] + px[i + 1] + px[i + 2] < 150;
    EXPECT_GT(dark, 30);

    // While the dialog is up it takes the keys: the grid's focus stays where it was,
    // Escape still reaches the script, return picks "ok", which closes the dialog.
    key(SDLK_UP);
    key(SDLK_ESCAPE);
    key(SDLK_RETURN);
    key(SDLK_UP);
    EXPECT_EQ(printed(), Lines({"event keydown Escape", "gui ok ok", "gui b21 b21"}));
    frame();
    EXPECT_EQ(pixel(320, 240).b, 64);  // the dialog is gone: b22 shows again
    click(20, 20);                     // beside the menu: the game's own click
    EXPECT_EQ(printed(), Lines({"event mousedown nil", "event down nil"}));

    // A failed script keeps its last frame, with the menu on it (b21 has the focus).
    key(SDLK_x);
    frame();
    EXPECT_EQ(rgb(2 * 90, 2 * 120), 0xff8000);
}
