// Pixels for the JPEG encoder's tests and benchmark: generated images, the encoder
// round trip through stb_image, and PSNR over the colour channels.
#ifndef JPEG_TEST_UTIL_H
#define JPEG_TEST_UTIL_H

#include <math.h>
#include <stb/stb_image.h>
#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "ext/jpeg/jpeg_encoder.h"

struct Image {
    int w = 0, h = 0, ch = 3;
    std::vector<unsigned char> px;  // rows top first
    unsigned char* at(int x, int y) { return &px[((size_t)y * w + x) * ch]; }
};

namespace jpgt {

inline Image blank(int w, int h, int ch) {
    Image img;
    img.w = w, img.h = h, img.ch = ch;
    img.px.assign((size_t)w * h * ch, 255);
    return img;
}

inline unsigned char clamp8(double v) { return (unsigned char)(v < 0 ? 0 : v > 255 ? 255 : v); }

inline uint32_t next(uint32_t* s) {
    *s = *s * 1103515245u + 12345u;
    return (*s >> 16) & 0x7FFF;
}

// Smooth waves with grain: what a camera picture asks of the encoder.
inline Image photo(int w, int h, int ch = 3) {
    Image img = blank(w, h, ch);
    uint32_t s = 1;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int n = (int)(next(&s) % 21) - 10;
            unsigned char* p = img.at(x, y);
            p[0] = clamp8(128 + 60 * sin(x * 0.03 + y * 0.01) + 40 * sin(y * 0.05) * cos(x * 0.02) + n);
            p[1] = clamp8(128 + 70 * cos(x * 0.013 - y * 0.021) + n);
            p[2] = clamp8(128 + 50 * sin((x + y) * 0.04) + 30 * sin(x * 0.2) + n);
        }
    return img;
}

// A game frame: flat sky and ground, a tiled floor, a round sprite, a line of text.
inline Image flat(int w, int h, int ch = 3) {
    Image img = blank(w, h, ch);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            unsigned char* p = img.at(x, y);
            bool sky = y < h * 2 / 3;
            p[0] = sky ? 60 : 40, p[1] = sky ? 120 : 160, p[2] = sky ? 220 : 50;
            if (!sky && ((x / 32) + (y / 32)) % 7 == 0) p[0] = 200, p[1] = 120, p[2] = 60;
            if ((x - w / 2) * (x - w / 2) + (y - h / 3) * (y - h / 3) < 2500)
                p[0] = 250, p[1] = 220, p[2] = 40;
            if (y > 20 && y < 36 && x > 20 && x < w / 2 && (x / 3 + y / 4) % 3 == 0)
                p[0] = p[1] = p[2] = 255;
        }
    return img;
}

inline Image noise(int w, int h, int ch = 3) {
    Image img = blank(w, h, ch);
    uint32_t s = 7;
    for (unsigned char& v : img.px) v = (unsigned char)next(&s);
    return img;
}

inline std::vector<unsigned char> encode(const Image& img, int quality) {
    size_t n = 0;
    unsigned char* jpg = jpeg_encode_mem(img.px.data(), img.w, img.h, img.ch, quality, &n);
    std::vector<unsigned char> out(jpg, jpg + (jpg ? n : 0));
    free(jpg);
    return out;
}

inline Image decode(const std::vector<unsigned char>& jpg) {
    Image img;
    int c = 0;
    unsigned char* p = stbi_load_from_memory(jpg.data(), (int)jpg.size(), &img.w, &img.h, &c, 3);
    if (p) img.px.assign(p, p + (size_t)img.w * img.h * 3);
    else img.w = img.h = 0;
    stbi_image_free(p);
    return img;
}

// Over R, G, B; 99 dB for identical images, 0 when the sizes differ.
inline double psnr(const Image& a, const Image& b) {
    if (a.w != b.w || a.h != b.h || a.px.empty() || b.px.empty()) return 0;
    double se = 0;
    size_t n = (size_t)a.w * a.h;
    for (size_t i = 0; i < n; i++)
        for (int c = 0; c < 3; c++) {
            double d = (double)a.px[i * a.ch + c] - b.px[i * b.ch + c];
            se += d * d;
        }
    return se == 0 ? 99.0 : 10 * log10(255.0 * 255.0 * 3 * n / se);
}

}  // namespace jpgt

#endif
