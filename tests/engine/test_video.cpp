// The window and its GL context: the EGL fallback, and a new size that keeps the context
// and its textures. (Sizes, caption, icon and a missing display: the game tests.)
#include <SDL2/SDL.h>
#include <string.h>
#include <sys/wait.h>

#include "gfx_test_util.h"
#include "util/kel_driver-tex_load.h"

using namespace gfxt;

// The fallback when GLX has no ES profile: the same context through EGL. In a child, which
// starts before this process touches SDL (so this test comes first in the file).
TEST(Video, EglGivesEs11Context) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("SDL_VIDEO_X11_FORCE_EGL", "1", 1);
        driver_init(DRIVER_INIT_VIDEO | DRIVER_INIT_TIMER);
        driver_video_init(320, 200, 640, 480, 240, 160, 0);
        const char* v = driver_video_window() ? (const char*)glGetString(GL_VERSION) : NULL;
        bool ok = v && strstr(v, "OpenGL ES-CM 1.1") != NULL;
        driver_deinit();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(Video, SameSizeKeepsWindowNewSizeKeepsContextAndTextures) {
    ASSERT_NO_FATAL_FAILURE(gl_up(640, 480));
    const char* v = (const char*)glGetString(GL_VERSION);
    EXPECT_TRUE(v && strstr(v, "OpenGL ES-CM 1.1")) << v;
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
    EXPECT_EQ(driver_video_context(), ctx);
    EXPECT_EQ(log.find("SDL_GL_CreateContext"), std::string::npos);
    driver_screen_size_get(&w, &h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(320, 240));
    EXPECT_TRUE(glIsTexture(tex));
    // The context still draws into the new window.
    gfx_clear();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    gl_down();
}
