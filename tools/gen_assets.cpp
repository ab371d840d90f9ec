// gen_assets: draws the bundled game's pictures and the sprite benchmark's sprite.
//
//   gen_assets DATA_DIR BENCH_DIR      (from the repository: gen_assets data bench/sprites/love)
//
// Writes DATA_DIR/images/{ball,crate,glow,icon,sheet}.png with sheet.json (the atlas
// description of sheet.png) and BENCH_DIR/sprite.png. Output is deterministic, so the
// committed files only change when this program does.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <stb/stb_image_write.h>

struct Img {
    int w, h;
    std::vector<uint8_t> px;
    Img(int w_, int h_) : w(w_), h(h_), px((size_t)w_ * h_ * 4, 0) {}
    void put(int x, int y, int r, int g, int b, int a) {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        uint8_t* p = &px[((size_t)y * w + x) * 4];
        p[0] = (uint8_t)r, p[1] = (uint8_t)g, p[2] = (uint8_t)b, p[3] = (uint8_t)a;
    }
};

static int clamp255(double v) { return v < 0 ? 0 : v > 255 ? 255 : (int)(v + 0.5); }

static bool save(const Img& img, const std::string& path) {
    if (!stbi_write_png(path.c_str(), img.w, img.h, 4, img.px.data(), img.w * 4)) {
        fprintf(stderr, "gen_assets: cannot write %s\n", path.c_str());
        return false;
    }
    printf("%s\n", path.c_str());
    return true;
}

// Shaded sphere with a soft, anti-aliased rim.
static Img ball(int n, int r, int g, int b) {
    Img img(n, n);
    double c = (n - 1) / 2.0, rad = n / 2.0 - 0.5;
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            double dx = (x - c) / rad, dy = (y - c) / rad, d = sqrt(dx * dx + dy * dy);
            double a = (1 - d) * rad + 0.5;  // one pixel of edge
            if (a <= 0) continue;
            double light = 0.35 + 0.65 * fmax(0, 1 - hypot(dx + 0.35, dy + 0.35));
            img.put(x, y, clamp255(r * light + 90 * light * light), clamp255(g * light + 90 * light * light),
                    clamp255(b * light + 90 * light * light), clamp255(255 * fmin(1, a)));
        }
    return img;
}

static Img crate(int n) {
    Img img(n, n);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            bool edge = x < 3 || y < 3 || x >= n - 3 || y >= n - 3;
            bool diag = abs(x - y) < 2 || abs(x - (n - 1 - y)) < 2;
            double grain = 0.85 + 0.15 * sin(y * 1.7 + sin(x * 0.3) * 2);
            int r = edge ? 110 : diag ? 150 : (int)(190 * grain);
            int g = edge ? 70 : diag ? 100 : (int)(130 * grain);
            int b = edge ? 30 : diag ? 50 : (int)(70 * grain);
            img.put(x, y, r, g, b, 255);
        }
    return img;
}

// Soft radial glow, brightest in the middle: meant for additive drawing.
static Img glow(int n) {
    Img img(n, n);
    double c = (n - 1) / 2.0;
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            double d = hypot(x - c, y - c) / (n / 2.0);
            double a = d >= 1 ? 0 : pow(1 - d, 2);
            img.put(x, y, 255, 255, 255, clamp255(255 * a));
        }
    return img;
}

// A small ship, pointing up, in four colours; trimmed frames have transparent margins.
static void ship(Img& img, int ox, int oy, int n, int r, int g, int b) {
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            double u = (x + 0.5) / n - 0.5, v = (y + 0.5) / n;
            bool body = fabs(u) < v * 0.45 && v > 0.1 && v < 0.9;
            bool wing = v > 0.55 && v < 0.85 && fabs(u) < 0.45;
            bool window = hypot(u, v - 0.45) < 0.08;
            if (window) img.put(ox + x, oy + y, 200, 240, 255, 255);
            else if (body || wing) {
                double s = 0.7 + 0.3 * (1 - fabs(u) * 2);
                img.put(ox + x, oy + y, clamp255(r * s), clamp255(g * s), clamp255(b * s), 255);
            }
        }
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: gen_assets DATA_DIR BENCH_DIR\n");
        return 2;
    }
    std::string data = argv[1], bench = argv[2];
    std::string images = data + "/images";
    bool ok = true;
    ok &= save(ball(32, 230, 60, 50), images + "/ball.png");
    ok &= save(crate(32), images + "/crate.png");
    ok &= save(glow(32), images + "/glow.png");
    ok &= save(ball(32, 60, 140, 230), images + "/icon.png");

    // Sheet: four 32 x 32 ships side by side, each frame trimmed by 4 pixels of margin.
    Img sheet(128, 32);
    const int colours[4][3] = {{230, 80, 60}, {80, 200, 90}, {70, 120, 230}, {230, 200, 60}};
    for (int i = 0; i < 4; i++)
        ship(sheet, i * 32 + 4, 4, 24, colours[i][0], colours[i][1], colours[i][2]);
    ok &= save(sheet, images + "/sheet.png");
    std::string json = "{\"frames\":{";
    for (int i = 0; i < 4; i++) {
        char buf[256];
        snprintf(buf, sizeof buf,
                 "%s\n\"ship%d.png\":{\"frame\":{\"x\":%d,\"y\":4,\"w\":24,\"h\":24},"
                 "\"rotated\":false,\"trimmed\":true,"
                 "\"spriteSourceSize\":{\"x\":4,\"y\":4,\"w\":24,\"h\":24},"
                 "\"sourceSize\":{\"w\":32,\"h\":32}}",
                 i ? "," : "", i, i * 32 + 4);
        json += buf;
    }
    json += "\n},\"meta\":{\"image\":\"sheet.png\",\"size\":{\"w\":128,\"h\":32}}}\n";
    std::string jpath = images + "/sheet.json";
    FILE* f = fopen(jpath.c_str(), "wb");
    if (!f || fwrite(json.data(), 1, json.size(), f) != json.size()) ok = false;
    if (f) fclose(f);
    printf("%s\n", jpath.c_str());

    ok &= save(ball(16, 240, 180, 60), bench + "/sprite.png");
    return ok ? 0 : 1;
}
