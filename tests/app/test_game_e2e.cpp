// The bundled game (data/main.lua) played in process under Xvfb with injected input,
// for what its recorded replay (tests/bundled) does not show: a round steered by the
// mouse and a virtual controller, the high score file in the user area read back by a
// fresh start, the F12 screenshot, and Alt+Q as one burst of events ending it. The
// round has one life ("-lives 1"); once steered it runs eight times as fast (its
// "pace" parameter). The script prints what happens.
#include <sys/stat.h>

#include "src/mods_misc/mods_restart.h"
#include "tests/app/game_test_util.h"
#include "util/kel_driver-sdl2.h"

class BundledGame : public GameRun {
protected:
    std::string home;
    void SetUp() override {
        if (KEL_TIMEOUT_SCALE > 1)
            GTEST_SKIP() << "a played round needs real-time frame rates, which the emulator's "
                            "software GL does not reach";
        home = temp_dir("game");
        setenv("HOME", home.c_str(), 1);
        setenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS", "1", 1);
        run({"kelgame", "-datadir", KEL_SOURCE_DIR "/data", "-width", "640", "-height", "480",
             "-lives", "1", "-seed", "7"});
        ASSERT_TRUE(driver_video_window()) << driver_video_error();
    }
    void TearDown() override {
        GameRun::TearDown();
        rm_rf(home);
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
    static void mouse(Uint32 type, int x, int y) {
        SDL_Event ev = SDL_Event();
        ev.type = type;
        if (type == SDL_MOUSEMOTION)
            ev.motion.x = x, ev.motion.y = y, ev.motion.state = SDL_BUTTON_LMASK;
        else
            ev.button.button = SDL_BUTTON_LEFT, ev.button.x = x, ev.button.y = y;
        ASSERT_EQ(SDL_PushEvent(&ev), 1);
    }
    // Runs frames until the script prints a line starting with prefix (at most secs
    // seconds); answers that line, or "" when it never came. A script error fails.
    std::string until(const std::string& prefix, double secs) {
        Uint32 end = SDL_GetTicks() + (Uint32)(secs * 1000);
        while (!HasFatalFailure() && SDL_GetTicks() < end) {
            for (const std::string& l : printed()) {
                EXPECT_NE(l.compare(0, 9, "kelgame: "), 0) << l;
                if (l.compare(0, prefix.size(), prefix) == 0) return l;
            }
            frame();
        }
        return "";
    }
};

TEST_F(BundledGame, SteerSaveScreenshotRestartAndQuit) {
    EXPECT_EQ(until("screen", 1), "screen title");
    key(SDLK_RETURN);  // Start
    EXPECT_EQ(until("screen", 2), "screen play");
    frames(30);  // the zoom runs its course

    // Steer with the mouse (held left button) and a virtual controller's pad; the pulse
    // from its A button.
    mouse(SDL_MOUSEBUTTONDOWN, 320, 240);
    mouse(SDL_MOUSEMOTION, 200, 300);
    frames(5);
    mouse(SDL_MOUSEBUTTONUP, 200, 300);
    js = pad_attach("Test Pad");
    frame();
    pad_button(SDL_CONTROLLER_BUTTON_DPAD_UP);
    pad_button(SDL_CONTROLLER_BUTTON_A);
    // While the ship is new it cannot be hit. Sped up and sitting still, the one life
    // goes soon; the score is saved as the best.
    EXPECT_EQ(printed(), Lines());
    game_current()->api->params_set("pace", var("8"));
    std::string saved = until("saved ", 30);
    int score = 0;
    ASSERT_EQ(sscanf(saved.c_str(), "saved %d rank 1", &score), 1) << "the round did not end";
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
