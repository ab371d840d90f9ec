#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include "util/kel_driver-sdl_load.h"

static void* _driver_sdl_lib = NULL;

// A program that links SDL2 itself has it mapped from the start; that counts as loaded.
// Probed once: afterwards only _driver_sdl_sym maps it, so a headless frame pays no dlopen.
int driver_sdl_loaded() {
    static int probed = 0;
    if (!_driver_sdl_lib && !probed) {
        probed = 1;
        _driver_sdl_lib = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_NOLOAD);
    }
    return _driver_sdl_lib != NULL;
}

void* _driver_sdl_sym(const char* name) {
    if (!_driver_sdl_lib) {
        _driver_sdl_lib = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_GLOBAL);
        if (!_driver_sdl_lib) {
            fprintf(stderr, "kelgame: cannot load SDL2: %s\n", dlerror());
            exit(1);
        }
    }
    void* fn = dlsym(_driver_sdl_lib, name);
    if (!fn) {
        fprintf(stderr, "kelgame: SDL2 has no %s: %s\n", name, dlerror());
        exit(1);
    }
    return fn;
}
