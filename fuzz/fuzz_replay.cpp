// Fuzzes the replay-file reader: whatever it accepts, written back line by line, must read
// again to the same events with no bad line, and a second writing must be the same text.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "util/kel_replay.h"

static bool _same(const Event& a, const Event& b) {
    return a.type == b.type && a.x == b.x && a.y == b.y && a.dx == b.dx && a.dy == b.dy &&
           a.width == b.width && a.height == b.height && a.window_x == b.window_x &&
           a.window_y == b.window_y && a.window_dx == b.window_dx &&
           a.window_dy == b.window_dy && a.button == b.button && a.key == b.key &&
           a.unicode == b.unicode && a.sym == b.sym && a.device == b.device;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<ReplayEvent> ev;
    int bad = replay_parse((const char*)data, size, &ev, nullptr, nullptr);
    if (bad < 0 || (size_t)bad > size + 1) abort();
    std::string text;
    int last = 0;
    for (const ReplayEvent& r : ev) {
        if (r.frame < last || r.event.type <= 0) abort();
        last = r.frame;
        text += replay_line(r.frame, r.event);
    }
    std::vector<ReplayEvent> again;
    if (replay_parse(text.data(), text.size(), &again, nullptr, nullptr) != 0) abort();
    if (again.size() != ev.size()) abort();
    std::string text2;
    for (size_t i = 0; i < ev.size(); i++) {
        if (again[i].frame != ev[i].frame || !_same(again[i].event, ev[i].event)) abort();
        text2 += replay_line(again[i].frame, again[i].event);
    }
    if (text2 != text) abort();
    return 0;
}
