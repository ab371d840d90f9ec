// The window and its GL context: sizes, re-creation, caption, refusal without a display.
#include <SDL2/SDL.h>
#include <string.h>
#include <sys/wait.h>

#include "gfx_test_util.h"
#include "util/kel_driver-tex_load.h"

using namespace gfxt;

// Runs f in a child process, its environment first changed by the (name, value) pairs
// (value null: unset); f's answer is the exit status. The tests using it come first in
// the file, so the child starts before this process touches SDL.
template <class F>
static void in_child(std::initializer_list<std::pair<const char*, const char*>> env, F f) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        for (auto& e : env) e.second ? setenv(e.first, e.second, 1) : unsetenv(e.first);
        driver_verbose_set(0);
        driver_init(DRIVER_INIT_VIDEO | DRIVER_INIT_TIMER);
        int ok = f();
        driver_deinit();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(Video, NoDisplayRefusesWithReason) {
    in_child({{"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr}, {"SDL_VIDEODRIVER", nullptr}}, [] {
        driver_video_init(0, 0, 640, 480, 240, 160, 0);
        int ok = driver_video_window() == NULL && driver_video_error()[0] != 0;
        driver_video_swap();  // without a window: nothing, no crash
        _driver_video_resize();
        return ok && driver_video_minimize() == 0;
    });
}

// The fallback when GLX has no ES profile: the same context through EGL.
TEST(Video, EglGivesEs11Context) {
    in_child({{"SDL_VIDEO_X11_FORCE_EGL", "1"}}, [] {
        driver_video_init(320, 200, 640, 480, 240, 160, 0);
        const char* v = driver_video_window() ? (const char*)glGetString(GL_VERSION) : NULL;
        return v && strstr(v, "OpenGL ES-CM 1.1") != NULL;
    });
}

class VideoTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(gl_up(640, 480)); }
    void TearDown() override { gl_down(); }
    static std::pair<int, int> screen() {
        int w = 0, h = 0;
        driver_screen_size_get(&w, &h);
        return {w, h};
    }
};

TEST_F(VideoTest, SameSizeKeepsWindowNewSizeKeepsContextAndTextures) {
    const char* v = (const char*)glGetString(GL_VERSION);
    EXPECT_TRUE(v && strstr(v, "OpenGL ES-CM 1.1")) << v;
    EXPECT_EQ(screen(), std::make_pair(640, 480));
    SDL_Window* win = driver_video_window();
    void* ctx = driver_video_context();
    std::string log = logged([] { driver_video_init(640, 480, 640, 480, 240, 160, 0); });
    EXPECT_NE(log.find("no changes needed"), std::string::npos) << log;
    EXPECT_EQ(driver_video_window(), win);

    uint8_t px[64 * 64 * 4] = {0};
    int w, h, tw, th;
    uint32_t tex = _driver_tex_load_from_data(px, 64, 64, &w, &h, &tw, &th);
    ASSERT_NE(tex, 0u);

    log = logged([] { driver_video_init(320, 240, 640, 480, 240, 160, 0); });
    EXPECT_EQ(log.find("no changes needed"), std::string::npos);
    EXPECT_EQ(driver_video_context(), ctx);
    EXPECT_EQ(log.find("SDL_GL_CreateContext"), std::string::npos);
    EXPECT_EQ(screen(), std::make_pair(320, 240));
    EXPECT_TRUE(glIsTexture(tex));
    // The context still draws into the new window.
    gfx_clear();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(VideoTest, DefaultSizeIsEightyPercentOfDesktop) {
    SDL_DisplayMode m;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &m), 0);
    driver_video_init(0, 0, 640, 480, 240, 160, 0);
    EXPECT_EQ(screen(), std::make_pair(80 * m.w / 100, 80 * m.h / 100));
}

TEST_F(VideoTest, CaptionAndFlipApplyAtTheRightTime) {
    driver_video_swap();
    driver_caption_set("Caf\xc3\xa9 \x01game");
    EXPECT_STRNE(SDL_GetWindowTitle(driver_video_window()), "Caf?? ?game");  // not yet
    driver_video_swap();
    EXPECT_STREQ(SDL_GetWindowTitle(driver_video_window()), "Caf?? ?game");
    EXPECT_STREQ(driver_caption_get(), "Caf\xc3\xa9 \x01game");

    driver_flip_set(1);
    driver_video_init(300, 200, 640, 480, 240, 160, 0);
    std::pair<int, int> flipped = screen();
    driver_flip_set(0);
    EXPECT_EQ(flipped, std::make_pair(200, 300));
}

TEST_F(VideoTest, IconAndImageLoad) {
    png_write("icon.png", 16, 8, [](int x, int) { return x < 8 ? 0xFF0000FFu : 0x8000FF00u; });
    std::string path = data_dir() + "/icon.png";
    int w = 0, h = 0, comp = 0;
    unsigned char* px = driver_image_load(path.c_str(), &w, &h, &comp, 4);
    ASSERT_TRUE(px);
    EXPECT_TRUE(w == 16 && h == 8 && px[0] == 0xFF && px[15 * 4 + 3] == 0x80);
    free(px);
    EXPECT_EQ(driver_image_load((data_dir() + "/none.png").c_str(), &w, &h, &comp, 4), nullptr);
    driver_icon_set(path.c_str());
    driver_video_swap();  // applies the icon; a bad one next must leave things working
    driver_icon_set((data_dir() + "/none.png").c_str());
    driver_video_swap();
    EXPECT_TRUE(driver_video_window());
}
