#include "util/kel_social.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_util.h"

static std::string posted;
static void record(Event e) {
    Event z = Event();  // every other field is zero
    z.type = e.type;
    EXPECT_EQ(memcmp(&z, &e, sizeof e), 0);
    posted += std::to_string(e.type) + " ";
}

// Each step: a sign-in (name, uuid, extra; a null name: sign-out), the event types it
// posts, the identity after it. Repeats are silent; a null text signs out.
TEST(Social, SignInOutSequence) {
    social_post_set(record);
    social_init();
    const struct { const char *name, *uuid, *extra, *events, *identity; } steps[] = {
        {nullptr, nullptr, nullptr, "", ""},  // signed out already: silent
        {"ann", "u1", "x", "30 ", "ann:u1"},       {"ann", "u1", "other", "", "ann:u1"},
        {"ann", "u2", "x", "31 30 ", "ann:u2"},    {"ann", "u2", nullptr, "31 ", ""},
        {"bob", "u3", "", "30 ", "bob:u3"},        {nullptr, nullptr, nullptr, "31 ", ""}};
    for (const auto& s : steps) {
        posted.clear();
        std::string log = logged([&] {
            if (s.name) social_login(s.name, s.uuid, s.extra);
            else social_logout();
        });
        EXPECT_EQ(posted, s.events) << log;
        EXPECT_EQ(social_identity(), s.identity);
        EXPECT_TRUE(*s.events || log.empty()) << log;
    }
    // Long names are kept whole, so two players differing late do not collide.
    std::string a(300, 'a');
    posted.clear();
    social_login(a.c_str(), "1", "");
    social_login(a.c_str(), "2", "");
    EXPECT_EQ(posted, "30 31 30 ");
    social_post_set(nullptr);
}
