// Hostile game files made on the spot (headers claiming huge sizes, long sounds, a huge
// icon) loaded through the engine, with resident memory measured around each load: a
// refused file must cost next to nothing, a shrunk one only its own size. (A long JSON
// text: tests/mods/json_memory.)
#include <stdint.h>

#include <functional>

#include "tests/engine/gfx_test_util.h"
#include "tests/engine/test_audio_util.h"
#include "util/kel_mixer.h"

#if defined(__SANITIZE_ADDRESS__)
// Freed blocks would stay resident in the sanitizer's quarantine and count as kept.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=0"; }
#endif

using namespace gfxt;

static long status_kib(const char* field) {
    std::string s = slurp("/proc/self/status");
    size_t at = s.find(std::string(field) + ":");
    return at == std::string::npos ? 0 : atol(s.c_str() + at + strlen(field) + 1);
}

// MiB by which fn raised the high-water mark of resident memory ("5" resets the mark).
static long peak_mib(const std::function<void()>& fn) {
    FILE* f = fopen("/proc/self/clear_refs", "w");
    if (f) fputs("5", f), fclose(f);
    long before = status_kib("VmRSS");
    fn();
    return (status_kib("VmHWM") - before) / 1024;
}

// Little-endian (bytes > 0) or big-endian (bytes < 0) integer.
static std::string num(uint64_t v, int bytes) {
    std::string s;
    for (int i = 0; i < abs(bytes); i++) s += (char)(v >> 8 * (bytes > 0 ? i : -bytes - 1 - i));
    return s;
}
static std::string tga(int w, int h) {  // uncompressed grey, the 18-byte header alone
    return std::string("\0\0\3", 3) + std::string(9, '\0') + num(w, 2) + num(h, 2) + "\x08" + '\0';
}
static std::string png(uint32_t w, uint32_t h) {  // IHDR of a grey picture, no pixels
    return std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16) + num(w, -4) + num(h, -4) +
           std::string("\x08\0\0\0\0", 5) + "crc!" + std::string("\0\0\0\0IEND", 8) + "crc!";
}
static std::string jpeg(int w, int h) {  // a frame header alone
    return std::string("\xff\xd8\xff\xc0\0\x0b\x08", 7) + num(h, -2) + num(w, -2) +
           std::string("\x01\x01\x11\x00\xff\xd9", 6);
}
static std::string wav(int rate, uint32_t bytes) {  // 8-bit mono, a square wave
    std::string s = "RIFF" + num(36 + bytes, 4) + "WAVEfmt " + num(16, 4) + num(1, 2) +
                    num(1, 2) + num(rate, 4) + num(rate, 4) + num(1, 2) + num(8, 2) + "data" +
                    num(bytes, 4);
    for (uint32_t i = 0; i < bytes; i++) s += (char)(i & 8 ? 0xC0 : 0x40);
    return s;
}
// A one-second test Ogg with its audio pages `copies` times over; the last page claims
// `claim` frames (0: the true length).
static std::string ogg(int copies, uint64_t claim, const char* file = "stereo_44100.ogg") {
    std::string in = slurp(ta_data(file)), out;
    std::vector<std::string> audio;
    uint64_t g = 0, total = 0;
    uint32_t seq = 0;
    for (size_t at = 0, segs, len; at + 27 <= in.size(); at += len) {
        segs = (unsigned char)in[at + 26], len = 27 + segs;
        for (size_t i = 0; i < segs; i++) len += (unsigned char)in[at + 27 + i];
        memcpy(&g, &in[at + 6], 8);
        if (g == 0 && audio.empty()) out += in.substr(at, len), seq++;  // the headers
        else audio.push_back(in.substr(at, len)), total = g;
    }
    for (int c = 0; c < copies; c++)
        for (size_t i = 0; i < audio.size(); i++, seq++) {
            std::string p = audio[i];
            bool last = c == copies - 1 && i == audio.size() - 1;
            memcpy(&g, &p[6], 8);
            g = last && claim ? claim : g + (g != ~0ull ? c * total : 0);
            p[5] = (char)(last ? p[5] | 4 : p[5] & ~4);
            memcpy(&p[6], &g, 8);
            memcpy(&p[18], &seq, 4);
            memset(&p[22], 0, 4);
            uint32_t crc = 0;
            for (unsigned char b : p) {
                crc ^= (uint32_t)b << 24;
                for (int k = 0; k < 8; k++) crc = crc << 1 ^ (crc >> 31 ? 0x04C11DB7u : 0);
            }
            out += p.replace(22, 4, num(crc, 4));
        }
    return out;
}

enum Kind { IMAGE, ICON, SAMPLE, STREAM };
struct Hostile {
    const char* name;
    Kind kind;
    std::function<std::string()> make;  // empty: a solid PNG of w x h
    int w, h;
    bool kept;      // loaded (images, samples), back at its start after its end (streams)
    long peak_max;  // MiB
};

TEST(Hostile, FilesClaimingHugeSizesAreRefusedBeforeTheirMemoryIsSpent) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ASSERT_NO_FATAL_FAILURE(gl_up(320, 240));
    driver_verbose_set(0);
    _driver_audio_init();
    _driver_audio_pause(1);
    mixer_init();
    const Hostile rows[] = {
        {"tga_23170.tga", IMAGE, [] { return tga(23170, 23170); }, 0, 0, false, 16},
        {"tga_16000.tga", IMAGE, [] { return tga(16000, 16000); }, 0, 0, false, 16},
        {"tga_4096x4097.tga", IMAGE, [] { return tga(4096, 4097); }, 0, 0, false, 16},
        {"png_30000.png", IMAGE, [] { return png(30000, 30000); }, 0, 0, false, 16},
        {"jpeg_30000.jpg", IMAGE, [] { return jpeg(30000, 30000); }, 0, 0, false, 16},
        {"fine.png", IMAGE, nullptr, 300, 200, true, 16},
        {"icon_2048.png", ICON, nullptr, 2048, 2048, true, 64},  // the X server ended the run
        {"icon_wide.png", ICON, nullptr, 4000, 3, true, 16},
        {"slow_1khz.wav", SAMPLE, [] { return wav(1000, 2000000); }, 0, 0, false, 16},
        {"short_1khz.wav", SAMPLE, [] { return wav(1000, 59000); }, 0, 0, true, 64},
        {"long.ogg", SAMPLE, [] { return ogg(65, 0); }, 0, 0, false, 16},
        {"long_claims_short.ogg", SAMPLE, [] { return ogg(65, 44100); }, 0, 0, false, 40},
        {"claims_2e40.ogg", SAMPLE, [] { return ogg(1, 1ull << 40); }, 0, 0, true, 16},
        {"claims_2e40_music.ogg", STREAM, [] { return ogg(1, 1ull << 40); }, 0, 0, true, 16},
        {"claims_2e40_22k.ogg", STREAM, [] { return ogg(1, 1ull << 40, "mono_22050.ogg"); }, 0, 0,
         true, 16},
    };
    for (const Hostile& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.make) file_write(r.name, r.make());
        else png_write(r.name, r.w, r.h, [](int, int) { return 0xFF336699u; });
        bool kept = false;
        long peak = peak_mib([&] {
            if (r.kind == IMAGE) {
                kept = gfx_tex_get(gfx_tex_load(r.name)).gl_id != 0;
            } else if (r.kind == ICON) {
                driver_icon_set(driver_data_path(r.name));
                driver_video_swap();
                kept = driver_video_window() != nullptr;
            } else if (r.kind == SAMPLE) {
                kept = mixer_sample_load(r.name) != 0;
            } else {
                int id = mixer_stream_load(r.name);
                mixer_stream_play(id, 1.0f);
                std::vector<float> out;
                for (int i = 0; i < 44100 * 3 / 2 / TA_FRAMES; i++) out = ta_mix();
                kept = ta_peak(out) > 0.1f;  // at 1.5 s of a 1 s file
            }
        });
        EXPECT_EQ(kept, r.kept);
        EXPECT_LE(peak, r.peak_max);
    }
    int w = 0, h = 0;
    std::vector<unsigned char> px((size_t)4000 * 3 * 4, 200);
    free(driver_image_shrink(px.data(), 4000, 3, 256, &w, &h));
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(256, 1));
    mixer_deinit();
    _driver_audio_deinit();
    gl_down();
}
