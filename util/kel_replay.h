// kel_replay: input events as text, one event a line, for recording and replaying runs.
//
// A line is the frame the event arrived in, its type and its non-zero fields:
//
//   # comment (to the end of any line)
//   120 keydown key=54 sym=113 button=4
//   121 keydown unicode=97
//   300 mousedown x=52.5 y=80 button=1
//
// Types are the names scripts see ("keydown", "mousedown", "joyhat", ...) or, for codes
// without one, the number. Fields: x y dx dy w h key sym unicode button device; a field
// left out is 0, except that a key event with sym alone gets the key code that sym has.
// Window fields are not written: they follow x, y, dx, dy, as the input
// driver fills them. Frames never go down from one line to the next.
//
//   std::vector<ReplayEvent> ev;
//   int bad = replay_parse(text.data(), text.size(), &ev, on_bad_line, ctx);
//   fputs(replay_line(frame, e).c_str(), f);
#ifndef KEL_REPLAY_H
#define KEL_REPLAY_H

#include <stddef.h>

#include <string>
#include <vector>

#include "util/kel_driver-input.h"

struct ReplayEvent {
    int frame;
    Event event;
};

// Called for every line that is not an event, comment or blank (line number from 1).
typedef void (*replay_bad_fn)(void* ctx, int line, const char* why);

// Appends the events of a text to out; answers the number of bad lines, which are
// skipped. The text need not be NUL-terminated and may hold any bytes.
int replay_parse(const char* text, size_t n, std::vector<ReplayEvent>* out,
                 replay_bad_fn bad, void* ctx);
// One line, newline included; replay_parse reads it back to the same event.
std::string replay_line(int frame, const Event& e);

#endif
