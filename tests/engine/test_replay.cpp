// Replay text: lines read into events, bad lines skipped and reported, and every
// written line read back to the event it came from.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "util/kel_replay.h"

static void count_bad(void* ctx, int line, const char*) { ((std::vector<int>*)ctx)->push_back(line); }

TEST(Replay, ReadsLinesAndSkipsBadOnes) {
    const char* text =
        "# a comment\n"
        "\n"
        "  3 keydown key=54 sym=113 button=4  # Alt+Q\r\n"
        "3 mousedown x=10.5 y=-2 w=1e3\n"
        "4 24 device=-7\n"            // a code without a name
        "2 keyup\n"                   // 6: frame goes back
        "5 nonsense\n"                // 7: unknown type
        "5 keydown key=1x\n"          // 8: bad number
        "5 keydown x=nan\n"           // 9: not finite
        "5 keydown bogus=1\n"         // 10: unknown field
        "-1 quit\n"                   // 11: negative frame
        "5\n"                         // 12: no type
        "99999999999 quit\n"          // 13: frame out of range
        "6 keyup sym=13\n"            // Return by SDL's code alone: kelgame's follows
        "6 quit x=1 x=2";             // no final newline; the last value wins
    std::vector<ReplayEvent> ev;
    std::vector<int> bad;
    EXPECT_EQ(replay_parse(text, strlen(text), &ev, count_bad, &bad), 8);
    EXPECT_EQ(bad, (std::vector<int>{6, 7, 8, 9, 10, 11, 12, 13}));
    ASSERT_EQ(ev.size(), 5u);
    EXPECT_EQ(ev[0].frame, 3);
    EXPECT_EQ(ev[0].event.type, EVT_KEYDOWN);
    EXPECT_EQ(ev[0].event.key + ev[0].event.sym + ev[0].event.button, 54 + 113 + 4);
    EXPECT_EQ(ev[1].event.x, 10.5f);
    EXPECT_EQ(ev[1].event.window_y, -2.0f);  // window fields follow, as the driver fills them
    EXPECT_EQ(ev[1].event.width, 1000.0f);
    EXPECT_EQ(ev[2].event.type, 24);
    EXPECT_EQ(ev[2].event.device, -7);
    EXPECT_EQ(ev[3].event.key, DRIVER_KEY_RETURN);
    EXPECT_EQ(ev[4].event.type, EVT_QUIT);
    EXPECT_EQ(ev[4].event.x, 2.0f);
}

TEST(Replay, WrittenLinesReadBack) {
    Event e = Event();
    e.type = EVT_JOYMOTION;
    e.x = e.window_x = 0.1f;  // no short decimal form
    e.y = e.window_y = -3e-30f;
    e.dx = e.window_dx = 1e30f;
    e.height = 7;
    e.key = -1;
    e.sym = 0x40000052;
    e.unicode = 0x10FFFF;
    e.button = -2147483647 - 1;
    e.device = 2147483647;
    std::string line = replay_line(42, e);
    std::vector<ReplayEvent> ev;
    ASSERT_EQ(replay_parse(line.data(), line.size(), &ev, nullptr, nullptr), 0) << line;
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].frame, 42);
    EXPECT_EQ(memcmp(&ev[0].event, &e, sizeof e), 0) << line;
    e.type = 40;  // unnamed codes are written as numbers
    EXPECT_EQ(replay_line(0, Event()), "0 0\n");
    EXPECT_EQ(replay_line(1, e).substr(0, 5), "1 40 ");
}
