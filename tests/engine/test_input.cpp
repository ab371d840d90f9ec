// Input polling through SDL's real event queue: events are pushed with SDL_PushEvent
// (or made by a virtual game controller) and read back as Event records. (Text and keys
// with their modifiers: the replayed games and test_event_e2e.)
#include <math.h>
#include <string.h>

#include <vector>

#include "tests/test_util.h"
#include "util/kel_driver-input.h"

class Input : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS), 0) << SDL_GetError(); }
    static void TearDownTestSuite() { SDL_Quit(); }
    void SetUp() override { drain(); }

    // Every record of this frame, type-0 records included.
    static std::vector<Event> drain() {
        std::vector<Event> out;
        Event e;
        for (int i = 0; i < 1000 && driver_event_poll(&e); i++) out.push_back(e);
        return out;
    }
    static std::vector<Event> delivered() {
        std::vector<Event> out;
        for (const Event& e : drain())
            if (e.type) out.push_back(e);
        return out;
    }
    template <class F>
    static void push(Uint32 type, F fill) {
        SDL_Event ev;
        memset(&ev, 0, sizeof ev);
        ev.type = type;
        fill(ev);
        ASSERT_EQ(SDL_PushEvent(&ev), 1);
    }
};

TEST_F(Input, WheelQuitIgnoredEventsAndKeyCodes) {
    push(SDL_MOUSEWHEEL, [](SDL_Event& e) { e.wheel.x = -2, e.wheel.y = 1; });
    push(SDL_WINDOWEVENT, [](SDL_Event& e) { e.window.event = SDL_WINDOWEVENT_MOVED; });
    push(SDL_QUIT, [](SDL_Event&) {});
    std::vector<Event> all = drain();
    ASSERT_EQ(all.size(), 3u);
    int mx, my;
    SDL_GetMouseState(&mx, &my);
    // at the pointer; scrolling up is a negative step
    EXPECT_EQ(std::vector<float>({(float)all[0].type, all[0].x, all[0].y, all[0].dx, all[0].dy}),
              std::vector<float>({EVT_WHEEL, (float)mx, (float)my, 2, -1}));
    EXPECT_EQ(all[1].type, 0);  // only resizes become window events
    EXPECT_EQ(all[2].type, EVT_QUIT);
    // key code ranges whose SDL codes are not in engine order
    const int codes[][2] = {
        {SDLK_KP_0, 28}, {SDLK_KP_1, 29}, {SDLK_KP_9, 37}, {SDLK_F12, 25}, {SDLK_PAGEDOWN, 78}};
    for (auto& c : codes) EXPECT_EQ(driver_key_code(c[0]), c[1]) << c[0];
}

// A virtual game controller feeds SDL's joystick layer, which makes the controller events.
class Controller : public Input {
protected:
    int attach(const char* name) {
        int index = -1;
        js = pad_attach(name, &index);
        return index;
    }
    void TearDown() override {
        pad_detach(js);
        drain();
    }
    // Moves an axis or sets a button of the last attached pad; what it delivered.
    std::vector<Event> axis(SDL_GameControllerAxis a, Sint16 v) {
        SDL_JoystickSetVirtualAxis(js, a, v);
        return delivered();
    }
    std::vector<Event> button(SDL_GameControllerButton b, Uint8 v) {
        SDL_JoystickSetVirtualButton(js, b, v);
        return delivered();
    }
    SDL_Joystick* js = nullptr;
};

TEST_F(Controller, SticksButtonsAndTriggers) {
    _driver_joystick_init();
    attach("Test Pad");
    int id = SDL_JoystickInstanceID(js);
    std::vector<Event> got = delivered();  // device added: opened and announced
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0].type == EVT_JOYADDED && got[0].device == id) << got[0].type;

    SDL_JoystickSetVirtualAxis(js, SDL_CONTROLLER_AXIS_LEFTY, 16384);
    got = axis(SDL_CONTROLLER_AXIS_LEFTX, -32768);
    ASSERT_FALSE(got.empty());
    // Both axes are read fresh, so every event carries the whole position.
    for (const Event& e : got)
        EXPECT_TRUE(e.type == EVT_JOYMOTION && e.button == -1 && e.device == id &&
                    fabsf(e.x + 1.0f) < 1e-6f && fabsf(e.y - 0.5f) < 1e-6f) << e.x << " " << e.y;

    got = axis(SDL_CONTROLLER_AXIS_RIGHTX, 32767);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].button, 1);
    EXPECT_NEAR(got[0].x, 1.0f, 1e-4);

    // Triggers: x from 0 (released) to 1 (pulled), button -2 left, 2 right.
    const struct { SDL_GameControllerAxis axis; Sint16 v; int button; float x; } pulls[] = {
        {SDL_CONTROLLER_AXIS_TRIGGERLEFT, 32767, -2, 1.0f},
        {SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 0, 2, 0.5f},  // a joystick axis: -1 to 1 maps to 0 to 1
        {SDL_CONTROLLER_AXIS_TRIGGERRIGHT, -32768, 2, 0.0f},
    };
    for (auto& p : pulls) {
        got = axis(p.axis, p.v);
        ASSERT_EQ(got.size(), 1u) << p.v;
        EXPECT_TRUE(got[0].type == EVT_JOYMOTION && got[0].button == p.button &&
                    got[0].device == id && got[0].y == 0.0f) << p.v;
        EXPECT_NEAR(got[0].x, p.x, 0.01) << p.v;
    }

    for (int down : {1, 0}) {
        got = button(SDL_CONTROLLER_BUTTON_B, (Uint8)down);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ((std::vector<int>{got[0].type, got[0].button, got[0].device}),
                  (std::vector<int>{down ? EVT_JOYDOWN : EVT_JOYUP, SDL_CONTROLLER_BUTTON_B, id}));
    }

    // Unplugged: the axes centre, then it is announced; plugged in again, it comes back
    // under a new id.
    pad_detach(js);
    got = delivered();
    ASSERT_FALSE(got.empty());
    EXPECT_TRUE(got.back().type == EVT_JOYREMOVED && got.back().device == id) << got.back().type;
    got.pop_back();
    for (const Event& e : got) EXPECT_TRUE(e.type == EVT_JOYMOTION && e.x == 0.0f) << e.type;
    attach("Test Pad");
    got = delivered();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0].type == EVT_JOYADDED && got[0].device == SDL_JoystickInstanceID(js));
}

TEST_F(Controller, AdcDevicesNeverBecomeControllerEvents) {
    _driver_joystick_init();
    // An ordinary pad first, so the ADC device's instance id differs from its index.
    int pad = attach("Other Pad");
    SDL_Joystick* first = js;
    EXPECT_EQ(delivered().size(), 1u);  // the pad's joyadded
    int index = attach("adc-keys");
    EXPECT_EQ(driver_joystick_is_adc(index), 1);
    EXPECT_EQ(driver_joystick_is_adc(pad), 0);
    EXPECT_TRUE(delivered().empty());  // not announced
    EXPECT_TRUE(button(SDL_CONTROLLER_BUTTON_A, 1).empty());
    EXPECT_TRUE(axis(SDL_CONTROLLER_AXIS_LEFTX, 20000).empty());
    pad_detach(first);
}

// Key names come from the code alone, so they are the same with or without video; they
// must still be SDL's names. Every character code and every scancode-based code.
TEST(KeyNames, MatchSdlForEveryCode) {
    int bad = 0;
    auto check = [&](int sym) {
        std::string want = SDL_GetKeyName(sym), got = driver_key_name(sym);
        if (got != want && ++bad <= 10)
            ADD_FAILURE() << sym << ": \"" << got << "\", SDL \"" << want << "\"";
    };
    for (int sym = 0; sym <= 0x10FFFF; sym++) check(sym);
    for (int sc = 0; sc < SDL_NUM_SCANCODES; sc++) check(SDL_SCANCODE_TO_KEYCODE(sc));
    EXPECT_EQ(bad, 0);
}
