#include "util/kel_md5.h"

#include <gtest/gtest.h>

#include <string>

static std::string hex(const std::string& s) { return md5_hex(s.data(), s.size()); }

// The RFC 1321 suite, a NUL inside the data and a million 'a's.
TEST(Md5, KnownDigests) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890" "1234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"}};
    for (auto& c : cases) EXPECT_EQ(hex(c.first), c.second) << c.first.size();
    EXPECT_NE(hex(std::string("a\0b", 3)), hex("a"));
}

// Lengths around the 56- and 64-byte padding boundaries, fed whole and in odd pieces:
// both paths must agree, and the boundary lengths must differ from each other.
TEST(Md5, IncrementalMatchesOneShotAcrossBlockBoundaries) {
    std::string data;
    for (int i = 0; i < 200; i++) data.push_back((char)(i * 7 + 3));
    std::string prev;
    for (size_t len : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 200}) {
        std::string whole = md5_hex(data.data(), len);
        Md5 c;
        md5_init(&c);
        for (size_t off = 0, n; off < len; off += n) {
            n = std::min<size_t>(len - off, 1 + off % 13);
            md5_update(&c, data.data() + off, n);
        }
        uint8_t d[16];
        md5_final(&c, d);
        char buf[33];
        for (int i = 0; i < 16; i++) snprintf(buf + i * 2, 3, "%02x", d[i]);
        EXPECT_EQ(whole, std::string(buf)) << "len " << len;
        EXPECT_NE(whole, prev) << "len " << len;
        prev = whole;
    }
}
