// Event records to script dictionaries: names, keys, controller names, resize
// parameters and the view mapping of pointer events (real GL view under Xvfb).
#include <SDL.h>

#include <string>
#include <vector>

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_base.h"
#include "src/mods_misc/mods_event.h"
#include "tests/engine/gfx_test_util.h"
#include "util/kel_var.h"

// A mod that keeps every event dict it is given.
class Recorder : public ModsBase {
public:
    std::vector<var> events;
    void event(var ev) override { events.push_back(ev); }
    int override_mask() const override { return OP_EVENT; }
};

class EventDict : public ::testing::Test {
protected:
    void SetUp() override {
        game = Game();
        api = new ModsAPI(&game);
        game.api = api;
        game.mod = &mod;
    }
    void TearDown() override { delete api; }

    var send(Event e) {
        size_t before = mod.events.size();
        mods_event_translate(&game, e);
        return mod.events.size() > before ? mod.events.back() : var();
    }
    static Event make(int type, float x = 0, float y = 0, float dx = 0, float dy = 0) {
        Event e = Event();
        e.type = type;
        e.x = x;
        e.y = y;
        e.dx = dx;
        e.dy = dy;
        return e;
    }

    Game game;
    ModsAPI* api = nullptr;
    Recorder mod;
};

TEST_F(EventDict, CommonKeysAndTypeNames) {
    Event e = make(EVT_MOUSEDOWN, 10, 20);
    e.button = 1;
    var d = send(e);
    ASSERT_EQ(d.type(), 4);
    EXPECT_EQ(d.len(), 10);
    EXPECT_EQ(d["type"].str(), "mousedown");
    EXPECT_EQ(d["x"].number(), 10);  // mouse events stay in window coordinates
    EXPECT_EQ(d["y"].number(), 20);
    EXPECT_EQ(d["button"].number(), 1);
    EXPECT_EQ(d["text"].str(), "");
    for (const char* k : {"w", "h", "dx", "dy", "device"}) EXPECT_EQ(d[k].number(), 0) << k;

    const struct { int code; const char* name; } names[] = {
        {2, "suspend"}, {17, "touchup"}, {19, "joyremoved"}, {23, "joyhat"}, {24, "?"}, {32, "?"}};
    for (auto& n : names) {
        d = send(make(n.code));
        ASSERT_EQ(d.type(), 4) << n.code;
        EXPECT_EQ(d["type"].str(), n.name);
    }
    size_t count = mod.events.size();
    send(make(0));
    send(make(30));
    send(make(31));
    EXPECT_EQ(mod.events.size(), count);  // never delivered
}

TEST_F(EventDict, KeyAndTextEvents) {
    SDL_Init(SDL_INIT_VIDEO);  // the key map comes with the video subsystem
    Event k = make(EVT_KEYDOWN);
    k.sym = SDLK_a;
    k.key = DRIVER_KEY_A;
    k.button = DRIVER_MOD_SHIFT;
    var d = send(k);
    EXPECT_EQ(d["key"].number(), SDLK_a);
    EXPECT_EQ(d["name"].str(), "A");
    EXPECT_EQ(d["button"].number(), 1);
    EXPECT_EQ(d["text"].str(), "");

    Event t = make(EVT_KEYDOWN);
    t.unicode = 'a';
    d = send(t);
    EXPECT_EQ(d["text"].str(), "a");
    EXPECT_EQ(d["key"].number(), 0);
    EXPECT_EQ(d["name"].str(), "");

    t.unicode = 0xE9;  // one byte: the fonts draw Latin-1 codes
    EXPECT_EQ(send(t)["text"].str(), "\xE9");
    t.unicode = 0x20AC;  // no byte of its own: not the low byte 0xAC
    EXPECT_EQ(send(t)["text"].str(), "?");

    Event up = make(EVT_KEYUP);
    up.sym = SDLK_RETURN;
    EXPECT_EQ(send(up)["name"].str(), "Return");
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

TEST_F(EventDict, ControllerNames) {
    const struct { int button; const char* name; } names[] = {
        {SDL_CONTROLLER_BUTTON_A, "A"}, {SDL_CONTROLLER_BUTTON_DPAD_UP, "Up"},
        {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, "RS"}, {SDL_CONTROLLER_BUTTON_GUIDE, "guide"},
        {99, ""}, {-1, ""}};
    for (auto& n : names) {
        Event e = make(EVT_JOYDOWN);
        e.button = n.button;
        var d = send(e);
        EXPECT_EQ(d["name"].type(), 2);
        EXPECT_EQ(d["name"].str(), n.name) << n.button;
    }
    Event m = make(EVT_JOYMOTION, -1.0f);
    m.button = -1;
    EXPECT_EQ(send(m)["name"].str(), "Left");
    m.button = 1;
    EXPECT_EQ(send(m)["name"].str(), "Right");
    EXPECT_EQ(send(m)["x"].number(), -1.0);
}

TEST_F(EventDict, ResizeSetsWindowParametersFirst) {
    // The mod sees the new size in the parameters while handling the event.
    class Checker : public ModsBase {
    public:
        ModsAPI* api = nullptr;
        double w = 0, h = 0;
        void event(var) override {
            w = api->params_get("window_w").number();
            h = api->params_get("window_h").number();
        }
        int override_mask() const override { return OP_EVENT; }
    } checker;
    checker.api = api;
    game.mod = &checker;
    driver_screen_size_set(800, 600);  // measured by the input layer before the record
    Event e = make(EVT_RESIZE);
    e.width = 800;
    e.height = 600;
    mods_event_translate(&game, e);
    EXPECT_EQ(checker.w, 800);
    EXPECT_EQ(checker.h, 600);
    game.mod = &mod;
}

// Pointer events through a real view: a 320 x 200 view letterboxed in a 640 x 480 window
// is scaled by 2 with 40-pixel bands above and below.
TEST_F(EventDict, PointerEventsInViewCoordinates) {
    gfxt::gl_up(640, 480);
    api->params_set("view_x", var(0));
    api->params_set("view_y", var(0));
    api->params_set("view_w", var(320));
    api->params_set("view_h", var(200));
    var d = send(make(EVT_DOWN, 100, 140));
    EXPECT_FLOAT_EQ(d["x"].number(), 50);
    EXPECT_FLOAT_EQ(d["y"].number(), 50);

    api->params_set("view_x", var(10));  // scrolled view
    d = send(make(EVT_MOTION, 100, 140, 20, -8));
    EXPECT_FLOAT_EQ(d["x"].number(), 60);
    EXPECT_FLOAT_EQ(d["dx"].number(), 10);
    EXPECT_FLOAT_EQ(d["dy"].number(), -4);
    EXPECT_FLOAT_EQ(api->params_get("view_scale").number(), 2);

    d = send(make(EVT_WHEEL, 0, 40, 0, -1));
    EXPECT_FLOAT_EQ(d["x"].number(), 10);
    EXPECT_FLOAT_EQ(d["y"].number(), 0);
    EXPECT_FLOAT_EQ(d["dy"].number(), -0.5);
    // the generic form alone is mapped
    EXPECT_FLOAT_EQ(send(make(EVT_MOUSEMOTION, 100))["x"].number(), 100);
    gfxt::gl_down();
}
