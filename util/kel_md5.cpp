// MD5 after RFC 1321, written for byte order independence (explicit little-endian
// packing) so it gives the same digest on any host.
#include "util/kel_md5.h"

#include <string.h>

// Per-round shift amounts and the sine-derived constants T[i] = floor(2^32 |sin(i+1)|).
static const uint8_t _md5_shift[64] = {
    7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
    5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
    4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
    6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

static const uint32_t _md5_t[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
    0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
    0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
    0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
    0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
    0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
    0xeb86d391};

static uint32_t _md5_rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

static void _md5_block(uint32_t st[4], const uint8_t* p) {
    uint32_t m[16];
    for (int i = 0; i < 16; i++)
        m[i] = (uint32_t)p[i * 4] | (uint32_t)p[i * 4 + 1] << 8 | (uint32_t)p[i * 4 + 2] << 16 |
               (uint32_t)p[i * 4 + 3] << 24;
    uint32_t a = st[0], b = st[1], c = st[2], d = st[3];
    for (int i = 0; i < 64; i++) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (b & d) | (c & ~d);
            g = (5 * i + 1) & 15;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) & 15;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) & 15;
        }
        uint32_t t = d;
        d = c;
        c = b;
        b = b + _md5_rotl(a + f + _md5_t[i] + m[g], _md5_shift[i]);
        a = t;
    }
    st[0] += a;
    st[1] += b;
    st[2] += c;
    st[3] += d;
}

void md5_init(Md5* c) {
    c->state[0] = 0x67452301;
    c->state[1] = 0xefcdab89;
    c->state[2] = 0x98badcfe;
    c->state[3] = 0x10325476;
    c->count = 0;
}

void md5_update(Md5* c, const void* data, size_t len) {
    const uint8_t* p = (const uint8_t*)data;
    size_t have = (size_t)(c->count & 63);
    c->count += len;
    if (have) {
        size_t take = 64 - have;
        if (take > len) take = len;
        memcpy(c->buffer + have, p, take);
        p += take;
        len -= take;
        if (have + take < 64) return;
        _md5_block(c->state, c->buffer);
    }
    for (; len >= 64; p += 64, len -= 64) _md5_block(c->state, p);
    if (len) memcpy(c->buffer, p, len);
}

void md5_final(Md5* c, uint8_t digest[16]) {
    uint64_t bits = c->count * 8;
    uint8_t pad[72] = {0x80};
    size_t have = (size_t)(c->count & 63);
    size_t n = (have < 56 ? 56 : 120) - have;  // pad to 56 mod 64, then the length
    for (int i = 0; i < 8; i++) pad[n + i] = (uint8_t)(bits >> (8 * i));
    md5_update(c, pad, n + 8);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) digest[i * 4 + j] = (uint8_t)(c->state[i] >> (8 * j));
    md5_init(c);
}

void md5_digest(const void* data, size_t len, uint8_t digest[16]) {
    Md5 c;
    md5_init(&c);
    md5_update(&c, data, len);
    md5_final(&c, digest);
}

std::string md5_hex(const void* data, size_t len) {
    static const char hex[] = "0123456789abcdef";
    uint8_t d[16];
    md5_digest(data, len, d);
    std::string s(32, '0');
    for (int i = 0; i < 16; i++) {
        s[i * 2] = hex[d[i] >> 4];
        s[i * 2 + 1] = hex[d[i] & 15];
    }
    return s;
}
