// Fuzzes the JPEG encoder: the first bytes choose width, height (1 .. 256), channels
// (3 or 4) and quality; the rest, repeated, are the pixels. Every encoding must succeed
// and decode (stb_image) to the same size.
#include <stb/stb_image.h>
#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "ext/jpeg/jpeg_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    int w = 1 + (data[0] | (data[1] & 1) << 8) % 256;
    int h = 1 + (data[2] | (data[3] & 1) << 8) % 256;
    int ch = 3 + (data[4] & 1);
    int quality = 1 + (data[4] >> 1) % 100;
    data += 5, size -= 5;
    std::vector<unsigned char> px((size_t)w * h * ch);
    for (size_t i = 0; i < px.size(); i++) px[i] = size ? data[i % size] : (unsigned char)i;

    size_t n = 0;
    unsigned char* jpg = jpeg_encode_mem(px.data(), w, h, ch, quality, &n);
    if (!jpg || n < 4 || jpg[0] != 0xFF || jpg[1] != 0xD8 || jpg[n - 2] != 0xFF ||
        jpg[n - 1] != 0xD9)
        abort();
    int dw = 0, dh = 0, dc = 0;
    unsigned char* back = stbi_load_from_memory(jpg, (int)n, &dw, &dh, &dc, 3);
    if (!back || dw != w || dh != h) abort();
    stbi_image_free(back);
    free(jpg);
    return 0;
}
