// Fuzzes the UTF-8 to UTF-32 conversion with every target size: it never writes past the
// target or reads past the source, stops with the documented result, yields only code
// points up to U+10FFFF and no surrogates, and a source converted whole converts the same
// when the target is refilled piece by piece.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "util/kel_driver-input.h"

static int _convert(const uint8_t* s, size_t n, size_t room, std::vector<uint32_t>* out,
                    size_t* used) {
    std::vector<uint32_t> buf(room + 1, 0xDEADBEEF);  // a guard past the target
    const uint8_t* src = s;
    uint32_t* dst = buf.data();
    int r = ConvertUTF8toUTF32(&src, s + n, &dst, buf.data() + room);
    if (src < s || src > s + n || dst < buf.data() || dst > buf.data() + room) abort();
    if (buf[room] != 0xDEADBEEF) abort();
    if (r < UTF_OK || r > UTF_SOURCE_ILLEGAL) abort();
    if (r == UTF_OK && src != s + n) abort();
    if (r == UTF_TARGET_EXHAUSTED && dst != buf.data() + room) abort();
    for (uint32_t* p = buf.data(); p < dst; p++) {
        if (*p > 0x10FFFF || (*p >= 0xD800 && *p <= 0xDFFF)) abort();
        out->push_back(*p);
    }
    *used = (size_t)(src - s);
    return r;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t room = data[0] % 9 + 1;
    const uint8_t* s = data + 1;
    size_t n = size - 1;
    std::vector<uint32_t> whole;
    size_t used;
    int r = _convert(s, n, n + 1, &whole, &used);
    if (r == UTF_TARGET_EXHAUSTED) abort();  // one code point per byte at most
    // Refilling a small target until the source is used up gives the same code points.
    std::vector<uint32_t> pieces;
    size_t pos = 0;
    int rp;
    do {
        size_t u;
        rp = _convert(s + pos, n - pos, room, &pieces, &u);
        pos += u;
    } while (rp == UTF_TARGET_EXHAUSTED);
    if (pos != used || pieces != whole) abort();
    // A code point past U+10FFFF reports an illegal source but converts on (to U+FFFD),
    // so that report depends on where the target ran out; early stops must agree.
    if (used < n ? rp != r : (rp != UTF_OK && rp != UTF_SOURCE_ILLEGAL)) abort();
    return 0;
}
