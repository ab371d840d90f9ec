// Helpers shared by the C++ tests: temporary directories, whole files, captured log
// output, and a virtual game controller.
#ifndef TEST_UTIL_H
#define TEST_UTIL_H

#include <SDL.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <utime.h>

#include <fstream>
#include <sstream>
#include <string>

#include "util/kel_driver.h"

// A fresh directory /tmp/kel_TAG_XXXXXX.
inline std::string temp_dir(const char* tag) {
    std::string t = std::string("/tmp/kel_") + tag + "_XXXXXX";
    return mkdtemp(&t[0]) ? t : "";
}
inline void rm_rf(const std::string& dir) {
    if (!dir.empty() && system(("rm -rf '" + dir + "'").c_str())) {}
}

// Writes text to path whole; a non-zero mtime is set afterwards.
inline void write_file(const std::string& path, const std::string& text, time_t mtime = 0) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f) << path;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    if (mtime) {
        utimbuf t = {mtime, mtime};
        utime(path.c_str(), &t);
    }
}

inline std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// What fn writes to descriptor fd (1 or 2), through a temp file: no pipe to fill.
template <class F>
std::string capture_fd(int fd, F fn) {
    fflush(fd == 1 ? stdout : stderr);
    char name[] = "/tmp/kel_out_XXXXXX";
    int tmp = mkstemp(name), saved = dup(fd);
    dup2(tmp, fd);
    fn();
    fflush(fd == 1 ? stdout : stderr);
    dup2(saved, fd);
    close(saved);
    std::string out = slurp(name);
    close(tmp);
    unlink(name);
    return out;
}

template <class F>
std::string capture_stdout(F fn) {
    return capture_fd(1, fn);
}

// What fn logs with logging on.
template <class F>
std::string logged(F fn) {
    int was = driver_verbose_get();
    driver_verbose_set(1);
    std::string out = capture_stdout(fn);
    driver_verbose_set(was);
    return out;
}

inline int count_of(const std::string& hay, const std::string& needle) {
    int n = 0;
    for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) n++;
    return n;
}

// A virtual game controller with every axis and button; *index gets its device index.
inline SDL_Joystick* pad_attach(const char* name, int* index = nullptr) {
    SDL_VirtualJoystickDesc d = SDL_VirtualJoystickDesc();
    d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    d.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    d.naxes = SDL_CONTROLLER_AXIS_MAX;
    d.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    d.name = name;
    int i = SDL_JoystickAttachVirtualEx(&d);
    EXPECT_GE(i, 0) << SDL_GetError();
    if (index) *index = i;
    SDL_Joystick* js = i >= 0 ? SDL_JoystickOpen(i) : nullptr;
    EXPECT_TRUE(js) << SDL_GetError();
    return js;
}
inline void pad_detach(SDL_Joystick* js) {
    if (!js) return;
    SDL_JoystickID id = SDL_JoystickInstanceID(js);
    SDL_JoystickClose(js);
    for (int i = 0; i < SDL_NumJoysticks(); i++)
        if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
}

#endif
