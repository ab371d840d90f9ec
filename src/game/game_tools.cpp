#include "src/game/game_tools.h"

#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stb/stb_image_write.h>
#include <vector>

#include "src/game/game.h"

// Built from share/ by cmake/embed.cmake.
extern const char game_tools_luacheckrc_text[];
extern const char game_tools_lua_defs_text[];
extern const char game_tools_starter_main[];
extern const char game_tools_starter_readme[];

const char* game_tools_luacheckrc() { return game_tools_luacheckrc_text; }
const char* game_tools_lua_defs() { return game_tools_lua_defs_text; }

int game_tools_print(const char* text) {
    if (fputs(text, stdout) >= 0 && fflush(stdout) == 0) return 0;
    fprintf(stderr, "kelgame: cannot write to standard output: %s\n", strerror(errno));
    return 1;
}

std::string game_tools_name(const char* dir) {
    std::string d = dir;
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    size_t slash = d.rfind('/');
    if (slash != std::string::npos) d.erase(0, slash + 1);
    std::string name;
    for (char c : d) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '-' || c == '_';
        name += ok ? c : '-';
    }
    if (name.find_first_not_of("-_") == std::string::npos) name = "mygame";
    return name;
}

static std::string _game_tools_fill(const char* text, const std::string& name) {
    std::string s = text;
    for (size_t at = s.find("@NAME@"); at != std::string::npos; at = s.find("@NAME@", at + name.size()))
        s.replace(at, 6, name);
    return s;
}

static void _game_tools_png_append(void* ctx, void* data, int size) {
    std::string* out = (std::string*)ctx;
    out->append((const char*)data, (size_t)size);
}

// A 32 x 32 shaded ball, its edge smoothed by alpha.
static std::string _game_tools_ball_png() {
    const int n = 32;
    std::vector<uint8_t> px(n * n * 4);
    for (int y = 0; y < n; y++) {
        for (int x = 0; x < n; x++) {
            float dx = (x + 0.5f - n / 2.0f) / (n / 2.0f), dy = (y + 0.5f - n / 2.0f) / (n / 2.0f);
            float d = sqrtf(dx * dx + dy * dy);
            float lx = dx + 0.35f, ly = dy + 0.35f;
            float light = 1.0f - 0.6f * fminf(1.0f, sqrtf(lx * lx + ly * ly));
            float a = fmaxf(0.0f, fminf(1.0f, (1.0f - d) * (n / 2.0f)));
            uint8_t* p = &px[(y * n + x) * 4];
            p[0] = (uint8_t)(90 + 165 * light);
            p[1] = (uint8_t)(60 + 140 * light);
            p[2] = (uint8_t)(40 + 60 * light);
            p[3] = (uint8_t)(255 * a);
        }
    }
    std::string png;
    if (!stbi_write_png_to_func(_game_tools_png_append, &png, n, n, 4, px.data(), n * 4)) png.clear();
    return png;
}

static void _game_tools_put16(std::string& s, unsigned v) {
    s += (char)(v & 0xff);
    s += (char)((v >> 8) & 0xff);
}

static void _game_tools_put32(std::string& s, unsigned v) {
    _game_tools_put16(s, v & 0xffff);
    _game_tools_put16(s, v >> 16);
}

// A short rising blip: 16-bit mono PCM at 22050 Hz, 0.15 s.
static std::string _game_tools_hop_wav() {
    const unsigned rate = 22050, count = rate * 15 / 100;
    std::string s = "RIFF";
    _game_tools_put32(s, 36 + count * 2);
    s += "WAVEfmt ";
    _game_tools_put32(s, 16);
    _game_tools_put16(s, 1);  // PCM
    _game_tools_put16(s, 1);  // mono
    _game_tools_put32(s, rate);
    _game_tools_put32(s, rate * 2);
    _game_tools_put16(s, 2);
    _game_tools_put16(s, 16);
    s += "data";
    _game_tools_put32(s, count * 2);
    double phase = 0;
    for (unsigned i = 0; i < count; i++) {
        double t = (double)i / count;
        phase += 2 * M_PI * (440 + 660 * t) / rate;
        double v = sin(phase) * (1 - t) * 0.5 * 32767;
        _game_tools_put16(s, (unsigned)(uint16_t)(int16_t)lrint(v));
    }
    return s;
}

static int _game_tools_read(const std::string& path, std::string* out) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return 0;
    char buf[8192];
    size_t n;
    out->clear();
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
    int ok = !ferror(f);
    fclose(f);
    return ok;
}

// kelgame's own font: share/kelgame/fonts beside the program (the build tree) or one up
// (an install).
static int _game_tools_font(const char* file, std::string* out) {
    std::string exe = game_exe_dir();
    if (exe.empty()) return 0;
    for (const char* rel : {"/share/kelgame/fonts/", "/../share/kelgame/fonts/"})
        if (_game_tools_read(exe + rel + file, out)) return 1;
    return 0;
}

static int _game_tools_mkdir(const std::string& path) {
    if (mkdir(path.c_str(), 0777) == 0) return 1;
    struct stat st;
    return errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates the file (never replacing one) and writes all of it.
static int _game_tools_write(const std::string& path, const std::string& data) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) return 0;
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += (size_t)n;
    }
    int ok = done == data.size();
    if (close(fd) != 0) ok = 0;
    return ok;
}

int game_tools_new(const char* dir) {
    if (!dir || !*dir) {
        fprintf(stderr, "kelgame: --new needs a directory\n");
        return 1;
    }
    std::string name = game_tools_name(dir);
    struct File {
        const char* path;
        std::string data;
    };
    std::vector<File> files = {
        {"main.lua", _game_tools_fill(game_tools_starter_main, name)},
        {"README.md", _game_tools_fill(game_tools_starter_readme, name)},
        {".luacheckrc", game_tools_luacheckrc_text},
        {"images/ball.png", _game_tools_ball_png()},
        {"sounds/hop.wav", _game_tools_hop_wav()},
        {"fonts/dejavu.fnt", ""},
        {"fonts/dejavu.png", ""},
        {"fonts/dejavu-LICENSE.txt", ""},
    };
    for (File& f : files) {
        if (strncmp(f.path, "fonts/", 6) == 0 && !_game_tools_font(f.path + 6, &f.data)) {
            fprintf(stderr, "kelgame: --new: kelgame's own font %s not found in share/kelgame "
                            "beside the program; nothing written\n", f.path);
            return 1;
        }
    }
    std::string root = dir;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    struct stat st;
    for (const File& f : files) {
        std::string p = root + "/" + f.path;
        if (lstat(p.c_str(), &st) == 0) {
            fprintf(stderr, "kelgame: --new: %s exists; nothing written\n", p.c_str());
            return 1;
        }
    }
    for (size_t at = root.find('/', 1); at != std::string::npos; at = root.find('/', at + 1))
        _game_tools_mkdir(root.substr(0, at));  // the parents; failures show below
    errno = 0;
    for (const char* sub : {"", "/images", "/sounds", "/fonts"}) {
        if (!_game_tools_mkdir(root + sub)) {
            fprintf(stderr, "kelgame: --new: cannot create the directory %s%s: %s\n",
                    root.c_str(), sub, strerror(errno ? errno : ENOTDIR));
            return 1;
        }
    }
    for (const File& f : files) {
        std::string p = root + "/" + f.path;
        if (f.data.empty() || !_game_tools_write(p, f.data)) {
            fprintf(stderr, "kelgame: --new: cannot write %s: %s\n", p.c_str(),
                    f.data.empty() ? "nothing to write" : strerror(errno));
            return 1;
        }
    }
    printf("kelgame: wrote a new game in %s; run it with: kelgame -mod %s\n", root.c_str(),
           root.c_str());
    return 0;
}
