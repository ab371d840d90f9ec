// Input with a real window under Xvfb: resizes re-measure the window before the
// record is returned.
#include <SDL.h>

#include "gfx_test_util.h"
// After gtest: the X11 headers define None.
#include <SDL_syswm.h>
#include "util/kel_driver-input.h"

class InputWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gfxt::gl_up(320, 240); }
    static void TearDownTestSuite() { gfxt::gl_down(); }
};

TEST_F(InputWindow, ResizeUpdatesScreenSizeFirst) {
    Event e;
    while (driver_event_poll(&e)) {}
    // Resized from outside, as a user or window manager would: SDL reports it as RESIZED.
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(driver_video_window(), &info));
    ASSERT_EQ(info.subsystem, SDL_SYSWM_X11);
    std::string cmd = "xdotool windowsize " + std::to_string(info.info.x11.window) + " 400 300";
    ASSERT_EQ(system(cmd.c_str()), 0);
    Event got = Event();
    int w = 0, h = 0;
    for (int i = 0; i < 200 && got.type != EVT_RESIZE; i++) {
        if (!driver_event_poll(&e)) {
            SDL_Delay(10);
            continue;
        }
        if (e.type == EVT_RESIZE) {
            got = e;
            driver_screen_size_get(&w, &h);  // as the router sees it
        }
    }
    ASSERT_EQ(got.type, EVT_RESIZE);
    EXPECT_EQ(got.width, 400.0f);
    EXPECT_EQ(got.height, 300.0f);
    EXPECT_EQ(w, 400);
    EXPECT_EQ(h, 300);
}
