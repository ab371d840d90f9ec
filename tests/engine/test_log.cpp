// The log's handling of long messages. (Its line styles: every test that reads a log.)
#include <gtest/gtest.h>

#include <string>

#include "tests/test_util.h"
#include "util/kel_driver.h"
#include "util/kel_log.h"

namespace {

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
