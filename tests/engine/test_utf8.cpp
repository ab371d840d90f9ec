// Lenient UTF-8 to UTF-32 conversion: values, result codes, partial progress.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/kel_driver-input.h"

typedef std::vector<uint32_t> U32;

struct Conv {
    int result;
    U32 out;
    size_t consumed;
    bool operator==(const Conv& o) const { return result == o.result && out == o.out && consumed == o.consumed; }
};

static std::ostream& operator<<(std::ostream& os, const Conv& c) {
    os << "result " << c.result << " consumed " << c.consumed << " out";
    for (uint32_t u : c.out) os << " " << std::hex << u << std::dec;
    return os;
}

static Conv convert(const std::string& in, size_t room = 64) {
    std::vector<uint32_t> buf(room + 1, 0);
    const uint8_t* s = (const uint8_t*)in.data();
    uint32_t* t = buf.data();
    Conv c;
    c.result = ConvertUTF8toUTF32(&s, s + in.size(), &t, buf.data() + room);
    c.out.assign(buf.data(), t);
    c.consumed = (size_t)(s - (const uint8_t*)in.data());
    return c;
}

TEST(Utf8, ValuesCodesAndProgress) {
    const struct {
        std::string in;
        size_t room;
        Conv want;
    } cases[] = {
        {"a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 64, {UTF_OK, {0x61, 0xE9, 0x20AC, 0x1F600}, 10}},
        {"\xF4\x8F\xBF\xBF", 64, {UTF_OK, {0x10FFFF}, 4}},
        // a surrogate is replaced; past U+10FFFF is replaced, reported, and conversion goes on
        {"\xED\xA0\x80x", 64, {UTF_OK, {0xFFFD, 'x'}, 4}},
        {"\xF4\x90\x80\x80y", 64, {UTF_SOURCE_ILLEGAL, {0xFFFD, 'y'}, 5}},
        // an incomplete tail and a full target stop before the character: it can follow later
        {"ab\xE2\x82", 64, {UTF_SOURCE_EXHAUSTED, {'a', 'b'}, 2}},
        {"abc\xC3\xA9", 3, {UTF_TARGET_EXHAUSTED, {'a', 'b', 'c'}, 3}},
    };
    for (auto& c : cases) EXPECT_EQ(convert(c.in, c.room), c.want);
    // malformed input stops the conversion, keeping what converted
    for (const char* b : {"ab\xFF" "cd", "ab\x80", "ab\xC3(", "ab\xC0\xAF", "ab\xE0\x80\xAF",
                          "ab\xF0\x80\x80\xAF", "ab\xF8\x88\x80\x80\x80"})
        EXPECT_EQ(convert(b), (Conv{UTF_SOURCE_ILLEGAL, {'a', 'b'}, 2})) << b;
}
