// The JPEG encoder: files that stb_image and libjpeg's djpeg both read back, the JFIF and
// 4:2:0 markers, fidelity floors, odd sizes.
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

// The JFIF header, then a baseline frame of three components sampled 4:2:0: luma 2 x 2 with
// table 0, both chroma 1 x 1 with their own table 1.
bool jfif_420(const std::vector<unsigned char>& f) {
    std::string s(f.begin(), f.end()), comps("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 10);
    size_t sof = s.find("\xFF\xC0");
    return s.compare(6, 5, std::string("JFIF\0", 5)) == 0 && sof != std::string::npos &&
           s.compare(sof + 9, 10, comps) == 0;
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
        EXPECT_TRUE(jfif_420(jpg)) << what;
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
