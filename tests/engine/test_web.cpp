#include "util/kel_web.h"

#include <gtest/gtest.h>
#include <netdb.h>
#include <time.h>

#include <algorithm>
#include <atomic>

#include <string>

#include "tests/test_util.h"
#include "tests/net/net_test_util.h"
#include "util/kel_driver.h"

// Polls until the request is over or the limit passes; answers the last poll's result.
static int run(kel_web* r, int limit_ms = 10000) {
    for (int t = 0; t < limit_ms * 10; t++) {
        if (_kel_web_poll(r)) return 1;
        if (!r->fresh) usleep(100);
    }
    return 0;
}

static std::string body_of(const kel_web* r) {
    return r->body ? std::string(r->body, (size_t)r->body_length) : std::string();
}

class Web : public ::testing::Test {
  protected:
    void SetUp() override {
        driver_verbose_set(1);
        kel_web_init();
    }
    void TearDown() override {
        kel_web_deinit();
        driver_verbose_set(0);
    }
};

// The body is what follows the blank line, also when a pause splits it; a head past 16 kB
// or a body past body_max fails the request. (Heads split anywhere: fuzz_web_head.)
TEST_F(Web, HeadSplitAndClose) {
    std::string long_head = "HTTP/1.0 200 OK\r\nX: " + std::string(KEL_WEB_RESPONSE_HEAD_MAX, 'y');
    struct Case {
        const char* name;
        std::vector<RawPiece> pieces;
        std::string body;  // failed rows: how the body starts
        int head_length;   // -1: not checked
        int body_max = KEL_WEB_BODY_MAX;
        const char* failure = nullptr;  // the log line of a failed request
    } cases[] = {
        {"crlf head", {{"HTTP/1.0 200 OK\r\nX: y\r\n\r\nhello", 0}}, "hello", 25},
        {"split in the blank line", {{"HTTP/1.0 200 OK\r\n\r", 300}, {"\nhi\n\nthere", 0}}, "hi\n\nthere", 19},
        {"body at its limit", {{"HTTP/1.0 200 OK\n\n0123", 100}, {"456789", 0}}, "0123456789", 17, 10},
        {"body past its limit", {{"HTTP/1.0 200 OK\n\n0123456789", 100}, {"A", 0}}, "0123456789A", 17, 10,
         "response body over 10 bytes"},
        {"no body allowed", {{"HTTP/1.0 200 OK\n\nA", 0}}, "A", 17, 0, "response body over 0 bytes"},
        {"head past 16 kB", {{long_head + "\r\n\r\nhi", 0}}, "", -1, KEL_WEB_BODY_MAX,
         "response head over 16384 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawServer srv(c.pieces);
        kel_web* r = kel_web_create("127.0.0.1", srv.port, "/", nullptr, 0, 5);
        r->body_max = c.body_max;
        std::string log = capture_stdout([&] { ASSERT_EQ(run(r), 1); });
        if (c.failure) {
            EXPECT_TRUE(r->failed == 1 && r->state == 3);
            EXPECT_NE(log.find(c.failure), std::string::npos) << log;
            EXPECT_EQ(body_of(r).substr(0, c.body.size()), c.body);
            // nothing is read a byte beyond either limit
            EXPECT_LE(r->response_capacity, KEL_WEB_RESPONSE_HEAD_MAX + c.body_max + 1);
        } else {
            EXPECT_TRUE(r->failed == 0 && r->state == 4);
            EXPECT_EQ(body_of(r), c.body);
        }
        EXPECT_TRUE(c.head_length < 0 || r->head_length == c.head_length) << r->head_length;
        kel_web_free(r);
    }
}

// Requests refused at creation: failed, state 0, no socket, a log line, and polling
// them makes no socket call (so logs nothing).
TEST_F(Web, RefusedAtCreation) {
    struct Case {
        std::string host;
        int port;
        std::string path;
        const char* log;
    } cases[] = {
        {std::string(256, 'h'), 80, "/", "host name too long"},
        {"127.0.0.1", 80, std::string(1024, 'p'), "path too long"},
        {std::string(250, 'h'), 80, "/" + std::string(1000, 'p'), "request head too long"},
        {"127.0.0.1", 70000, "/", "port 70000 out of range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.log);
        kel_web* r = nullptr;
        std::string log = capture_stdout([&] {
            r = kel_web_create(c.host.c_str(), c.port, c.path.c_str(), nullptr, 0, 5);
        });
        EXPECT_NE(log.find(c.log), std::string::npos) << log;
        EXPECT_TRUE(r->failed == 1 && r->state == 0 && r->sock == -1);
        EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(_kel_web_poll(r), 1); }), "");
        EXPECT_EQ(r->state, 0);
        kel_web_free(r);
    }
}

static int64_t now_ms() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// A resolver that answers "stuck" never (until released), "ok.test" with the loopback
// address and anything else with "not found"; it counts its calls.
static std::atomic<int> resolve_release{0}, resolve_calls{0};
static int test_resolve(const char* host, uint32_t* addr) {
    resolve_calls++;
    if (!strcmp(host, "stuck"))
        while (!resolve_release) usleep(1000);
    if (strcmp(host, "ok.test") != 0) return HOST_NOT_FOUND;
    *addr = htonl(INADDR_LOOPBACK);
    return 0;
}

// Names are looked up off the frame: creating and polling never wait for the resolver,
// a name it never answers times out like a silent server, other names go on meanwhile,
// good answers are kept and failures are not.
TEST_F(Web, ResolverNeverBlocksThePoll) {
    kel_web_resolver_set(test_resolve);
    RawServer srv({{"HTTP/1.0 200 OK\r\n\r\nhi", 0}});
    auto create = [&](const char* host) {
        int64_t t0 = now_ms();
        kel_web* r = kel_web_create(host, srv.port, "/", nullptr, 0, 1);
        EXPECT_LT(now_ms() - t0, 200) << host;
        return r;
    };
    kel_web* stuck = create("stuck");
    EXPECT_EQ(stuck->state, KEL_WEB_RESOLVING);
    kel_web* ok = create("ok.test");
    kel_web* bad = create("bad.test");
    std::string log = capture_stdout([&] {
        EXPECT_TRUE(run(ok) && run(bad));
        int64_t t0 = now_ms(), slowest = 0;
        for (int over = 0; !over && now_ms() - t0 < 5000; usleep(1000)) {
            int64_t t = now_ms();
            over = _kel_web_poll(stuck);
            slowest = std::max(slowest, now_ms() - t);
        }
        EXPECT_LT(slowest, 100);
        EXPECT_GE(now_ms() - t0, 900);
    });
    EXPECT_TRUE(ok->failed == 0 && body_of(ok) == "hi");
    EXPECT_TRUE(bad->failed == 1 && bad->state == 0 && bad->sock == -1);
    EXPECT_TRUE(stuck->failed == 1 && stuck->state == KEL_WEB_RESOLVING);
    for (const char* line : {"timeout :: state = 5", "gethostbyname(bad.test) == null",
                             "kel_gethostbyname == null", "kel_gethostbyname('ok.test') cached"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    kel_web_free(stuck);
    kel_web_free(ok);
    kel_web_free(bad);
    // ok.test is cached (no new look-up), bad.test is asked again, stuck is still at work
    int calls = resolve_calls;
    ok = create("ok.test");
    bad = create("bad.test");
    stuck = create("stuck");
    EXPECT_EQ(ok->state, 1);
    EXPECT_TRUE(run(bad) && bad->failed);
    EXPECT_EQ(resolve_calls, calls + 1);
    resolve_release = 1;
    EXPECT_TRUE(run(stuck) && stuck->failed && stuck->state == 0);
    for (kel_web* r : {ok, bad, stuck}) kel_web_free(r);
    kel_web_resolver_set(nullptr);
}

// A name is resolved once: the second look-up is served from the cache, silently.
TEST_F(Web, HostCacheLoggedOnce) {
    const uint32_t* a = nullptr;
    const uint32_t* b = nullptr;
    std::string log = capture_stdout([&] {
        a = kel_gethostbyname("localhost");
        b = kel_gethostbyname("localhost");
    });
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a == b && *a == htonl(INADDR_LOOPBACK));
    const char* line = "kel_gethostbyname('localhost') cached";
    size_t first = log.find(line);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(line, first + 1), std::string::npos) << log;
    size_t looked = log.find("gethostbyname ...");
    EXPECT_NE(looked, std::string::npos) << log;
    EXPECT_EQ(log.find("gethostbyname ...", looked + 1), std::string::npos) << log;
}
