// Lenient UTF-8 to UTF-32 conversion: values, result codes, partial progress.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/kel_driver-input.h"

struct Conv {
    int result;
    std::vector<uint32_t> out;
    size_t consumed;
};

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

TEST(Utf8, DecodesEveryLength) {
    Conv c = convert("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");  // a é € 😀
    EXPECT_EQ(c.result, UTF_OK);
    EXPECT_EQ(c.out, (std::vector<uint32_t>{0x61, 0xE9, 0x20AC, 0x1F600}));
    EXPECT_EQ(c.consumed, 10u);
    EXPECT_EQ(convert("\xF4\x8F\xBF\xBF").out, std::vector<uint32_t>{0x10FFFF});
}

TEST(Utf8, SurrogatesAndOutOfRangeBecomeReplacement) {
    Conv sur = convert("\xED\xA0\x80x");  // U+D800
    EXPECT_EQ(sur.result, UTF_OK);
    EXPECT_EQ(sur.out, (std::vector<uint32_t>{0xFFFD, 'x'}));

    // Past U+10FFFF: replaced, reported illegal, and conversion goes on.
    Conv big = convert("\xF4\x90\x80\x80y");
    EXPECT_EQ(big.result, UTF_SOURCE_ILLEGAL);
    EXPECT_EQ(big.out, (std::vector<uint32_t>{0xFFFD, 'y'}));
}

TEST(Utf8, MalformedStopsKeepingWhatConverted) {
    const char* bad[] = {"ab\xFF" "cd", "ab\x80", "ab\xC3(", "ab\xC0\xAF", "ab\xE0\x80\xAF",
                         "ab\xF0\x80\x80\xAF", "ab\xF8\x88\x80\x80\x80"};
    for (const char* b : bad) {
        Conv c = convert(b);
        EXPECT_EQ(c.result, UTF_SOURCE_ILLEGAL) << b;
        EXPECT_EQ(c.out, (std::vector<uint32_t>{'a', 'b'})) << b;
        EXPECT_EQ(c.consumed, 2u) << b;
    }
}

TEST(Utf8, IncompleteTailAndFullTarget) {
    Conv tail = convert("ab\xE2\x82");
    EXPECT_EQ(tail.result, UTF_SOURCE_EXHAUSTED);
    EXPECT_EQ(tail.out.size(), 2u);
    EXPECT_EQ(tail.consumed, 2u);

    Conv full = convert("abc\xC3\xA9", 3);
    EXPECT_EQ(full.result, UTF_TARGET_EXHAUSTED);
    EXPECT_EQ(full.out, (std::vector<uint32_t>{'a', 'b', 'c'}));
    EXPECT_EQ(full.consumed, 3u);  // the rest can be converted later
}
