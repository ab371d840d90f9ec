// Helpers for the GL tests: a real window under Xvfb, a private data directory,
// pixels read back from the back buffer.
#ifndef GFX_TEST_UTIL_H
#define GFX_TEST_UTIL_H

#include <GLES/gl.h>
#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

#include <string>
#include <vector>

#include "tests/test_util.h"
#include "util/kel_driver-sdl2.h"
#include "util/kel_driver.h"
#include "util/kel_gfx.h"

namespace gfxt {

inline std::string& data_dir() {
    static std::string d;
    return d;
}
inline const char* data_dir_query() { return data_dir().c_str(); }

// A fresh data directory for this process.
inline void data_dir_make() {
    data_dir() = temp_dir("gfx");
    driver_datadir_query_set(data_dir_query);
}

// Writes a w x h PNG filled by fn(x, y) -> 0xAABBGGRR into the data directory.
template <class F>
inline void png_write(const std::string& name, int w, int h, F fn) {
    std::vector<uint32_t> px((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) px[(size_t)y * w + x] = fn(x, y);
    std::string path = data_dir() + "/" + name;
    ASSERT_TRUE(stbi_write_png(path.c_str(), w, h, 4, px.data(), w * 4));
}

inline void file_write(const std::string& name, const std::string& text) {
    write_file(data_dir() + "/" + name, text);
}

// Driver with video, a window of w x h and graphics with a 1:1 view.
inline void gl_up(int w, int h) {
    driver_verbose_set(1);
    data_dir_make();
    driver_init(DRIVER_INIT_VIDEO | DRIVER_INIT_TIMER);
    driver_video_init(w, h, 640, 480, 240, 160, 0);
    ASSERT_TRUE(driver_video_window()) << driver_video_error();
    gfx_init();
    gfx_view_size_set(w, h);
    gfx_depth_range_set(-1000, 1000);
    gfx_clear();
}

inline void gl_down() {
    gfx_deinit();
    driver_deinit();
    rm_rf(data_dir());
}

struct Rgba {
    int r, g, b, a;
};
// Pixel (x, y) of the back buffer, y counted from the top.
inline Rgba pixel(int x, int y) {
    int w = 0, h = 0;
    driver_screen_size_get(&w, &h);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    unsigned char p[4] = {0, 0, 0, 0};
    glReadPixels(x, vp[3] - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return Rgba{p[0], p[1], p[2], p[3]};
}
inline bool lit(int x, int y) {
    Rgba p = pixel(x, y);
    return p.r + p.g + p.b > 0;
}

}  // namespace gfxt

#endif
