#include "util/kel_social.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_util.h"
#include "util/kel_driver.h"

static std::vector<int> posted;
static void record(Event e) {
    // every other field is zero
    Event z = Event();
    z.type = e.type;
    EXPECT_EQ(memcmp(&z, &e, sizeof e), 0);
    posted.push_back(e.type);
}

// Each step: a call, the event types it posts, the identity after it.
TEST(Social, SignInOutSequence) {
    social_post_set(record);
    social_init();
    struct Step {
        const char* name;
        const char* uuid;
        const char* extra;  // login; all three null: logout
        bool logout;
        std::vector<int> events;
        const char* identity;
    } steps[] = {
        {nullptr, nullptr, nullptr, true, {}, ""},                   // signed out: silent
        {"ann", "u1", "x", false, {30}, "ann:u1"},
        {"ann", "u1", "other", false, {}, "ann:u1"},                 // repeated: nothing
        {"ann", "u2", "x", false, {31, 30}, "ann:u2"},               // new identity
        {"ann", "u2", nullptr, false, {31}, ""},                     // null text signs out
        {"bob", "u3", "", false, {30}, "bob:u3"},
        {nullptr, nullptr, nullptr, true, {31}, ""},
    };
    for (const Step& s : steps) {
        posted.clear();
        std::string log = logged([&] {
            if (s.logout) social_logout();
            else social_login(s.name, s.uuid, s.extra);
        });
        EXPECT_EQ(posted, s.events) << log;
        EXPECT_EQ(social_identity(), s.identity);
        if (s.events.empty()) {
            EXPECT_EQ(log, "");
        }
    }
    // Long names are kept whole, so two players differing late do not collide.
    std::string a(300, 'a');
    posted.clear();
    social_login(a.c_str(), "1", "");
    social_login(a.c_str(), "2", "");
    EXPECT_EQ(posted, std::vector<int>({30, 31, 30}));
    social_post_set(nullptr);
}
