// fontbake: bakes a TrueType font into a text BMFont descriptor and its glyph page.
//
//   fontbake [options] FONT.ttf OUT     writes OUT.fnt and OUT.png
//   fontbake -s 16,32 FONT.ttf OUT      writes OUT-16.fnt/.png and OUT-32.fnt/.png
//
// The page is white with the glyph coverage in alpha, packed with stb_rect_pack into
// the smallest power-of-two square (or the --page size) that holds every glyph.
// Glyph ids are the character codes of the range, Latin-1 above 127 (so also their
// Unicode code points: unicode=1), which is how the engine draws text: one byte, one glyph.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "stb_image_write.h"
#include "stb_rect_pack.h"
#include "stb_truetype.h"

struct Options {
    int size = 32;          // pixel height of ascent to descent
    std::vector<int> sizes;  // every size asked for
    int first = 32, last = 126;
    int padding = 1;        // empty pixels around every glyph
    int page_w = 0, page_h = 0;  // 0: smallest that fits
    const char* font = nullptr;
    const char* out = nullptr;
};

static void usage(FILE* f) {
    fprintf(f,
            "usage: fontbake [options] FONT.ttf OUT\n"
            "Bakes FONT into OUT.fnt (text BMFont descriptor) and OUT.png (glyph page).\n"
            "  -s, --size PX[,PX..] glyph pixel height, ascent to descent (default 32);\n"
            "                       with several sizes each output is named OUT-PX\n"
            "  -r, --range A-B      character codes to bake, 1..255 (default 32-126)\n"
            "  -p, --padding PX     empty pixels around each glyph (default 1)\n"
            "      --page WxH       page size (default: smallest power of two that fits)\n"
            "  -h, --help           this text\n");
}

static bool parse_int(const char* s, int lo, int hi, int* out) {
    char* end;
    long v = strtol(s, &end, 10);
    if (end == s || *end || v < lo || v > hi) return false;
    *out = (int)v;
    return true;
}

// Returns 0 to go on, 1 to exit successfully (help), 2 on a usage error.
static int parse_args(int argc, char** argv, Options* o) {
    std::vector<const char*> pos;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (a == "-h" || a == "--help") {
            usage(stdout);
            return 1;
        } else if (a == "-s" || a == "--size") {
            std::string list = v ? v : "";
            ok = !list.empty();
            for (size_t at = 0; ok && at <= list.size();) {
                size_t comma = list.find(',', at);
                if (comma == std::string::npos) comma = list.size();
                int px = 0;
                ok = parse_int(list.substr(at, comma - at).c_str(), 4, 512, &px);
                o->sizes.push_back(px);
                at = comma + 1;
            }
            i++;
        } else if (a == "-p" || a == "--padding") {
            ok = v && parse_int(v, 0, 32, &o->padding);
            i++;
        } else if (a == "-r" || a == "--range") {
            const char* dash = v ? strchr(v, '-') : nullptr;
            ok = dash && parse_int(std::string(v, dash).c_str(), 1, 255, &o->first) &&
                 parse_int(dash + 1, 1, 255, &o->last) && o->first <= o->last;
            i++;
        } else if (a == "--page") {
            const char* x = v ? strchr(v, 'x') : nullptr;
            ok = x && parse_int(std::string(v, x).c_str(), 16, 8192, &o->page_w) &&
                 parse_int(x + 1, 16, 8192, &o->page_h);
            i++;
        } else if (a.size() > 1 && a[0] == '-') {
            fprintf(stderr, "fontbake: unknown option %s\n", a.c_str());
            return 2;
        } else {
            pos.push_back(argv[i]);
        }
        if (!ok) {
            fprintf(stderr, "fontbake: bad value for %s\n", a.c_str());
            return 2;
        }
    }
    if (pos.size() != 2) {
        usage(stderr);
        return 2;
    }
    o->font = pos[0];
    o->out = pos[1];
    if (o->sizes.empty()) o->sizes.push_back(o->size);
    return 0;
}

static bool read_file(const char* path, std::vector<unsigned char>* out) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
    fclose(f);
    return !out->empty();
}

// Packs the range into a w x h page; false when it does not fit.
static bool pack(const Options& o, const unsigned char* ttf, int w, int h,
                 std::vector<unsigned char>* pixels, std::vector<stbtt_packedchar>* chars) {
    pixels->assign((size_t)w * h, 0);
    chars->assign(o.last - o.first + 1, stbtt_packedchar());
    stbtt_pack_context pc;
    if (!stbtt_PackBegin(&pc, pixels->data(), w, h, 0, o.padding, nullptr)) return false;
    stbtt_pack_range r;
    memset(&r, 0, sizeof r);
    r.font_size = (float)o.size;
    r.first_unicode_codepoint_in_range = o.first;
    r.num_chars = o.last - o.first + 1;
    r.chardata_for_range = chars->data();
    int ok = stbtt_PackFontRanges(&pc, ttf, 0, &r, 1);
    stbtt_PackEnd(&pc);
    return ok != 0;
}

// Bakes one size into out.fnt and out.png; 0 on success.
static int bake(const Options& o, const std::vector<unsigned char>& ttf,
                const stbtt_fontinfo& info, const std::string& out_base) {
    const char* out = out_base.c_str();

    std::vector<unsigned char> alpha;
    std::vector<stbtt_packedchar> chars;
    int w = o.page_w, h = o.page_h;
    bool packed = false;
    if (w) {
        packed = pack(o, ttf.data(), w, h, &alpha, &chars);
    } else {
        // 64x64, 128x64, 128x128, ...: the first power-of-two page that holds all.
        for (w = h = 64; w <= 4096 && !(packed = pack(o, ttf.data(), w, h, &alpha, &chars));)
            if (w == h) w *= 2; else h *= 2;
    }
    if (!packed) {
        fprintf(stderr, "fontbake: glyphs do not fit a %dx%d page\n", w, h);
        return 1;
    }

    std::vector<unsigned char> rgba((size_t)w * h * 4);
    for (size_t i = 0; i < alpha.size(); i++) {
        rgba[i * 4 + 0] = rgba[i * 4 + 1] = rgba[i * 4 + 2] = 255;
        rgba[i * 4 + 3] = alpha[i];
    }
    std::string png = std::string(out) + ".png";
    if (!stbi_write_png(png.c_str(), w, h, 4, rgba.data(), w * 4)) {
        fprintf(stderr, "fontbake: cannot write %s\n", png.c_str());
        return 1;
    }

    float scale = stbtt_ScaleForPixelHeight(&info, (float)o.size);
    int ascent, descent, gap;
    stbtt_GetFontVMetrics(&info, &ascent, &descent, &gap);
    int base = (int)(ascent * scale + 0.5f);
    int line_height = (int)((ascent - descent + gap) * scale + 0.5f);

    std::string fnt = std::string(out) + ".fnt";
    FILE* f = fopen(fnt.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "fontbake: cannot write %s\n", fnt.c_str());
        return 1;
    }
    const char* page = strrchr(png.c_str(), '/');
    page = page ? page + 1 : png.c_str();
    char face[128] = "";
    int flen = 0;
    if (const char* n = stbtt_GetFontNameString(&info, &flen, STBTT_PLATFORM_ID_MAC, 0, 0, 4))
        snprintf(face, sizeof face, "%.*s", flen, n);
    int count = 0;
    for (int c = o.first; c <= o.last; c++) count += stbtt_FindGlyphIndex(&info, c) != 0;
    fprintf(f,
            "info face=\"%s\" size=%d bold=0 italic=0 charset=\"\" unicode=1 stretchH=100 "
            "smooth=1 aa=1 padding=%d,%d,%d,%d spacing=1,1\n",
            face, o.size, o.padding, o.padding, o.padding, o.padding);
    fprintf(f, "common lineHeight=%d base=%d scaleW=%d scaleH=%d pages=1 packed=0\n",
            line_height, base, w, h);
    fprintf(f, "page id=0 file=\"%s\"\n", page);
    fprintf(f, "chars count=%d\n", count);
    for (int c = o.first; c <= o.last; c++) {
        if (!stbtt_FindGlyphIndex(&info, c)) continue;  // not in the font
        const stbtt_packedchar& p = chars[c - o.first];
        fprintf(f,
                "char id=%d x=%d y=%d width=%d height=%d xoffset=%d yoffset=%d xadvance=%d "
                "page=0 chnl=15\n",
                c, p.x0, p.y0, p.x1 - p.x0, p.y1 - p.y0, (int)lroundf(p.xoff),
                (int)lroundf(base + p.yoff), (int)lroundf(p.xadvance));
    }
    fclose(f);
    printf("fontbake: %s and %s, %d glyphs on %dx%d, line height %d\n", fnt.c_str(),
           png.c_str(), count, w, h, line_height);
    return 0;
}

int main(int argc, char** argv) {
    Options o;
    int r = parse_args(argc, argv, &o);
    if (r) return r == 1 ? 0 : 2;

    std::vector<unsigned char> ttf;
    stbtt_fontinfo info;
    if (!read_file(o.font, &ttf) || !stbtt_InitFont(&info, ttf.data(), 0)) {
        fprintf(stderr, "fontbake: cannot read font %s\n", o.font);
        return 1;
    }
    for (int px : o.sizes) {
        Options one = o;
        one.size = px;
        std::string out = o.sizes.size() > 1 ? std::string(o.out) + "-" + std::to_string(px) : o.out;
        if (bake(one, ttf, info, out)) return 1;
    }
    return 0;
}
