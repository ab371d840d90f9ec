// Our JPEG encoder beside libjpeg-turbo's cjpeg at the same settings (quality 85, 2 x 2
// chroma, optimised Huffman tables) on the same pixels: bytes, PSNR (decoded by
// stb_image for both) and time. cjpeg is timed as a whole process reading a PPM file;
// ours in memory. cjpeg comes from Debian's libjpeg-turbo-progs.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

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

static void BM_JpegOurs(benchmark::State& state) {
    Image img = _bench_image((int)state.range(0));
    std::vector<unsigned char> jpg;
    for (auto _ : state) {
        jpg = jpgt::encode(img, 85);
        benchmark::DoNotOptimize(jpg.data());
    }
    state.SetLabel(_bench_names[state.range(0)]);
    state.counters["bytes"] = (double)jpg.size();
    state.counters["psnr_db"] = jpgt::psnr(img, jpgt::decode(jpg));
}
BENCHMARK(BM_JpegOurs)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

static bool _bench_cjpeg(const std::string& in, const std::string& out) {
    const char* argv[] = {"cjpeg", "-quality", "85", "-sample", "2x2", "-optimize",
                          "-outfile", out.c_str(), in.c_str(), nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "cjpeg", nullptr, nullptr, (char**)argv, environ) != 0) return false;
    int st = 0;
    return waitpid(pid, &st, 0) == pid && WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

static void BM_JpegCjpeg(benchmark::State& state) {
    Image img = _bench_image((int)state.range(0));
    std::string dir = "/tmp/kel_bench_jpeg_" + std::to_string(getpid());
    std::string in = dir + ".ppm", out = dir + ".jpg";
    FILE* f = fopen(in.c_str(), "wb");
    fprintf(f, "P6\n%d %d\n255\n", img.w, img.h);
    fwrite(img.px.data(), 1, img.px.size(), f);
    fclose(f);
    if (!_bench_cjpeg(in, out)) {
        state.SkipWithError("cjpeg missing: install libjpeg-turbo-progs");
        unlink(in.c_str());
        return;
    }
    for (auto _ : state) _bench_cjpeg(in, out);
    std::vector<unsigned char> jpg;
    f = fopen(out.c_str(), "rb");
    for (int c; f && (c = fgetc(f)) != EOF;) jpg.push_back((unsigned char)c);
    if (f) fclose(f);
    unlink(in.c_str());
    unlink(out.c_str());
    state.SetLabel(_bench_names[state.range(0)]);
    state.counters["bytes"] = (double)jpg.size();
    state.counters["psnr_db"] = jpgt::psnr(img, jpgt::decode(jpg));
}
BENCHMARK(BM_JpegCjpeg)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
