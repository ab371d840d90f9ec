// The audio fuzz targets read their input from a file, as the loaders do.
#ifndef FUZZ_AUDIO_UTIL_H
#define FUZZ_AUDIO_UTIL_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "util/kel_driver-audio.h"
#include "util/kel_driver.h"

// Writes data to a file of this process with the given suffix and returns its path.
static inline std::string fuzz_file(const uint8_t* data, size_t size, const char* suffix) {
    static std::string dir;
    if (dir.empty()) {
        driver_verbose_set(0);
        char tmpl[] = "/tmp/kelfuzzaudioXXXXXX";
        if (!mkdtemp(tmpl)) abort();
        dir = tmpl;
    }
    std::string path = dir + "/input" + suffix;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) abort();
    if (size) fwrite(data, 1, size, f);
    fclose(f);
    return path;
}

// Reads a source from the start in mixer-sized buffers (a bounded number of them):
// never more than asked, always whole stereo frames.
static inline void fuzz_read_source(AudioSource* src, int buffers) {
    static float tmp[2048];
    int len = src->length();
    if (len < 0 || (len & 1)) abort();
    for (int pos = 0, i = 0; pos < len && i < buffers; pos += 2048, i++) {
        int m = src->get(pos, 2048, tmp);
        if (m < 0 || m > 2048 || (m & 1)) abort();
    }
}

#endif
