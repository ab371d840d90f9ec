// ModsAPI: parameters, console, draw-list recording, files and sound by name.
#include "src/mods_api/mods_api.h"

#include <stdio.h>
#include <string.h>

#include "src/game/game.h"
#include "src/mods_misc/mods_view.h"
#include "util/kel_driver-audio.h"
#include "util/kel_driver-input.h"
#include "util/kel_driver.h"
#include "util/kel_font.h"
#include "util/kel_log.h"
#include "util/kel_mixer.h"

// The "datadir" override outlives any one script host, like the other driver settings.
static std::string _mods_datadir;

const char* mods_api_datadir() { return _mods_datadir.empty() ? nullptr : _mods_datadir.c_str(); }
void mods_api_datadir_set(const char* dir) { _mods_datadir = dir ? dir : ""; }

ModsAPI::ModsAPI(Game* g)
    : game(g), console_shown(0), failure_reported(0), error_flag(0), params(4, 0) {
    driver_datadir_query_set(mods_api_datadir);
}

// The script's music ends with it: a restarted script starts its own afresh.
ModsAPI::~ModsAPI() {
    for (const auto& st : stream_states)
        if (st.second == 1) driver_audio_stream_stop(mixer_stream_load(st.first.c_str()));
}

void ModsAPI::console(const std::string& text) {
    std::string t;
    t.reserve(text.size());
    for (char c : text) {
        if (c == '\t')
            t += "    ";
        else
            t += c == '\r' ? '\n' : c;
    }
    // Lines that are not blank, one pass to count them and one to keep them.
    auto each = [&t](auto fn) {
        for (size_t start = 0; start <= t.size();) {
            size_t end = t.find('\n', start);
            if (end == std::string::npos) end = t.size();
            size_t first = t.find_first_not_of(' ', start);
            if (first < end) fn(start, end - start);
            start = end + 1;
        }
    };
    // Of a text of many lines only the last MODS_CONSOLE_MAX can stay: the others are
    // logged but not inserted at the front of the list, which would cost a move of the
    // whole list per line (seconds for a print of a megabyte of short lines).
    size_t skip = 0;
    each([&skip](size_t, size_t) { skip++; });
    skip = skip > MODS_CONSOLE_MAX ? skip - MODS_CONSOLE_MAX : 0;
    each([&](size_t start, size_t len) {
        std::string piece = t.substr(start, len);
        log_printf(nullptr, 0, nullptr, 0, "$ %s\n", piece.c_str());
        if (skip) {
            skip--;
            return;
        }
        // Cut back per line: one huge print must not grow the list past the limit.
        if (console_lines.size() >= MODS_CONSOLE_MAX) console_lines.pop_back();
        console_lines.insert(console_lines.begin(), std::move(piece));
        if (console_lines.size() == 1) console_shown = 1;
    });
}

void ModsAPI::failure(const std::string& text) {
    console(text);
    if (failure_reported) return;
    failure_reported = 1;
    // A host restarting a script that fails the same way each time says it once.
    static std::string last;
    if (text == last) return;
    last = text;
    if (text.compare(0, 9, "kelgame: ") != 0) fputs("kelgame: ", stderr);
    fputs(text.c_str(), stderr);
    if (text.empty() || text.back() != '\n') fputc('\n', stderr);
    fflush(stderr);
}

void ModsAPI::params_set(const char* key, var value) {
    params.set(key, value);
    // Written every frame (window_w, window_h): only these few keys do more.
    if (!strcmp(key, "altdir")) {
        driver_altdir_set(value.str().c_str());
    } else if (!strcmp(key, "datadir")) {
        _mods_datadir = value.str();
    } else if (!strcmp(key, "appid")) {
        driver_appid_set(value.str().c_str());
    } else if (!strcmp(key, "caption")) {
        driver_caption_set(value.str().c_str());
    } else if (!strcmp(key, "icon")) {
        driver_icon_set(driver_data_path(value.str().c_str()));
    } else if (!strcmp(key, "suspendable")) {
        // The game asks to be told when its window loses and regains the focus.
        if (game) game->suspendable = value.truth() ? 1 : 0;
        driver_focus_suspend_set(value.truth() ? 1 : 0);
    }
}

var ModsAPI::params_get(const char* key) { return params[key]; }

std::string ModsAPI::file_load(const char* name, bool user2) {
    if (user2) return driver_user2_read(name);
    if (driver_user_exists(name)) return driver_user_read(name);
    if (driver_data_exists(name)) return driver_data_read(name);
    return std::string();
}

void ModsAPI::file_save(const char* name, const char* data, size_t len, bool user2) {
    if (user2)
        driver_user2_save(name, data, len);
    else
        driver_user_save(name, data, len);
}

// A new command at the end of the list. Strings that grew past their inline size in
// the frame before are handed on, so steady frames allocate nothing for long names.
DrawCmd& ModsAPI::cmd_add(int32_t type) {
    size_t i = draw_list.size();
    draw_list.emplace_back();
    DrawCmd& c = draw_list.back();
    if (i < draw_spare.size()) {
        DrawCmd& old = draw_spare[i];
        if (old.name.capacity() > c.name.capacity()) c.name.swap(old.name);
        if (old.text.capacity() > c.text.capacity()) c.text.swap(old.text);
        c.name.clear();
        c.text.clear();
    }
    c.type = type;
    return c;
}

void ModsAPI::view(float x, float y, float w, float h) {
    DrawCmd& c = cmd_add(DRAW_VIEW);
    c.x = x, c.y = y, c.w = w, c.h = h;
}

void ModsAPI::image_draw(const char* name, size_t len, uint32_t colour, int32_t alpha, float x,
                         float y, float w, float h, float rot) {
    DrawCmd& c = cmd_add(DRAW_IMAGE);
    c.name.assign(name, len);
    c.colour = colour, c.alpha = alpha;
    c.x = x, c.y = y, c.w = w, c.h = h, c.rot = rot;
}

void ModsAPI::image_draw(const std::string& name, uint32_t colour, int32_t alpha, float x, float y,
                         float w, float h, float rot) {
    image_draw(name.data(), name.size(), colour, alpha, x, y, w, h, rot);
}

void ModsAPI::rect_draw(uint32_t colour, float x, float y, float w, float h) {
    DrawCmd& c = cmd_add(DRAW_RECT);
    c.colour = colour;
    c.x = x, c.y = y, c.w = w, c.h = h;
}

void ModsAPI::font_draw(const std::string& font, int32_t size, const std::string& text,
                        uint32_t colour, int32_t alpha, float x, float y) {
    DrawCmd& c = cmd_add(DRAW_TEXT);
    c.name = font;
    c.size = size;
    c.text = text;
    c.colour = colour, c.alpha = alpha;
    c.x = x, c.y = y;
}

// The old commands become the spare ones, whose strings cmd_add hands on.
void ModsAPI::clear() {
    draw_spare.swap(draw_list);
    draw_list.clear();
}

void ModsAPI::replay() { mods_draw_replay(this); }

void ModsAPI::sample_play(const char* name, float volume, float extra) {
    int id = mixer_sample_load(name);
    driver_audio_sample_play(id, volume, extra);
}

void ModsAPI::stream_play(const char* name, float volume) {
    int id = mixer_stream_load(name);
    int& state = stream_states[name];
    if (state != 1) {
        mixer_stream_play(id, volume);
        state = 1;
    }
    driver_audio_volume(id, volume);
}

void ModsAPI::stream_stop(const char* name) {
    int id = mixer_stream_load(name);
    auto it = stream_states.find(name);
    if (it == stream_states.end() || it->second != 1) return;
    driver_audio_stream_stop(id);
    it->second = 0;
}

void ModsAPI::font_size(const char* font, int size, const char* text, float* w, float* h) {
    int f = font_load(font, size);
    *w = font_width(f, text);
    *h = font_height(f, text, 0.0f);
}

void ModsAPI::error_set(const std::string& message) {
    error_message = message;
    error_flag = 1;
}

bool ModsAPI::error_take(std::string* message) {
    if (!error_flag) return false;
    *message = error_message;
    error_message.clear();
    error_flag = 0;
    return true;
}
