// Our JPEG encoder beside libjpeg-turbo at the same settings (quality 85, 2 x 2 chroma,
// optimised Huffman tables) on the same pixels: bytes, PSNR (decoded by stb_image for all)
// and time. Like with like: both encode in memory through the library API. A second row
// times Debian's cjpeg as a whole process reading a PPM file, for the figure a shell script
// would see. Every row checks that its output decodes to the picture.
#include <benchmark/benchmark.h>
#include <setjmp.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <jpeglib.h>

#include <string>
#include <vector>

#include "tests/engine/jpeg_test_util.h"

extern char** environ;

// Left half a game frame, right half a photo.
static Image _bench_mixed(int w, int h) {
    Image img = jpgt::flat(w, h), pic = jpgt::photo(w, h);
    for (int y = 0; y < h; y++) memcpy(img.at(w / 2, y), pic.at(w / 2, y), (size_t)(w - w / 2) * 3);
    return img;
}

static Image _bench_image(int which) {
    switch (which) {
    case 0: return jpgt::flat(640, 480);
    case 1: return jpgt::photo(640, 480);
    default: return _bench_mixed(1024, 1024);
    }
}
static const char* _bench_names[] = {"game_640x480", "photo_640x480", "mixed_1024x1024"};

// Bytes and PSNR beside the time; output that does not decode close to the picture is an error.
static void _bench_report(benchmark::State& state, const Image& img,
                          const std::vector<unsigned char>& jpg) {
    double psnr = jpg.empty() ? 0 : jpgt::psnr(img, jpgt::decode(jpg));
    if (psnr < 30) state.SkipWithError("output does not decode to the picture");
    state.SetLabel(_bench_names[state.range(0)]);
    state.counters["bytes"] = (double)jpg.size();
    state.counters["psnr_db"] = psnr;
}

static void BM_JpegOurs(benchmark::State& state) {
    Image img = _bench_image((int)state.range(0));
    std::vector<unsigned char> jpg;
    for (auto _ : state) jpg = jpgt::encode(img, 85);
    _bench_report(state, img, jpg);
}
BENCHMARK(BM_JpegOurs)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

struct _bench_jerr {
    jpeg_error_mgr mgr;
    jmp_buf back;
};

static void _bench_jerr_exit(j_common_ptr c) { longjmp(((_bench_jerr*)c->err)->back, 1); }

// libjpeg-turbo in memory, as cjpeg -quality 85 -sample 2x2 -optimize sets it up. The
// output buffer belongs to the caller: a local changed after setjmp is lost by longjmp.
static bool _bench_libjpeg(const Image& img, unsigned char** mem, unsigned long* size) {
    jpeg_compress_struct c;
    _bench_jerr err;
    c.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = _bench_jerr_exit;
    if (setjmp(err.back)) {
        jpeg_destroy_compress(&c);
        return false;
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, mem, size);
    c.image_width = (JDIMENSION)img.w;
    c.image_height = (JDIMENSION)img.h;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 2;
    c.optimize_coding = TRUE;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = (JSAMPROW)&img.px[(size_t)c.next_scanline * img.w * 3];
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return true;
}

static void BM_JpegLibjpeg(benchmark::State& state) {
    Image img = _bench_image((int)state.range(0));
    std::vector<unsigned char> jpg;
    for (auto _ : state) {
        unsigned char* mem = nullptr;
        unsigned long size = 0;
        bool ok = _bench_libjpeg(img, &mem, &size);
        if (ok) jpg.assign(mem, mem + size);
        free(mem);
        if (!ok) {
            state.SkipWithError("libjpeg failed");
            break;
        }
    }
    _bench_report(state, img, jpg);
}
BENCHMARK(BM_JpegLibjpeg)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

static bool _bench_cjpeg(const std::string& in, const std::string& out) {
    const char* argv[] = {"cjpeg", "-quality", "85", "-sample", "2x2", "-optimize",
                          "-outfile", out.c_str(), in.c_str(), nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "cjpeg", nullptr, nullptr, (char**)argv, environ) != 0) return false;
    int st = 0;
    return waitpid(pid, &st, 0) == pid && WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

// A process start and a PPM file read and JPEG file written each time.
static void BM_JpegCjpegProcess(benchmark::State& state) {
    Image img = _bench_image((int)state.range(0));
    std::string dir = "/tmp/kel_bench_jpeg_" + std::to_string(getpid());
    std::string in = dir + ".ppm", out = dir + ".jpg";
    FILE* f = fopen(in.c_str(), "wb");
    if (!f) return state.SkipWithError("cannot write the PPM file");
    fprintf(f, "P6\n%d %d\n255\n", img.w, img.h);
    bool wrote = fwrite(img.px.data(), 1, img.px.size(), f) == img.px.size();
    if (fclose(f) != 0 || !wrote) {
        unlink(in.c_str());
        return state.SkipWithError("cannot write the PPM file");
    }
    if (!_bench_cjpeg(in, out)) {
        unlink(in.c_str());
        return state.SkipWithError("cjpeg missing: install libjpeg-turbo-progs");
    }
    for (auto _ : state) {
        if (!_bench_cjpeg(in, out)) {
            state.SkipWithError("cjpeg failed");
            break;
        }
    }
    std::vector<unsigned char> jpg;
    f = fopen(out.c_str(), "rb");
    for (int c; f && (c = fgetc(f)) != EOF;) jpg.push_back((unsigned char)c);
    if (f) fclose(f);
    unlink(in.c_str());
    unlink(out.c_str());
    _bench_report(state, img, jpg);
}
BENCHMARK(BM_JpegCjpegProcess)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
