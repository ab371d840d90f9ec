// The bundled game (data/main.lua) played in process under Xvfb with injected input:
// the title menu by keys, a round steered by keys, the mouse and a virtual controller
// and lost, the high score saved into the user area, a screenshot, a restart that
// still knows the score, and Alt+Q as one burst of events ending it. The round has one life ("-lives 1"); once steered it runs
// eight times as fast (its "pace" parameter), so the whole game takes a few seconds.
// The script prints what happens.
#include <SDL2/SDL.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "../engine/gfx_test_util.h"
#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_base.h"
#include "src/mods_misc/mods_restart.h"
#include "util/kel_driver-audio.h"

using namespace gfxt;

class BundledGame : public ::testing::Test {
protected:
    void SetUp() override {
        if (KEL_TIMEOUT_SCALE > 1)
            GTEST_SKIP() << "a played round needs real-time frame rates, which the emulator's "
                            "software GL does not reach";
        char tmpl[] = "/tmp/kelgameXXXXXX";
        home = mkdtemp(tmpl);
        setenv("HOME", home.c_str(), 1);
        setenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS", "1", 1);
        args = {"kelgame", "-datadir", KEL_SOURCE_DIR "/data", "-width", "640", "-height", "480",
                "-lives", "1", "-seed", "7"};
        for (auto& a : args) argv.push_back(&a[0]);
        game_init((int)argv.size(), argv.data());
        ASSERT_TRUE(driver_video_window()) << driver_video_error();
    }
    void TearDown() override {
        if (js) SDL_JoystickClose(js);
        if (pad >= 0) SDL_JoystickDetachVirtual(pad);
        game_deinit();
        if (!home.empty()) {
            std::string cmd = "rm -rf '" + home + "'";
            if (system(cmd.c_str())) {}
        }
    }

    static void frame() {
        Event e;
        while (driver_event_poll(&e))
            if (e.type) game_event(e);
        game_loop();
        game_paint();
        Game* g = game_current();
        ASSERT_TRUE(g->mod && g->mod->is_okay());
    }
    static void push(Uint32 type, SDL_Keycode sym, Uint16 mod = KMOD_NONE) {
        SDL_Event ev = SDL_Event();
        ev.type = type;
        ev.key.keysym.sym = sym;
        ev.key.keysym.mod = mod;
        ASSERT_EQ(SDL_PushEvent(&ev), 1);
    }
    static void key(SDL_Keycode sym) {
        push(SDL_KEYDOWN, sym);
        push(SDL_KEYUP, sym);
        frame();
    }
    static void mouse(Uint32 type, int button, int x, int y) {
        SDL_Event ev = SDL_Event();
        ev.type = type;
        if (type == SDL_MOUSEMOTION) {
            ev.motion.x = x, ev.motion.y = y, ev.motion.state = SDL_BUTTON_LMASK;
        } else {
            ev.button.button = (Uint8)button;
            ev.button.x = x, ev.button.y = y;
        }
        ASSERT_EQ(SDL_PushEvent(&ev), 1);
    }
    static void frames(int n) {
        for (int i = 0; i < n && !::testing::Test::HasFatalFailure(); i++) frame();
    }
    // Runs frames until the script prints a line starting with prefix (at most secs
    // seconds); answers that line, or "" when it never came.
    std::string until(const std::string& prefix, double secs) {
        Uint32 end = SDL_GetTicks() + (Uint32)(secs * 1000);
        while (!::testing::Test::HasFatalFailure() && SDL_GetTicks() < end) {
            for (const std::string& l : printed())
                if (l.compare(0, prefix.size(), prefix) == 0) return l;
            frame();
        }
        return "";
    }
    std::vector<std::string> printed() {
        std::vector<std::string>& lines = game_current()->api->console_lines;
        std::vector<std::string> out(lines.rbegin(), lines.rend());
        lines.clear();
        for (const std::string& l : out) EXPECT_NE(l.compare(0, 9, "kelgame: "), 0) << l;
        return out;
    }
    void pad_button(SDL_GameControllerButton b) {
        SDL_JoystickSetVirtualButton(js, b, 1);
        frame();
        SDL_JoystickSetVirtualButton(js, b, 0);
        frame();
    }

    std::string home;
    std::vector<std::string> args;
    std::vector<char*> argv;
    SDL_Joystick* js = nullptr;
    int pad = -1;
};

static std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

TEST_F(BundledGame, MenuRoundHighScoreAndRestart) {
    EXPECT_EQ(printed(), std::vector<std::string>({"best 0", "screen title"}));
    frames(3);

    // The menu: each focus move plays its sound (counted with the device paused).
    _driver_audio_pause(1);
    size_t voices = _driver_audio_voices().size();
    key(SDLK_DOWN);
    key(SDLK_UP);
    EXPECT_EQ(_driver_audio_voices().size(), voices + 2);
    _driver_audio_pause(0);
    key(SDLK_RETURN);  // Start
    EXPECT_EQ(until("screen", 2), "screen play");
    frames(30);        // the zoom runs its course

    // Steer with keys, the mouse (held left button) and a virtual controller's pad;
    // the pulse from its A button.
    push(SDL_KEYDOWN, SDLK_RIGHT);
    frames(5);
    push(SDL_KEYUP, SDLK_RIGHT);
    mouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 320, 240);
    mouse(SDL_MOUSEMOTION, 0, 200, 300);
    frames(5);
    mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 200, 300);
    SDL_VirtualJoystickDesc d = SDL_VirtualJoystickDesc();
    d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    d.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    d.naxes = SDL_CONTROLLER_AXIS_MAX;
    d.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    d.name = "Test Pad";
    pad = SDL_JoystickAttachVirtualEx(&d);
    ASSERT_GE(pad, 0) << SDL_GetError();
    js = SDL_JoystickOpen(pad);
    frame();
    pad_button(SDL_CONTROLLER_BUTTON_DPAD_UP);
    pad_button(SDL_CONTROLLER_BUTTON_A);

    // While the ship is new it cannot be hit. Sped up and sitting still, the one life
    // goes soon; the score is saved as the best.
    EXPECT_EQ(printed(), std::vector<std::string>());
    game_current()->api->params_set("pace", var("8"));
    std::string saved = until("saved ", 30);
    ASSERT_NE(saved, "") << "the round did not end";
    int score = 0;
    ASSERT_EQ(sscanf(saved.c_str(), "saved %d rank 1", &score), 1) << saved;
    EXPECT_GT(score, 0);
    std::string file = slurp(home + "/kelgame-starsweep.json");
    EXPECT_NE(file.find("\"score\":" + std::to_string(score)), std::string::npos) << file;

    // F12: a screenshot in the user area, named on screen; then back to the title.
    key(SDLK_F12);
    std::string shot = home + "/kelgame-shot-001.jpg";
    EXPECT_EQ(until("screenshot", 1), "screenshot saved: " + shot);
    struct stat st;
    EXPECT_EQ(stat(shot.c_str(), &st), 0);
    frames(60);  // the game-over screen waits a moment before it takes a key
    key(SDLK_RETURN);
    EXPECT_EQ(until("screen", 2), "screen title");

    // A fresh start of the script reads the score back.
    mods_restart(game_current(), 1);
    EXPECT_EQ(until("best", 1), "best " + std::to_string(score));
    frames(5);

    // Alt+Q pumped in one burst, Alt already let go when it is read: the key event's
    // own modifier still quits.
    push(SDL_KEYDOWN, SDLK_LALT, KMOD_LALT);
    push(SDL_KEYDOWN, SDLK_q, KMOD_LALT);
    push(SDL_KEYUP, SDLK_q, KMOD_LALT);
    push(SDL_KEYUP, SDLK_LALT);
    frame();
    EXPECT_EQ(game_quit(-1), 1);
}
