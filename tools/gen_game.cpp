// gen_game: draws and synthesises every asset of the bundled game.
//
//   gen_game OUT_DIR        (from the repository: tools/gen_game.sh, which also encodes
//                            the .wav files meant as Ogg with oggenc)
//
// Writes OUT_DIR/atlas.png with atlas.json (the sprites, trimmed to their visible
// pixels and packed, in the JSON hash format of sprite packers), the interface and
// effect sounds and the looping theme as 16-bit PCM WAV. Output is deterministic.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <stb/stb_image_write.h>

static const double PI = 3.14159265358979323846;

// --- pictures

struct Img {
    int w, h;
    std::vector<uint8_t> px;
    Img(int w_, int h_) : w(w_), h(h_), px((size_t)w_ * h_ * 4, 0) {}
    uint8_t* at(int x, int y) { return &px[((size_t)y * w + x) * 4]; }
    void put(int x, int y, double r, double g, double b, double a) {
        if (x < 0 || y < 0 || x >= w || y >= h || a <= 0) return;
        uint8_t* p = at(x, y);
        p[0] = (uint8_t)std::min(255.0, r), p[1] = (uint8_t)std::min(255.0, g);
        p[2] = (uint8_t)std::min(255.0, b), p[3] = (uint8_t)std::min(255.0, a * 255);
    }
};

static double clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

// The ship points right; frame f has a longer flame.
static Img ship(int f) {
    Img img(40, 32);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 40; x++) {
            double u = (x + 0.5 - 10) / 26.0, v = (y + 0.5 - 16) / 16.0;  // nose at u = 1
            double half = 0.85 * (1 - u);                                  // body narrows
            if (u >= 0 && u <= 1 && fabs(v) < half) {
                double edge = clamp01((half - fabs(v)) * 8);
                double shade = 0.55 + 0.45 * (1 - fabs(v) / half);
                bool cockpit = hypot(u - 0.45, v * 1.4) < 0.16;
                if (cockpit)
                    img.put(x, y, 150, 230, 255, edge);
                else
                    img.put(x, y, 235 * shade, 240 * shade, 250 * shade, edge);
            }
            double flame = 0.25 + 0.18 * f;  // length in units of the body
            double fu = -u / flame, fv = v / 0.35;
            if (u < 0 && fu < 1 && fabs(fv) < 1 - fu) {
                double a = clamp01((1 - fu) * (1 - fabs(fv) / (1 - fu)) * 2);
                img.put(x, y, 255, 150 + 100 * (1 - fu), 60, a);
            }
        }
    return img;
}

static Img mine() {
    Img img(36, 36);
    double c = 17.5;
    for (int y = 0; y < 36; y++)
        for (int x = 0; x < 36; x++) {
            double dx = x - c, dy = y - c, d = hypot(dx, dy), a = atan2(dy, dx);
            double spike = 11 + 5 * pow(fabs(cos(a * 4)), 12);  // eight spikes
            if (d > spike + 0.5) continue;
            double alpha = clamp01(spike + 0.5 - d);
            double light = clamp01(1 - hypot(dx + 4, dy + 4) / 16);
            bool core = d < 4;
            if (core)
                img.put(x, y, 255, 230, 120, alpha);
            else
                img.put(x, y, 120 + 120 * light, 40 + 60 * light, 40 + 30 * light, alpha);
        }
    return img;
}

// A gem: a diamond with a bright facet.
static Img orb() {
    Img img(20, 20);
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++) {
            double u = fabs(x + 0.5 - 10) / 8, v = fabs(y + 0.5 - 10) / 9;
            double d = u + v;
            if (d > 1) continue;
            double facet = (x < 10) == (y < 10) ? 1.0 : 0.75;
            img.put(x, y, 90 * facet, 240 * facet, 255 * facet, clamp01((1 - d) * 8));
        }
    return img;
}

// Soft radial light, for additive drawing; falloff p shapes it (large p: small core).
static Img glow(int n, double p) {
    Img img(n, n);
    double c = n / 2.0;
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            double d = hypot(x + 0.5 - c, y + 0.5 - c) / c;
            if (d < 1) img.put(x, y, 255, 255, 255, pow(1 - d, p));
        }
    return img;
}

static Img ring(int n) {
    Img img(n, n);
    double c = n / 2.0;
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            double d = hypot(x + 0.5 - c, y + 0.5 - c) / c;
            double a = exp(-pow((d - 0.85) / 0.07, 2));
            if (d < 1) img.put(x, y, 255, 255, 255, a);
        }
    return img;
}

// A solid block; its frame is the middle, so filtering never reaches the edge.
static Img block() {
    Img img(12, 12);
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 12; x++) img.put(x, y, 255, 255, 255, 1);
    return img;
}

struct Sprite {
    std::string name;
    Img img;
    int tx, ty, tw, th;  // visible part inside img
    int ax, ay;          // place in the atlas
    bool solid;
};

static void trim(Sprite& s) {
    if (s.solid) {
        s.tx = s.ty = 2, s.tw = s.img.w - 4, s.th = s.img.h - 4;
        return;
    }
    int x0 = s.img.w, y0 = s.img.h, x1 = -1, y1 = -1;
    for (int y = 0; y < s.img.h; y++)
        for (int x = 0; x < s.img.w; x++)
            if (s.img.at(x, y)[3]) {
                x0 = std::min(x0, x), y0 = std::min(y0, y);
                x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
    s.tx = x0, s.ty = y0, s.tw = x1 - x0 + 1, s.th = y1 - y0 + 1;
}

// Shelf packing, tallest first, with a transparent gap against filtering bleed.
static bool pack(std::vector<Sprite>& ss, int size) {
    std::vector<Sprite*> order;
    for (Sprite& s : ss) order.push_back(&s);
    std::stable_sort(order.begin(), order.end(), [](Sprite* a, Sprite* b) { return a->th > b->th; });
    int x = 1, y = 1, shelf = 0;
    for (Sprite* s : order) {
        int w = s->solid ? s->img.w : s->tw, h = s->solid ? s->img.h : s->th;
        if (x + w + 1 > size) x = 1, y += shelf + 2, shelf = 0;
        if (y + h + 1 > size) return false;
        s->ax = x - (s->solid ? 0 : s->tx), s->ay = y - (s->solid ? 0 : s->ty);
        x += w + 2;
        shelf = std::max(shelf, h);
    }
    return true;
}

static bool write_file(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    bool ok = f && fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f) ok = fclose(f) == 0 && ok;
    if (!ok) fprintf(stderr, "gen_game: cannot write %s\n", path.c_str());
    else printf("%s\n", path.c_str());
    return ok;
}

static bool atlas(const std::string& dir) {
    std::vector<Sprite> ss;
    auto add = [&](const char* name, Img img, bool solid = false) {
        ss.push_back(Sprite{name, img, 0, 0, 0, 0, 0, 0, solid});
    };
    for (int f = 0; f < 3; f++) add(("ship" + std::to_string(f)).c_str(), ship(f));
    add("mine", mine());
    add("orb", orb());
    add("glow", glow(64, 2.0));
    add("spark", glow(12, 1.5));
    add("ring", ring(64));
    add("block", block(), true);
    for (Sprite& s : ss) trim(s);
    const int size = 256;
    if (!pack(ss, size)) {
        fprintf(stderr, "gen_game: the sprites do not fit a %d x %d atlas\n", size, size);
        return false;
    }
    Img page(size, size);
    std::string json = "{\"frames\":{";
    for (size_t i = 0; i < ss.size(); i++) {
        Sprite& s = ss[i];
        for (int y = s.ty; y < s.ty + s.th; y++)
            for (int x = s.tx; x < s.tx + s.tw; x++)
                memcpy(page.at(s.ax + x, s.ay + y), s.img.at(x, y), 4);
        if (s.solid)  // the whole block, padding included, so the frame's edges stay solid
            for (int y = 0; y < s.img.h; y++)
                for (int x = 0; x < s.img.w; x++) memcpy(page.at(s.ax + x, s.ay + y), s.img.at(x, y), 4);
        char buf[320];
        snprintf(buf, sizeof buf,
                 "%s\n\"%s\":{\"frame\":{\"x\":%d,\"y\":%d,\"w\":%d,\"h\":%d},\"rotated\":false,"
                 "\"trimmed\":%s,\"spriteSourceSize\":{\"x\":%d,\"y\":%d,\"w\":%d,\"h\":%d},"
                 "\"sourceSize\":{\"w\":%d,\"h\":%d}}",
                 i ? "," : "", s.name.c_str(), s.ax + s.tx, s.ay + s.ty, s.tw, s.th,
                 s.solid ? "false" : "true", s.solid ? 0 : s.tx, s.solid ? 0 : s.ty, s.tw, s.th,
                 s.solid ? s.tw : s.img.w, s.solid ? s.th : s.img.h);
        json += buf;
    }
    char meta[128];
    snprintf(meta, sizeof meta, "\n},\"meta\":{\"image\":\"atlas.png\",\"size\":{\"w\":%d,\"h\":%d}}}\n",
             size, size);
    json += meta;
    std::string png = dir + "/atlas.png";
    if (!stbi_write_png(png.c_str(), size, size, 4, page.px.data(), size * 4)) {
        fprintf(stderr, "gen_game: cannot write %s\n", png.c_str());
        return false;
    }
    printf("%s\n", png.c_str());
    return write_file(dir + "/atlas.json", json);
}

// --- sounds

struct Wave {
    int rate;
    std::vector<float> s;
    Wave(int r, double secs) : rate(r), s((size_t)(r * secs), 0.0f) {}
};

static uint32_t _noise_state = 0x12345678u;
static double noise() {
    _noise_state = _noise_state * 1664525u + 1013904223u;
    return (double)(_noise_state >> 8) / 8388608.0 - 1.0;
}

static double osc(const char* kind, double phase) {
    double p = phase - floor(phase);
    if (!strcmp(kind, "square")) return p < 0.5 ? 1 : -1;
    if (!strcmp(kind, "tri")) return 4 * fabs(p - 0.5) - 1;
    if (!strcmp(kind, "saw")) return 2 * p - 1;
    return sin(2 * PI * p);
}

// Adds a note from t0 for len seconds: frequency sliding f0 -> f1, attack 5 ms,
// exponential decay with time constant tau.
static void note(Wave& w, const char* kind, double t0, double len, double f0, double f1, double vol,
                 double tau) {
    int a = (int)(t0 * w.rate), n = (int)(len * w.rate);
    double phase = 0;
    for (int i = 0; i < n && a + i < (int)w.s.size(); i++) {
        double t = (double)i / w.rate, k = (double)i / n;
        phase += (f0 + (f1 - f0) * k) / w.rate;
        double env = std::min(1.0, t / 0.005) * exp(-t / tau) * std::min(1.0, (n - i) / (0.004 * w.rate));
        w.s[(size_t)(a + i)] += (float)(vol * env * osc(kind, phase));
    }
}

static void hiss(Wave& w, double t0, double len, double vol, double tau, double tone) {
    int a = (int)(t0 * w.rate), n = (int)(len * w.rate);
    double lp = 0;
    for (int i = 0; i < n && a + i < (int)w.s.size(); i++) {
        double t = (double)i / w.rate;
        lp += tone * (noise() - lp);  // one-pole low pass: tone 1 = white
        w.s[(size_t)(a + i)] += (float)(vol * exp(-t / tau) * lp * std::min(1.0, (n - i) / (0.004 * w.rate)));
    }
}

static bool wav(const std::string& path, const Wave& w) {
    std::vector<int16_t> pcm(w.s.size());
    for (size_t i = 0; i < w.s.size(); i++)
        pcm[i] = (int16_t)lrint(std::max(-1.0f, std::min(1.0f, w.s[i])) * 32000);
    uint32_t data = (uint32_t)(pcm.size() * 2), rate = (uint32_t)w.rate, br = rate * 2;
    std::string h = "RIFF";
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; i++) h += (char)(v >> (8 * i)); };
    auto u16 = [&](uint16_t v) { h += (char)v, h += (char)(v >> 8); };
    u32(36 + data);
    h += "WAVEfmt ";
    u32(16), u16(1), u16(1), u32(rate), u32(br), u16(2), u16(16);
    h += "data";
    u32(data);
    h.append((const char*)pcm.data(), data);
    return write_file(path, h);
}

static double midi(int n) { return 440.0 * pow(2.0, (n - 69) / 12.0); }

// Eight bars at 128 beats a minute, exactly one loop long: every note ends inside it.
static Wave theme() {
    const int rate = 44100;
    const double beat = 60.0 / 128, bar = 4 * beat;
    Wave w(rate, 8 * bar);
    w.s.resize((size_t)lrint(8 * bar * rate));
    const int roots[8] = {45, 45, 41, 41, 48, 48, 43, 44};  // A A F F C C G G#
    const int arp[4] = {0, 7, 12, 15};
    for (int b = 0; b < 8; b++) {
        double t = b * bar;
        int root = roots[b];
        bool minor = b != 6 && b != 7;
        for (int i = 0; i < 8; i++) {  // bass in eighths
            double f = midi(root - 12 + (i % 4 == 3 ? 12 : 0));
            note(w, "saw", t + i * beat / 2, beat / 2 - 0.01, f, f, 0.16, 0.18);
        }
        for (int i = 0; i < 16; i++) {  // arpeggio in sixteenths
            int step = arp[i % 4] - (!minor && i % 4 == 3 ? 1 : 0);
            double f = midi(root + 12 + step);
            note(w, "square", t + i * beat / 4, beat / 4 - 0.005, f, f, 0.045, 0.06);
        }
        for (int i = 0; i < 4; i++) {  // kick on the beat, hat between
            note(w, "sine", t + i * beat, 0.18, 120, 45, 0.5, 0.08);
            hiss(w, t + i * beat + beat / 2, 0.06, 0.12, 0.02, 0.9);
        }
        if (b % 2 == 1) hiss(w, t + 3 * beat, 0.2, 0.18, 0.07, 0.35);  // snare-ish
        // a slow lead on the last two bars of each half
        if (b % 4 >= 2) {
            const int lead[2][4] = {{72, 76, 74, 71}, {76, 79, 81, 80}};
            for (int i = 0; i < 4; i++) {
                double f = midi(lead[b % 4 - 2][i] - (b < 4 ? 0 : 2));
                note(w, "tri", t + i * beat, beat * 0.95, f, f, 0.12, 0.5);
            }
        }
    }
    return w;
}

static bool sounds(const std::string& dir) {
    bool ok = true;
    {
        Wave w(22050, 0.05);  // focus moves in a menu
        note(w, "square", 0, 0.05, 1320, 1320, 0.25, 0.02);
        ok &= wav(dir + "/move.wav", w);
    }
    {
        Wave w(22050, 0.14);  // a pick in a menu
        note(w, "square", 0, 0.06, 880, 880, 0.25, 0.05);
        note(w, "square", 0.06, 0.08, 1320, 1320, 0.25, 0.05);
        ok &= wav(dir + "/select.wav", w);
    }
    {
        Wave w(22050, 0.25);  // a gem collected
        for (int i = 0; i < 3; i++) note(w, "sine", i * 0.05, 0.12, midi(84 + 4 * i), midi(84 + 4 * i), 0.3, 0.08);
        ok &= wav(dir + "/pick.wav", w);
    }
    {
        Wave w(22050, 0.35);  // the pulse
        note(w, "tri", 0, 0.35, 900, 120, 0.45, 0.15);
        ok &= wav(dir + "/pulse.wav", w);
    }
    {
        Wave w(22050, 0.6);  // a mine hits
        hiss(w, 0, 0.6, 0.7, 0.18, 0.25);
        note(w, "sine", 0, 0.4, 90, 40, 0.6, 0.15);
        ok &= wav(dir + "/hit.wav", w);
    }
    {
        Wave w(22050, 1.2);  // game over
        for (int i = 0; i < 4; i++) note(w, "square", i * 0.22, 0.3, midi(72 - 3 * i), midi(72 - 3 * i), 0.18, 0.2);
        ok &= wav(dir + "/over.wav", w);
    }
    ok &= wav(dir + "/theme.wav", theme());
    return ok;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: gen_game OUT_DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = atlas(dir);
    ok = sounds(dir) && ok;
    return ok ? 0 : 1;
}
