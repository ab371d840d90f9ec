// Hostile game files made on the spot (headers claiming huge sizes, long sounds, a huge
// icon) loaded through the engine, with the peak of resident memory measured around each
// load: a refused file must cost next to nothing, a shrunk one only its own size.
#include <lua.hpp>
#include <stdint.h>

#include <functional>

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_lua.h"
#include "tests/engine/gfx_test_util.h"
#include "tests/engine/test_audio_util.h"
#include "util/kel_driver-audio.h"
#include "util/kel_driver-sdl2.h"
#include "util/kel_driver-tex_load.h"
#include "util/kel_mixer.h"

using namespace gfxt;

// A field of /proc/self/status in KiB.
static long status_kib(const char* field) {
    std::string s = slurp("/proc/self/status");
    size_t at = s.find(std::string(field) + ":");
    return at == std::string::npos ? 0 : atol(s.c_str() + at + strlen(field) + 1);
}

// MiB by which fn raised the high-water mark of resident memory above what was resident.
static long peak_mib(const std::function<void()>& fn) {
    FILE* f = fopen("/proc/self/clear_refs", "w");  // "5" resets the high-water mark
    if (f) fputs("5", f), fclose(f);
    long before = status_kib("VmRSS");
    fn();
    return (status_kib("VmHWM") - before) / 1024;
}

static void le(std::string& s, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; i++) s += (char)(v >> (8 * i));
}
static void be(std::string& s, uint32_t v) {
    for (int i = 3; i >= 0; i--) s += (char)(v >> (8 * i));
}

// Uncompressed grey TGA: the 18-byte header alone.
static std::string tga(int w, int h) {
    std::string s("\0\0\3", 3);
    s.append(9, '\0');
    le(s, (uint64_t)w, 2);
    le(s, (uint64_t)h, 2);
    s += "\x08\x00";
    return s;
}
// Grey: within stb_image's own limit at 30000 x 30000.
static std::string png_header(uint32_t w, uint32_t h) {
    std::string s("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    be(s, w);
    be(s, h);
    s += std::string("\x08\0\0\0\0", 5) + "crc!" + std::string("\0\0\0\0IEND", 8) + "crc!";
    return s;
}
static std::string jpeg_header(uint16_t w, uint16_t h) {
    std::string s("\xff\xd8\xff\xc0\0\x0b\x08", 7);
    s += (char)(h >> 8), s += (char)h, s += (char)(w >> 8), s += (char)w;
    return s + std::string("\x01\x01\x11\x00\xff\xd9", 6);
}
static std::string png(int w, int h) {
    std::vector<uint32_t> px((size_t)w * h, 0xFF336699);
    std::string s;
    auto add = [](void* to, void* data, int n) { ((std::string*)to)->append((char*)data, n); };
    stbi_write_png_to_func(add, &s, w, h, 4, px.data(), w * 4);
    return s;
}
// 8-bit mono PCM at rate with `bytes` of a square wave.
static std::string wav(int rate, uint32_t bytes) {
    std::string s = "RIFF";
    le(s, 36 + bytes, 4);
    s += "WAVEfmt ";
    le(s, 16, 4), le(s, 1, 2), le(s, 1, 2), le(s, (uint64_t)rate, 4), le(s, (uint64_t)rate, 4);
    le(s, 1, 2), le(s, 8, 2);
    s += "data";
    le(s, bytes, 4);
    for (uint32_t i = 0; i < bytes; i++) s += (char)(i & 8 ? 0xC0 : 0x40);
    return s;
}

static uint32_t ogg_crc(const std::string& p) {
    uint32_t c = 0;
    for (unsigned char b : p) {
        c ^= (uint32_t)b << 24;
        for (int k = 0; k < 8; k++) c = c & 0x80000000u ? c << 1 ^ 0x04C11DB7u : c << 1;
    }
    return c;
}
// The one-second test Ogg with its audio pages played `copies` times over, each page
// renumbered; the last page claims `claim` frames (0: the true length).
static std::string ogg(int copies, uint64_t claim) {
    std::string in = slurp(std::string(KEL_SOURCE_DIR) + "/tests/data/audio/stereo_44100.ogg");
    std::vector<std::string> head, audio;
    for (size_t at = 0; at + 27 <= in.size();) {
        size_t segs = (unsigned char)in[at + 26], len = 27 + segs;
        for (size_t i = 0; i < segs; i++) len += (unsigned char)in[at + 27 + i];
        std::string page = in.substr(at, len);
        uint64_t g = 0;
        memcpy(&g, &page[6], 8);
        (g == 0 && audio.empty() ? head : audio).push_back(page);
        at += len;
    }
    uint64_t total = 0;
    memcpy(&total, &audio.back()[6], 8);
    std::string out;
    uint32_t seq = 0;
    for (std::string p : head) out += p, seq++;
    for (int c = 0; c < copies; c++)
        for (size_t i = 0; i < audio.size(); i++) {
            std::string p = audio[i];
            bool last = c == copies - 1 && i == audio.size() - 1;
            uint64_t g = 0;
            memcpy(&g, &p[6], 8);
            if (g != ~0ull) g += (uint64_t)c * total;
            if (last && claim) g = claim;
            p[5] = (char)(last ? p[5] | 4 : p[5] & ~4);
            memcpy(&p[6], &g, 8);
            memcpy(&p[18], &seq, 4), seq++;
            memset(&p[22], 0, 4);
            uint32_t crc = ogg_crc(p);
            memcpy(&p[22], &crc, 4);
            out += p;
        }
    return out;
}

enum Kind { IMAGE, ICON, SAMPLE, STREAM };
struct Hostile {
    const char* name;
    Kind kind;
    std::function<std::string()> make;
    bool kept;      // loaded (images, samples), looping back to its start (streams)
    long peak_max;  // MiB
};

class HostileFiles : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        ASSERT_NO_FATAL_FAILURE(gl_up(320, 240));
        driver_verbose_set(0);
        _driver_audio_init();
        _driver_audio_pause(1);
        mixer_init();
    }
    void TearDown() override {
        mixer_deinit();
        _driver_audio_deinit();
        gl_down();
    }
};

TEST_F(HostileFiles, FilesClaimingHugeSizesAreRefusedBeforeTheirMemoryIsSpent) {
    const Hostile rows[] = {
        {"tga_23170.tga", IMAGE, [] { return tga(23170, 23170); }, false, 16},
        {"tga_16000.tga", IMAGE, [] { return tga(16000, 16000); }, false, 16},
        {"tga_4096x4097.tga", IMAGE, [] { return tga(4096, 4097); }, false, 16},
        {"png_30000.png", IMAGE, [] { return png_header(30000, 30000); }, false, 16},
        {"jpeg_30000.jpg", IMAGE, [] { return jpeg_header(30000, 30000); }, false, 16},
        {"fine.png", IMAGE, [] { return png(300, 200); }, true, 16},
        {"icon_2048.png", ICON, [] { return png(2048, 2048); }, true, 64},
        {"icon_wide.png", ICON, [] { return png(4000, 3); }, true, 16},
        {"slow_1khz.wav", SAMPLE, [] { return wav(1000, 2000000); }, false, 16},
        {"short_1khz.wav", SAMPLE, [] { return wav(1000, 59000); }, true, 64},
        {"long.ogg", SAMPLE, [] { return ogg(65, 0); }, false, 16},
        {"long_claims_short.ogg", SAMPLE, [] { return ogg(65, 44100); }, false, 40},
        {"claims_2e40.ogg", SAMPLE, [] { return ogg(1, 1ull << 40); }, true, 16},
        {"claims_2e40_stream.ogg", STREAM, [] { return ogg(1, 1ull << 40); }, true, 16},
    };
    for (const Hostile& r : rows) {
        SCOPED_TRACE(r.name);
        file_write(r.name, r.make());
        bool kept = false;
        long peak = peak_mib([&] {
            if (r.kind == IMAGE) {
                kept = gfx_tex_get(gfx_tex_load(r.name)).gl_id != 0;
            } else if (r.kind == ICON) {
                driver_icon_set(driver_data_path(r.name));
                driver_video_swap();  // the X server ended the run for icons of 2048 x 2048
                kept = driver_video_window() != nullptr;
            } else if (r.kind == SAMPLE) {
                kept = mixer_sample_load(r.name) != 0;
            } else {
                int id = mixer_stream_load(r.name);
                mixer_stream_play(id, 1.0f);
                std::vector<float> tail;
                for (int i = 0; i < 44100 * 3 / 2 / TA_FRAMES; i++) tail = ta_mix();
                kept = ta_peak(tail) > 0.1f;  // past its true end it plays from the start
                mixer_stream_stop(id);
            }
        });
        EXPECT_EQ(kept, r.kept);
        EXPECT_LE(peak, r.peak_max);
        printf("%-26s %s, peak %ld MiB\n", r.name, kept ? "kept" : "refused", peak);
    }
    int w = 0, h = 0;
    std::vector<unsigned char> px((size_t)4000 * 3 * 4, 200);
    free(driver_image_shrink(px.data(), 4000, 3, 256, &w, &h));
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(256, 1));
}

TEST(HostileJson, EncodingALongTextKeepsNoBufferAfterwards) {
    driver_init(DRIVER_INIT_TIMER);
    Game game{};
    ModsAPI* api = new ModsAPI(&game);
    ModsLua* mod = new ModsLua(api);
    long before = status_kib("VmRSS");
    int status = mods_lua_run(mod->L, R"(
        local s = json_encode(string.rep("a", 40e6))
        assert(#s == 40e6 + 2)
        s = nil
        assert(not pcall(json_encode, { string.rep("b", 4e6), 0/0 }))
        assert(json_encode({ 1, "x" }) == '[1,"x"]')
        collectgarbage()
    )", "t");
    EXPECT_EQ(status, 0) << (api->console_lines.empty() ? "" : api->console_lines.front());
    EXPECT_LT((status_kib("VmRSS") - before) / 1024, 8);  // was the 40 MB text's buffer
    delete mod;
    delete api;
    driver_deinit();
}
