// The JPEG encoder: files that stb_image and libjpeg's djpeg both read back, the JFIF and
// 4:2:0 markers parsed from the file itself, fidelity floors, odd sizes.
#include "ext/jpeg/jpeg_encoder.h"

#include <gtest/gtest.h>
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
    int comp[3][2] = {};  // sampling 0xHV and table, per component
    int dqt[2][64] = {};  // zigzag order, by table id
};

JpegInfo parse(const std::vector<unsigned char>& f) {
    JpegInfo info;
    size_t n = f.size(), p = 2;
    if (n < 4 || f[0] != 0xFF || f[1] != 0xD8) return info;
    info.eoi = f[n - 2] == 0xFF && f[n - 1] == 0xD9;
    while (p + 4 <= n && f[p] == 0xFF && f[p + 1] != 0xDA) {
        int m = f[p + 1];
        size_t len = (size_t)f[p + 2] << 8 | f[p + 3];
        const unsigned char* s = &f[p + 4];
        if (p + 2 + len > n) break;
        if (m == 0xE0 && len >= 16) info.jfif = !memcmp(s, "JFIF", 5);
        for (size_t q = 0; m == 0xDB && q + 65 <= len - 2; q += 65)
            for (int k = 0; k < 64; k++) info.dqt[s[q] & 1][k] = s[q + 1 + k];
        if (m == 0xC0) {
            info.baseline = s[0] == 8;
            info.h = s[1] << 8 | s[2];
            info.w = s[3] << 8 | s[4];
            info.comps = s[5];
            for (int c = 0; c < 3 && c < info.comps; c++)
                info.comp[c][0] = s[7 + 3 * c], info.comp[c][1] = s[8 + 3 * c];
        }
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

}  // namespace

// The noise row spreads the AC symbols so widely that optimal codes exceed 16 bits and
// must be shortened; a wrong shortening shows up in djpeg as a corrupt stream.
TEST(Jpeg, AnySizeDecodesAsBaselineJfif420) {
    struct {
        const char* kind;
        int w, h, channels;
        double floor;  // PSNR, dB
    } cases[] = {
        {"photo", 1, 1, 3, 30},    {"photo", 7, 13, 4, 30},  {"photo", 1023, 17, 3, 30},
        {"photo", 17, 1, 4, 30},   {"photo", 640, 480, 4, 33.5}, {"flat", 640, 480, 3, 34},
        {"flat", 1, 1, 3, 40},     {"noise", 256, 256, 3, 0},
    };
    bool djpeg = system("command -v djpeg >/dev/null 2>&1") == 0;
    for (auto& c : cases) {
        std::string what = std::string(c.kind) + " " + std::to_string(c.w) + "x" +
                           std::to_string(c.h);
        Image img = c.kind[0] == 'p' ? jpgt::photo(c.w, c.h, c.channels)
                    : c.kind[0] == 'f' ? jpgt::flat(c.w, c.h, c.channels)
                                       : jpgt::noise(c.w, c.h, c.channels);
        std::vector<unsigned char> jpg = jpgt::encode(img, 85);
        JpegInfo info = parse(jpg);
        EXPECT_TRUE(info.jfif && info.baseline && info.eoi) << what;
        // 4:2:0: luma 2 x 2 with table 0, both chroma 1 x 1 with their own table 1
        EXPECT_EQ(std::vector<int>({info.w, info.h, info.comps, info.comp[0][0], info.comp[0][1],
                                    info.comp[1][0], info.comp[1][1], info.comp[2][0], info.comp[2][1]}),
                  std::vector<int>({c.w, c.h, 3, 0x22, 0, 0x11, 1, 0x11, 1})) << what;
        // psnr is 0 when the decoded size differs
        EXPECT_GT(jpgt::psnr(img, jpgt::decode(jpg)), c.floor) << what;
        EXPECT_EQ(djpeg ? djpeg_status(jpg) : 0, 0) << what;
    }
    if (!djpeg) GTEST_SKIP() << "djpeg missing (libjpeg-turbo-progs): strict decode not run";
}

TEST(Jpeg, RefusesBadArgumentsAndUnwritablePaths) {
    Image img = jpgt::photo(8, 8);
    const unsigned char* p = img.px.data();
    struct {
        const unsigned char* px;
        int w, h, ch;
    } bad[] = {{p, 0, 8, 3},     {p, 8, 0, 3},  {p, 8, 8, 2},    {p, 8, 8, 1},
               {p, 65536, 1, 3}, {p, -1, 8, 3}, {nullptr, 8, 8, 3}};
    for (auto& b : bad) {
        size_t n = 1;
        EXPECT_EQ(jpeg_encode_mem(b.px, b.w, b.h, b.ch, 85, &n), nullptr) << b.w << " " << b.ch;
        EXPECT_EQ(n, 0u);
    }
    EXPECT_FALSE(jpeg_encode_file("/nonexistent-dir/x.jpg", p, 8, 8, 3, 85));
    std::string path = "/tmp/kel_jpeg_file_" + std::to_string(getpid()) + ".jpg";
    ASSERT_TRUE(jpeg_encode_file(path.c_str(), p, 8, 8, 3, 85));
    int w = 0, h = 0, c = 0;
    unsigned char* back = stbi_load(path.c_str(), &w, &h, &c, 3);
    EXPECT_TRUE(back && w == 8 && h == 8);
    stbi_image_free(back);
    unlink(path.c_str());
}
