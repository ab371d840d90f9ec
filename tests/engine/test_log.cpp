// The log's stamped line and its handling of long messages.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/test_util.h"
#include "util/kel_driver.h"
#include "util/kel_log.h"

namespace {

TEST(Log, StampedLineHasTagAndTime) {
    std::string out = logged([] { log_printf_stamped("src/mods/m.cpp", 12, "mods_reload", 0, "go"); });
    std::regex re(R"(^\[\]\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\]\[m\.cpp:mods_reload:12\] go\n$)");
    EXPECT_TRUE(std::regex_match(out, re)) << out;

    log_tag_hook_set([] { return "TAG"; });
    out = logged([] { log_printf_stamped("m.cpp", 1, "f", 0, "x\n"); });
    log_tag_hook_set(nullptr);
    EXPECT_EQ(out.rfind("[TAG][", 0), 0u) << out;
    EXPECT_EQ(out.find("\n\n"), std::string::npos);
}

TEST(Log, LongMessagesPrintWhole) {
    std::string big(100000, 'z');
    EXPECT_EQ(logged([&] { log_printf("f.cpp", 2, "g", 0, "%s!", big.c_str()); }),
              "[f.cpp:g:2] " + big + "!\n");
    // a NUL written by %c does not cut the line short
    EXPECT_EQ(logged([] { log_printf("f.cpp", 2, "g", 0, "a%cb", 0); }),
              std::string("[f.cpp:g:2] a\0b\n", 16));
    // an absurdly long function name cannot overflow the prefix
    std::string fn(2000, 'q');
    std::string out = logged([&] { log_printf("f.cpp", 2, fn.c_str(), 0, "m"); });
    EXPECT_EQ(out.substr(out.size() - 2), "m\n");
}

}  // namespace
