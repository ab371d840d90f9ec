#include "util/kel_replay.h"

#include <errno.h>
#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// The written fields, in writing order. Floats first, then integers.
struct _replay_field {
    const char* name;
    size_t offset;
    bool is_float;
};

static const _replay_field _replay_fields[] = {
    {"x", offsetof(Event, x), true},           {"y", offsetof(Event, y), true},
    {"dx", offsetof(Event, dx), true},         {"dy", offsetof(Event, dy), true},
    {"w", offsetof(Event, width), true},       {"h", offsetof(Event, height), true},
    {"key", offsetof(Event, key), false},       {"sym", offsetof(Event, sym), false},
    {"unicode", offsetof(Event, unicode), false}, {"button", offsetof(Event, button), false},
    {"device", offsetof(Event, device), false},
};

enum { REPLAY_TYPES = 32 };

std::string replay_line(int frame, const Event& e) {
    char buf[64];
    std::string out = std::to_string(frame) + ' ';
    const char* name = driver_event_type_name(e.type);
    out += name ? name : std::to_string(e.type);
    for (const _replay_field& f : _replay_fields) {
        const char* p = (const char*)&e + f.offset;
        if (f.is_float) {
            float v;
            memcpy(&v, p, sizeof v);
            if (v == 0.0f) continue;
            snprintf(buf, sizeof buf, " %s=%.9g", f.name, (double)v);  // exact round trip
        } else {
            int v;
            memcpy(&v, p, sizeof v);
            if (v == 0) continue;
            snprintf(buf, sizeof buf, " %s=%d", f.name, v);
        }
        out += buf;
    }
    return out + '\n';
}

// Whole token as a decimal int; false when it is not one or does not fit.
static bool _replay_int(const std::string& s, int* out) {
    if (s.empty() || s.size() > 12) return false;
    char* end;
    errno = 0;
    long long v = strtoll(s.c_str(), &end, 10);
    if (*end || errno || v < INT_MIN || v > INT_MAX) return false;
    *out = (int)v;
    return true;
}

static bool _replay_float(const std::string& s, float* out) {
    if (s.empty()) return false;
    char* end;
    float v = strtof(s.c_str(), &end);
    if (*end || !isfinite(v)) return false;
    *out = v;
    return true;
}

static int _replay_type(const std::string& s) {
    int t;
    if (_replay_int(s, &t)) return t > 0 && t < REPLAY_TYPES ? t : 0;
    for (int i = 1; i < REPLAY_TYPES; i++) {
        const char* name = driver_event_type_name(i);
        if (name && s == name) return i;
    }
    return 0;
}

static bool _replay_set(Event* e, const std::string& tok) {
    size_t eq = tok.find('=');
    if (eq == std::string::npos) return false;
    std::string key = tok.substr(0, eq), val = tok.substr(eq + 1);
    for (const _replay_field& f : _replay_fields) {
        if (key != f.name) continue;
        char* p = (char*)e + f.offset;
        if (f.is_float) {
            float v;
            if (!_replay_float(val, &v)) return false;
            memcpy(p, &v, sizeof v);
        } else {
            int v;
            if (!_replay_int(val, &v)) return false;
            memcpy(p, &v, sizeof v);
        }
        return true;
    }
    return false;
}

// Parses one line without its comment; "" when it is an event or empty, else the reason.
static const char* _replay_line(const std::string& line, int last_frame, ReplayEvent* out,
                                bool* empty) {
    std::vector<std::string> toks;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) i++;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') i++;
        if (i > start) toks.push_back(line.substr(start, i - start));
    }
    *empty = toks.empty();
    if (toks.empty()) return "";
    if (toks.size() < 2) return "no event type";
    ReplayEvent r;
    memset(&r, 0, sizeof r);
    if (!_replay_int(toks[0], &r.frame) || r.frame < 0) return "bad frame number";
    if (r.frame < last_frame) return "frame before the previous line's";
    r.event.type = _replay_type(toks[1]);
    if (!r.event.type) return "unknown event type";
    for (size_t k = 2; k < toks.size(); k++)
        if (!_replay_set(&r.event, toks[k])) return "bad field";
    Event& e = r.event;
    // A hand-written key line may give SDL's code alone; the widgets read kelgame's.
    if ((e.type == EVT_KEYDOWN || e.type == EVT_KEYUP) && !e.key && e.sym)
        e.key = driver_key_code(e.sym);
    e.window_x = e.x;
    e.window_y = e.y;
    e.window_dx = e.dx;
    e.window_dy = e.dy;
    *out = r;
    return "";
}

int replay_parse(const char* text, size_t n, std::vector<ReplayEvent>* out, replay_bad_fn bad,
                 void* ctx) {
    int bad_lines = 0, line_no = 0;
    int last_frame = out->empty() ? 0 : out->back().frame;
    size_t pos = 0;
    while (pos < n) {
        const char* nl = (const char*)memchr(text + pos, '\n', n - pos);
        size_t end = nl ? (size_t)(nl - text) : n;
        std::string line(text + pos, end - pos);
        pos = end + 1;
        line_no++;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        ReplayEvent r;
        bool empty;
        const char* why = line.find('\0') != std::string::npos ? "NUL byte"
                                                               : _replay_line(line, last_frame, &r, &empty);
        if (*why) {
            bad_lines++;
            if (bad) bad(ctx, line_no, why);
        } else if (!empty) {
            out->push_back(r);
            last_frame = r.frame;
        }
    }
    return bad_lines;
}
