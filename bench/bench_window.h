// The app benchmarks' set-up: a quiet driver, a 640 x 480 window (make bench gives them
// Xvfb), graphics, and a ModsAPI of the given host with a 1:1 view at the origin.
#ifndef BENCH_WINDOW_H
#define BENCH_WINDOW_H

#include <stdio.h>

#include "src/mods_api/mods_api.h"
#include "util/kel_driver-sdl2.h"
#include "util/kel_driver.h"
#include "util/kel_gfx.h"

inline ModsAPI* bench_window_up(const char* who, Game* host) {
    driver_verbose_set(0);
    driver_init(DRIVER_INIT_VIDEO | DRIVER_INIT_TIMER);
    driver_video_init(640, 480, 640, 480, 240, 160, 0);
    if (!driver_video_window()) {
        fprintf(stderr, "%s: %s\n", who, driver_video_error());
        return nullptr;
    }
    gfx_init();
    ModsAPI* api = new ModsAPI(host);
    api->params_set("view_x", var(0));
    api->params_set("view_y", var(0));
    return api;
}

#endif
