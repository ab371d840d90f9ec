// jpeg_encoder: baseline JFIF writer. See jpeg_encoder.h.
//
// Pass one converts and downsamples one MCU row at a time, runs a float AAN forward DCT
// on every block, quantises it and keeps the coefficients (zigzag order, MCU order) while
// the Huffman statistics are counted. The tables are then built with the code-length
// limit of 16 bits, and pass two writes the entropy-coded scan from the kept blocks.
#include "ext/jpeg/jpeg_encoder.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// natural index of the k-th coefficient in zigzag order
static const uint8_t _jpeg_zigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Annex K example tables at quality 50, natural order.
static const uint8_t _jpeg_std_quant[2][64] = {
    {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
     14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
     18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
     49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99},
    {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
     24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
     99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
     99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99}};

// Output scale of the AAN transform per frequency: cos(k pi / 16) sqrt 2, 1 for k = 0.
static const float _jpeg_aan[8] = {1.0f,         1.387039845f, 1.306562965f, 1.175875602f,
                                   1.0f,         0.785694958f, 0.541196100f, 0.275899379f};

enum { JPEG_DC_Y, JPEG_AC_Y, JPEG_DC_C, JPEG_AC_C };

struct JpegHuff {
    uint8_t bits[17];    // codes of each length 1..16
    uint8_t vals[256];   // symbols by code length
    int nvals;
    uint16_t code[256];  // by symbol
    uint8_t size[256];   // 0 = symbol unused
};

struct JpegOut {
    unsigned char* data;
    size_t len, cap;
    int failed;
    uint32_t acc;  // pending bits, the low n of them valid
    int n;
};

struct JpegEnc {
    int w, h, ch, mcux, mcuy;
    uint8_t quant[2][64];  // natural order
    float recip[2][64];    // 1 / (quant x AAN scale x 8), natural order
    int16_t* coef;         // quantised blocks, zigzag order: Y Y Y Y Cb Cr per MCU
    size_t nblocks;
    uint32_t freq[4][256];
    JpegHuff huff[4];
    JpegOut out;
};

/* ---- output ---- */

static void _jpeg_grow(JpegOut* o, size_t more) {
    if (o->failed || o->len + more <= o->cap) return;
    size_t cap = o->cap ? o->cap : 4096;
    while (cap < o->len + more && cap <= SIZE_MAX / 2) cap *= 2;
    unsigned char* d = cap >= o->len + more ? (unsigned char*)realloc(o->data, cap) : NULL;
    if (!d) {
        o->failed = 1;
        return;
    }
    o->data = d;
    o->cap = cap;
}

static void _jpeg_bytes(JpegOut* o, const void* p, size_t n) {
    _jpeg_grow(o, n);
    if (o->failed) return;
    memcpy(o->data + o->len, p, n);
    o->len += n;
}

static void _jpeg_u8(JpegOut* o, unsigned v) {
    unsigned char b = (unsigned char)v;
    _jpeg_bytes(o, &b, 1);
}

static void _jpeg_u16(JpegOut* o, unsigned v) {
    unsigned char b[2] = {(unsigned char)(v >> 8), (unsigned char)v};
    _jpeg_bytes(o, b, 2);
}

// Appends len (<= 16) bits; a 0xFF byte of entropy data is followed by a stuffed 0.
static inline void _jpeg_put(JpegOut* o, uint32_t bits, int len) {
    o->acc = (o->acc << len) | bits;
    o->n += len;
    while (o->n >= 8) {
        o->n -= 8;
        unsigned b = (o->acc >> o->n) & 255;
        if (o->len + 2 > o->cap) {
            _jpeg_grow(o, 2);
            if (o->failed) return;
        }
        o->data[o->len++] = (unsigned char)b;
        if (b == 255) o->data[o->len++] = 0;
    }
}

/* ---- tables ---- */

static void _jpeg_quant_init(JpegEnc* e, int quality) {
    if (quality < 1) quality = 1;
    if (quality > 100) quality = 100;
    int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    for (int t = 0; t < 2; t++)
        for (int i = 0; i < 64; i++) {
            int q = (_jpeg_std_quant[t][i] * scale + 50) / 100;
            q = q < 1 ? 1 : q > 255 ? 255 : q;  // 8-bit tables keep the file baseline
            e->quant[t][i] = (uint8_t)q;
            e->recip[t][i] = 1.0f / ((float)q * _jpeg_aan[i >> 3] * _jpeg_aan[i & 7] * 8.0f);
        }
}

// Optimal code lengths for the counted symbols, limited to 16 bits (JPEG Annex K.2, K.3).
// A reserved symbol with count 1 keeps any real code from being all ones.
static void _jpeg_huff_build(JpegHuff* hf, const uint32_t* count) {
    uint32_t freq[257];
    int size[257], next[257];
    memcpy(freq, count, 256 * sizeof(uint32_t));
    freq[256] = 1;
    for (int i = 0; i < 257; i++) size[i] = 0, next[i] = -1;
    for (;;) {
        // the least frequent symbol, ties going to the highest value, then the next least
        int c1 = -1, c2 = -1;
        for (int i = 0; i < 257; i++)
            if (freq[i] && (c1 < 0 || freq[i] <= freq[c1])) c1 = i;
        for (int i = 0; i < 257; i++)
            if (freq[i] && i != c1 && (c2 < 0 || freq[i] <= freq[c2])) c2 = i;
        if (c2 < 0) break;
        freq[c1] += freq[c2];
        freq[c2] = 0;
        for (size[c1]++; next[c1] >= 0; size[c1]++) c1 = next[c1];
        next[c1] = c2;
        for (size[c2]++; next[c2] >= 0; size[c2]++) c2 = next[c2];
    }
    int bits[258] = {0};  // a chain of 257 symbols is the deepest possible tree
    for (int i = 0; i < 257; i++)
        if (size[i]) bits[size[i]]++;
    for (int i = 257; i > 16; i--)
        while (bits[i] > 0) {
            int j = i - 2;
            while (bits[j] == 0) j--;
            bits[i] -= 2;
            bits[i - 1]++;
            bits[j + 1] += 2;
            bits[j]--;
        }
    int top = 16;
    while (bits[top] == 0) top--;
    bits[top]--;  // the reserved symbol's code goes
    hf->nvals = 0;
    for (int len = 1; len < 258; len++)
        for (int s = 0; s < 256; s++)
            if (size[s] == len) hf->vals[hf->nvals++] = (uint8_t)s;
    memset(hf->size, 0, sizeof hf->size);
    unsigned code = 0;
    int k = 0;
    hf->bits[0] = 0;
    for (int len = 1; len <= 16; len++) {
        hf->bits[len] = (uint8_t)bits[len];
        for (int i = 0; i < bits[len]; i++, k++) {
            hf->code[hf->vals[k]] = (uint16_t)code++;
            hf->size[hf->vals[k]] = (uint8_t)len;
        }
        code <<= 1;
    }
}

/* ---- transform ---- */

// One 8-point AAN forward DCT over p[0], p[s], ... p[7s]; outputs scaled by _jpeg_aan.
static inline void _jpeg_fdct8(float* p, int s) {
    float t0 = p[0] + p[7 * s], t7 = p[0] - p[7 * s];
    float t1 = p[s] + p[6 * s], t6 = p[s] - p[6 * s];
    float t2 = p[2 * s] + p[5 * s], t5 = p[2 * s] - p[5 * s];
    float t3 = p[3 * s] + p[4 * s], t4 = p[3 * s] - p[4 * s];

    float t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;
    p[0] = t10 + t11;
    p[4 * s] = t10 - t11;
    float z1 = (t12 + t13) * 0.707106781f;
    p[2 * s] = t13 + z1;
    p[6 * s] = t13 - z1;

    t10 = t4 + t5;
    t11 = t5 + t6;
    t12 = t6 + t7;
    float z5 = (t10 - t12) * 0.382683433f;
    float z2 = 0.541196100f * t10 + z5;
    float z4 = 1.306562965f * t12 + z5;
    float z3 = t11 * 0.707106781f;
    float z11 = t7 + z3, z13 = t7 - z3;
    p[5 * s] = z13 + z2;
    p[3 * s] = z13 - z2;
    p[s] = z11 + z4;
    p[7 * s] = z11 - z4;
}

// Transforms the 8 x 8 block at plane (stride) and stores it quantised in zigzag order.
static void _jpeg_block(const JpegEnc* e, const float* plane, int stride, int table,
                        int16_t* out) {
    float b[64];
    for (int y = 0; y < 8; y++) {
        memcpy(b + 8 * y, plane + (size_t)y * stride, 8 * sizeof(float));
        _jpeg_fdct8(b + 8 * y, 1);
    }
    for (int x = 0; x < 8; x++) _jpeg_fdct8(b + x, 8);
    const float* r = e->recip[table];
    int q[64];
    // rounded to nearest without a branch: the offset keeps the sum positive
    for (int i = 0; i < 64; i++) q[i] = (int)(b[i] * r[i] + 16384.5f) - 16384;
    // DC differences must fit 11 bits, AC values 10 bits (baseline)
    out[0] = (int16_t)(q[0] < -1024 ? -1024 : q[0] > 1023 ? 1023 : q[0]);
    for (int k = 1; k < 64; k++) {
        int v = q[_jpeg_zigzag[k]];
        out[k] = (int16_t)(v < -1023 ? -1023 : v > 1023 ? 1023 : v);
    }
}

// Colour-converts one source row into y, cb, cr (level-shifted), repeating the last
// pixel up to the padded width pw.
static void _jpeg_row(const unsigned char* src, int w, int ch, int pw, float* y, float* cb,
                      float* cr) {
    for (int x = 0; x < w; x++, src += ch) {
        float r = src[0], g = src[1], b = src[2];
        y[x] = 0.299f * r + 0.587f * g + 0.114f * b - 128.0f;
        cb[x] = -0.168735892f * r - 0.331264108f * g + 0.5f * b;
        cr[x] = 0.5f * r - 0.418687589f * g - 0.081312411f * b;
    }
    for (int x = w; x < pw; x++) y[x] = y[w - 1], cb[x] = cb[w - 1], cr[x] = cr[w - 1];
}

// Pass one: every block transformed, quantised and kept. False when memory runs out.
static bool _jpeg_transform(JpegEnc* e, const unsigned char* pixels) {
    int pw = e->mcux * 16, cw = e->mcux * 8;
    size_t plane = (size_t)pw * 16;
    float* buf = (float*)malloc((plane * 3 + (size_t)cw * 8 * 2) * sizeof(float));
    if (!buf) return false;
    float *Y = buf, *Cb = Y + plane, *Cr = Cb + plane, *Cb2 = Cr + plane, *Cr2 = Cb2 + cw * 8;
    size_t stride = (size_t)e->w * e->ch;
    int16_t* out = e->coef;
    for (int my = 0; my < e->mcuy; my++) {
        for (int r = 0; r < 16; r++) {
            int sy = my * 16 + r;
            size_t o = (size_t)r * pw;
            if (sy < e->h) {
                _jpeg_row(pixels + (size_t)sy * stride, e->w, e->ch, pw, Y + o, Cb + o, Cr + o);
            } else {  // below the image: repeat the last row
                memcpy(Y + o, Y + o - pw, pw * sizeof(float));
                memcpy(Cb + o, Cb + o - pw, pw * sizeof(float));
                memcpy(Cr + o, Cr + o - pw, pw * sizeof(float));
            }
        }
        for (int r = 0; r < 8; r++) {
            const float *b0 = Cb + (size_t)2 * r * pw, *b1 = b0 + pw;
            const float *r0 = Cr + (size_t)2 * r * pw, *r1 = r0 + pw;
            float *db = Cb2 + (size_t)r * cw, *dr = Cr2 + (size_t)r * cw;
            for (int x = 0; x < cw; x++) {
                db[x] = 0.25f * (b0[2 * x] + b0[2 * x + 1] + b1[2 * x] + b1[2 * x + 1]);
                dr[x] = 0.25f * (r0[2 * x] + r0[2 * x + 1] + r1[2 * x] + r1[2 * x + 1]);
            }
        }
        for (int mx = 0; mx < e->mcux; mx++) {
            const float* y = Y + mx * 16;
            _jpeg_block(e, y, pw, 0, out);
            _jpeg_block(e, y + 8, pw, 0, out + 64);
            _jpeg_block(e, y + (size_t)8 * pw, pw, 0, out + 128);
            _jpeg_block(e, y + (size_t)8 * pw + 8, pw, 0, out + 192);
            _jpeg_block(e, Cb2 + mx * 8, cw, 1, out + 256);
            _jpeg_block(e, Cr2 + mx * 8, cw, 1, out + 320);
            out += 384;
        }
    }
    free(buf);
    return true;
}

/* ---- entropy coding ---- */

static inline int _jpeg_nbits(int v) {
    unsigned a = (unsigned)(v < 0 ? -v : v);
    return a ? 32 - __builtin_clz(a) : 0;
}

// Walks every block's symbols: Sink::sym(table, symbol) and Sink::bits(value, n).
template <class Sink>
static void _jpeg_scan(const JpegEnc* e, Sink& s) {
    int pred[3] = {0, 0, 0};
    const int16_t* c = e->coef;
    int k6 = 0;
    for (size_t b = 0; b < e->nblocks; b++, c += 64) {
        int comp = k6 < 4 ? 0 : k6 - 3;
        if (++k6 == 6) k6 = 0;
        int dc = comp ? JPEG_DC_C : JPEG_DC_Y, ac = dc + 1;
        int diff = c[0] - pred[comp];
        pred[comp] = c[0];
        int n = _jpeg_nbits(diff);
        s.sym(dc, n);
        s.bits(diff, n);
        int last = 63;
        while (last > 0 && !c[last]) last--;
        int run = 0;
        for (int k = 1; k <= last; k++) {
            int v = c[k];
            if (!v) {
                run++;
                continue;
            }
            for (; run > 15; run -= 16) s.sym(ac, 0xF0);
            n = _jpeg_nbits(v);
            s.sym(ac, (run << 4) | n);
            s.bits(v, n);
            run = 0;
        }
        if (last < 63) s.sym(ac, 0x00);
    }
}

struct JpegCount {
    JpegEnc* e;
    void sym(int t, int s) { e->freq[t][s]++; }
    void bits(int, int) {}
};

struct JpegWrite {
    JpegEnc* e;
    void sym(int t, int s) { _jpeg_put(&e->out, e->huff[t].code[s], e->huff[t].size[s]); }
    void bits(int v, int n) {
        if (n) _jpeg_put(&e->out, (uint32_t)(v < 0 ? v - 1 : v) & ((1u << n) - 1), n);
    }
};

/* ---- file ---- */

static void _jpeg_headers(JpegEnc* e) {
    JpegOut* o = &e->out;
    static const unsigned char jfif[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0,
                                         1,    1,    0,    0,    1, 0,  1,   0,   0};
    _jpeg_bytes(o, jfif, sizeof jfif);
    _jpeg_u16(o, 0xFFDB);
    _jpeg_u16(o, 2 + 2 * 65);
    for (int t = 0; t < 2; t++) {
        _jpeg_u8(o, t);
        for (int k = 0; k < 64; k++) _jpeg_u8(o, e->quant[t][_jpeg_zigzag[k]]);
    }
    _jpeg_u16(o, 0xFFC0);
    _jpeg_u16(o, 17);
    _jpeg_u8(o, 8);
    _jpeg_u16(o, (unsigned)e->h);
    _jpeg_u16(o, (unsigned)e->w);
    static const unsigned char comps[] = {3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1};
    _jpeg_bytes(o, comps, sizeof comps);

    static const unsigned char classes[4] = {0x00, 0x10, 0x01, 0x11};  // DC0 AC0 DC1 AC1
    int len = 2;
    for (int t = 0; t < 4; t++) len += 17 + e->huff[t].nvals;
    _jpeg_u16(o, 0xFFC4);
    _jpeg_u16(o, (unsigned)len);
    for (int t = 0; t < 4; t++) {
        _jpeg_u8(o, classes[t]);
        _jpeg_bytes(o, e->huff[t].bits + 1, 16);
        _jpeg_bytes(o, e->huff[t].vals, (size_t)e->huff[t].nvals);
    }
    static const unsigned char sos[] = {0xFF, 0xDA, 0, 12, 3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0};
    _jpeg_bytes(o, sos, sizeof sos);
}

unsigned char* jpeg_encode_mem(const unsigned char* pixels, int width, int height,
                               int channels, int quality, size_t* size) {
    if (size) *size = 0;
    if (!pixels || !size || width < 1 || height < 1 || width > 65535 || height > 65535 ||
        (channels != 3 && channels != 4))
        return NULL;
    JpegEnc* e = (JpegEnc*)calloc(1, sizeof(JpegEnc));
    if (!e) return NULL;
    e->w = width;
    e->h = height;
    e->ch = channels;
    e->mcux = (width + 15) / 16;
    e->mcuy = (height + 15) / 16;
    e->nblocks = (size_t)e->mcux * e->mcuy * 6;
    // 64 two-byte coefficients per block; refuse what a 32-bit size_t cannot hold
    uint64_t bytes = (uint64_t)e->mcux * e->mcuy * 6 * 128;
    e->coef = bytes <= SIZE_MAX / 2 ? (int16_t*)malloc((size_t)bytes) : NULL;
    unsigned char* result = NULL;
    _jpeg_quant_init(e, quality);
    if (e->coef && _jpeg_transform(e, pixels)) {
        JpegCount count = {e};
        _jpeg_scan(e, count);
        for (int t = 0; t < 4; t++) _jpeg_huff_build(&e->huff[t], e->freq[t]);
        _jpeg_grow(&e->out, e->nblocks * 8 + 1024);
        _jpeg_headers(e);
        JpegWrite write = {e};
        _jpeg_scan(e, write);
        if (e->out.n) _jpeg_put(&e->out, (1u << (8 - e->out.n)) - 1, 8 - e->out.n);
        _jpeg_u16(&e->out, 0xFFD9);
        if (!e->out.failed) {
            result = e->out.data;
            *size = e->out.len;
            e->out.data = NULL;
        }
    }
    free(e->out.data);
    free(e->coef);
    free(e);
    return result;
}

bool jpeg_encode_file(const char* path, const unsigned char* pixels, int width, int height,
                      int channels, int quality) {
    size_t n = 0;
    unsigned char* jpg = jpeg_encode_mem(pixels, width, height, channels, quality, &n);
    if (!jpg || !path) {
        free(jpg);
        return false;
    }
    FILE* f = fopen(path, "wb");
    bool ok = f && fwrite(jpg, 1, n, f) == n;
    if (f && fclose(f) != 0) ok = false;
    free(jpg);
    return ok;
}
