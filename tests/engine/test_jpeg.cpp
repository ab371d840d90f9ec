// The JPEG encoder: files that stb_image and libjpeg's djpeg both read back, the JFIF,
// 4:2:0 and quality markers parsed from the file itself, fidelity floors, odd sizes.
#include "ext/jpeg/jpeg_encoder.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stb/stb_image.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/engine/jpeg_test_util.h"

namespace {

// What the marker segments before the scan say.
struct JpegInfo {
    bool jfif = false, baseline = false, eoi = false;
    int w = 0, h = 0, comps = 0;
    int sampling[3] = {0, 0, 0};  // 0xHV per component
    int qtable[3] = {-1, -1, -1};
    int dqt[4][64] = {};  // zigzag order, by table id
    int dht = 0;          // tables defined
};

JpegInfo parse(const std::vector<unsigned char>& f) {
    JpegInfo info;
    size_t n = f.size(), p = 2;
    if (n < 4 || f[0] != 0xFF || f[1] != 0xD8) return info;
    info.eoi = f[n - 2] == 0xFF && f[n - 1] == 0xD9;
    while (p + 4 <= n && f[p] == 0xFF) {
        int m = f[p + 1];
        size_t len = (size_t)f[p + 2] << 8 | f[p + 3];
        const unsigned char* s = &f[p + 4];
        if (p + 2 + len > n) break;
        if (m == 0xE0 && len >= 16) info.jfif = !memcmp(s, "JFIF", 5);
        if (m == 0xDB)
            for (size_t q = 0; q + 65 <= len - 2; q += 65)
                for (int k = 0; k < 64; k++) info.dqt[s[q] & 3][k] = s[q + 1 + k];
        if (m == 0xC4)
            for (size_t q = 0; q + 17 <= len - 2; info.dht++) {
                int count = 0;
                for (int i = 1; i <= 16; i++) count += s[q + i];
                q += 17 + count;
            }
        if (m == 0xC0) {
            info.baseline = s[0] == 8;
            info.h = s[1] << 8 | s[2];
            info.w = s[3] << 8 | s[4];
            info.comps = s[5];
            for (int c = 0; c < 3 && c < info.comps; c++) {
                info.sampling[c] = s[7 + 3 * c];
                info.qtable[c] = s[8 + 3 * c];
            }
        }
        if (m == 0xDA) break;
        p += 2 + len;
    }
    return info;
}

// libjpeg is strict: it exits 2 on any warning (bad Huffman code, stuffing, length).
int djpeg_status(const std::vector<unsigned char>& jpg) {
    char path[] = "/tmp/kel_jpeg_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, jpg.data(), jpg.size()) != (ssize_t)jpg.size()) return -1;
    close(fd);
    std::string cmd = std::string("djpeg -outfile /dev/null ") + path + " 2>/dev/null";
    int rc = system(cmd.c_str());
    unlink(path);
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool have_djpeg() { return system("command -v djpeg >/dev/null 2>&1") == 0; }

// Natural-order first row of a zigzag table.
std::vector<int> first_row(const int* zz) {
    static const int at[8] = {0, 1, 5, 6, 14, 15, 27, 28};
    std::vector<int> r;
    for (int i : at) r.push_back(zz[i]);
    return r;
}

}  // namespace

TEST(Jpeg, QualityScalesTheAnnexKTables) {
    struct {
        int quality;
        std::vector<int> luma, chroma;
    } cases[] = {
        {85, {5, 3, 3, 5, 7, 12, 15, 18}, {5, 5, 7, 14, 30, 30, 30, 30}},
        {50, {16, 11, 10, 16, 24, 40, 51, 61}, {17, 18, 24, 47, 99, 99, 99, 99}},
        {100, {1, 1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1, 1, 1}},
        {10, {80, 55, 50, 80, 120, 200, 255, 255}, {85, 90, 120, 235, 255, 255, 255, 255}},
    };
    Image img = jpgt::photo(32, 32);
    for (auto& c : cases) {
        std::vector<unsigned char> jpg = jpgt::encode(img, c.quality);
        JpegInfo info = parse(jpg);
        EXPECT_EQ(first_row(info.dqt[0]), c.luma) << c.quality;
        EXPECT_EQ(first_row(info.dqt[1]), c.chroma) << c.quality;
    }
}

TEST(Jpeg, AnySizeDecodesAsBaselineJfif420) {
    struct {
        int w, h, channels;
    } sizes[] = {{1, 1, 3}, {7, 13, 4}, {1023, 17, 3}, {16, 16, 4}, {17, 1, 3}, {640, 480, 4}};
    bool djpeg = have_djpeg();
    for (auto& s : sizes) {
        Image img = jpgt::photo(s.w, s.h, s.channels);
        std::vector<unsigned char> jpg = jpgt::encode(img, 85);
        ASSERT_FALSE(jpg.empty()) << s.w << "x" << s.h;
        JpegInfo info = parse(jpg);
        EXPECT_TRUE(info.jfif && info.baseline && info.eoi) << s.w << "x" << s.h;
        EXPECT_EQ(info.w, s.w);
        EXPECT_EQ(info.h, s.h);
        ASSERT_EQ(info.comps, 3);
        EXPECT_EQ(info.sampling[0], 0x22);  // 4:2:0: luma 2 x 2, chroma 1 x 1
        EXPECT_EQ(info.sampling[1], 0x11);
        EXPECT_EQ(info.sampling[2], 0x11);
        EXPECT_EQ(info.qtable[0], 0);
        EXPECT_EQ(info.qtable[1], 1);  // chroma has its own table
        EXPECT_EQ(info.dht, 4);
        Image back = jpgt::decode(jpg);
        EXPECT_EQ(back.w, s.w);
        EXPECT_EQ(back.h, s.h);
        EXPECT_GT(jpgt::psnr(img, back), 30.0) << s.w << "x" << s.h;
        if (djpeg) {
            EXPECT_EQ(djpeg_status(jpg), 0) << s.w << "x" << s.h;
        }
    }
    if (!djpeg) GTEST_SKIP() << "djpeg missing (libjpeg-turbo-progs): strict decode not run";
}

TEST(Jpeg, FidelityFloors) {
    struct {
        const char* name;
        Image img;
        double floor;
    } cases[] = {
        {"photo", jpgt::photo(640, 480), 33.5},
        {"flat", jpgt::flat(640, 480), 34.0},
    };
    for (auto& c : cases) {
        Image back = jpgt::decode(jpgt::encode(c.img, 85));
        EXPECT_GT(jpgt::psnr(c.img, back), c.floor) << c.name;
    }
    // one flat colour comes back within rounding, up to the last replicated edge pixel
    Image one = jpgt::flat(1, 1);
    Image back = jpgt::decode(jpgt::encode(one, 85));
    ASSERT_EQ(back.px.size(), 3u);
    for (int i = 0; i < 3; i++) EXPECT_NEAR(back.px[i], one.px[i], 2) << i;
}

// Noise spreads the AC symbols so widely that optimal codes exceed 16 bits and must be
// shortened; a wrong shortening shows up as a corrupt stream.
TEST(Jpeg, LongCodesAreLimited) {
    if (!have_djpeg()) GTEST_SKIP() << "djpeg missing (libjpeg-turbo-progs)";
    Image img = jpgt::noise(256, 256);
    std::vector<unsigned char> jpg = jpgt::encode(img, 85);
    EXPECT_EQ(djpeg_status(jpg), 0);
    EXPECT_EQ(jpgt::decode(jpg).w, 256);
}

TEST(Jpeg, RefusesBadArgumentsAndUnwritablePaths) {
    Image img = jpgt::photo(8, 8);
    size_t n = 1;
    const unsigned char* p = img.px.data();
    struct {
        int w, h, ch;
    } bad[] = {{0, 8, 3}, {8, 0, 3}, {8, 8, 2}, {8, 8, 1}, {65536, 1, 3}, {-1, 8, 3}};
    for (auto& b : bad) {
        EXPECT_EQ(jpeg_encode_mem(p, b.w, b.h, b.ch, 85, &n), nullptr) << b.w << " " << b.ch;
        EXPECT_EQ(n, 0u);
    }
    EXPECT_EQ(jpeg_encode_mem(nullptr, 8, 8, 3, 85, &n), nullptr);
    EXPECT_FALSE(jpeg_encode_file("/nonexistent-dir/x.jpg", p, 8, 8, 3, 85));
    std::string path = "/tmp/kel_jpeg_file_" + std::to_string(getpid()) + ".jpg";
    ASSERT_TRUE(jpeg_encode_file(path.c_str(), p, 8, 8, 3, 85));
    int w = 0, h = 0, c = 0;
    unsigned char* back = stbi_load(path.c_str(), &w, &h, &c, 3);
    EXPECT_TRUE(back && w == 8 && h == 8);
    stbi_image_free(back);
    unlink(path.c_str());
}
