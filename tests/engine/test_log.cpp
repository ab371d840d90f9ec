// The log's two line styles, its silence and its handling of long messages.
#include <gtest/gtest.h>

#include "tests/engine/test_capture.h"
#include <regex>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>

#include "util/kel_driver.h"
#include "util/kel_log.h"

namespace {


struct Verbose {
    explicit Verbose(int on) { driver_verbose_set(on); }
    ~Verbose() { driver_verbose_set(1); }
};

TEST(Log, SilentWhenNotVerbose) {
    Verbose v(0);
    std::string out = capture_stdout([] {
        log_printf("a/b.cpp", 1, "f", 0, "hello %s", "x");
        log_printf_stamped("a/b.cpp", 1, "f", 0, "hello");
    });
    EXPECT_EQ(out, "");
}

TEST(Log, PlainLinePrefixAndNewline) {
    Verbose v(1);
    EXPECT_EQ(capture_stdout([] { log_printf("/src/util/kel_x.cpp", 157, "init", 0, "n=%d", 3); }),
              "[kel_x.cpp:init:157] n=3\n");
    // an existing newline is kept, not doubled; a path without a slash prints whole
    EXPECT_EQ(capture_stdout([] { log_printf("plain.cpp", 9, "f", 0, "done\n"); }),
              "[plain.cpp:f:9] done\n");
    // a missing location prints the message alone
    EXPECT_EQ(capture_stdout([] { log_printf(nullptr, 0, nullptr, 0, "$ %s\n", "line"); }),
              "$ line\n");
    EXPECT_EQ(capture_stdout([] { log_printf("x.cpp", 0, "f", 0, "%s", ""); }), "\n");
}

TEST(Log, StampedLineHasTagAndTime) {
    Verbose v(1);
    std::string out =
        capture_stdout([] { log_printf_stamped("src/mods/m.cpp", 12, "mods_reload", 0, "go"); });
    std::regex re(R"(^\[\]\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\]\[m\.cpp:mods_reload:12\] go\n$)");
    EXPECT_TRUE(std::regex_match(out, re)) << out;

    log_tag_hook_set([] { return "TAG"; });
    out = capture_stdout([] { log_printf_stamped("m.cpp", 1, "f", 0, "x\n"); });
    log_tag_hook_set(nullptr);
    EXPECT_EQ(out.rfind("[TAG][", 0), 0u) << out;
    EXPECT_EQ(out.find("\n\n"), std::string::npos);
}

TEST(Log, LongMessagesPrintWhole) {
    Verbose v(1);
    std::string big(100000, 'z');
    std::string out = capture_stdout([&] { log_printf("f.cpp", 2, "g", 0, "%s!", big.c_str()); });
    EXPECT_EQ(out, "[f.cpp:g:2] " + big + "!\n");
    // a NUL written by %c does not cut the line short
    out = capture_stdout([] { log_printf("f.cpp", 2, "g", 0, "a%cb", 0); });
    EXPECT_EQ(out, std::string("[f.cpp:g:2] a\0b\n", 16));
    // an absurdly long function name cannot overflow the prefix
    std::string fn(2000, 'q');
    out = capture_stdout([&] { log_printf("f.cpp", 2, fn.c_str(), 0, "m"); });
    EXPECT_EQ(out.substr(out.size() - 2), "m\n");
}

}  // namespace
