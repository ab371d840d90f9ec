#include "util/kel_web.h"

#include <gtest/gtest.h>
#include <time.h>

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

// Odd servers: however the head arrives, the body is what follows the blank line. A
// head past 16 kB or a body past body_max fails the request.
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
        {"lf head", {{"HTTP/1.0 200 OK\nX: y\n\nhello", 0}}, "hello", 22},
        {"head in two pieces", {{"HTTP/1.0 200 OK\r\nX: ", 300}, {"y\r\n\r\nhello", 0}}, "hello", 25},
        {"split in the blank line", {{"HTTP/1.0 200 OK\r\n\r", 300}, {"\nhi\n\nthere", 0}}, "hi\n\nthere", 19},
        {"closes after the head", {{"HTTP/1.0 204 No Content\r\n\r\n", 0}}, "", 27},
        {"no blank line", {{"HTTP/1.0 200 OK\r\n", 0}}, "", 17},
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

// The request goes out byte for byte; a body makes it a form POST with its length.
TEST_F(Web, RequestBytes) {
    struct Case {
        const char* body;
        const char* want;  // %d: the port
    } cases[] = {
        {"", "GET /a?b=1 HTTP/1.0\r\nHost: 127.0.0.1:%d\r\n\r\n"},
        {"a=1&b", "POST /a?b=1 HTTP/1.0\r\nHost: 127.0.0.1:%d\r\n"
                  "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 5\r\n\r\na=1&b"},
    };
    for (const Case& c : cases) {
        RawServer srv({{"HTTP/1.0 200 OK\r\n\r\n", 0}});
        kel_web* r = kel_web_create("127.0.0.1", srv.port, "/a?b=1", c.body, (int)strlen(c.body), 5);
        ASSERT_EQ(run(r), 1);
        EXPECT_EQ(r->failed, 0);
        kel_web_free(r);
        char want[512];
        snprintf(want, sizeof want, c.want, srv.port);
        EXPECT_EQ(srv.join(), want);
    }
}

// Plain GETs from Python's server: small and large bodies arrive whole, an error
// status is still a finished request, and buffers grow by powers of two.
TEST_F(Web, GetFromPythonServer) {
    std::string dir = temp_dir("web"), small(10 * 1024, 'a'), big;
    for (int i = 0; i < 1 << 20; i++) big.push_back((char)(i * 31 + i / 4096));
    write_file(dir + "/small.txt", small);
    write_file(dir + "/big.bin", big);
    PyServer py(dir);
    ASSERT_GT(py.port, 0);
    struct Case {
        const char* path;
        const std::string* body;
        const char* status_line;
    } cases[] = {
        {"/small.txt", &small, "HTTP/1.0 200"},
        {"/big.bin", &big, "HTTP/1.0 200"},
        {"/missing", nullptr, "HTTP/1.0 404"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        kel_web* r = kel_web_create("127.0.0.1", py.port, c.path, nullptr, 0, 5);
        ASSERT_EQ(run(r), 1);
        EXPECT_EQ(r->failed, 0);
        EXPECT_EQ(std::string(r->response, 12), c.status_line);
        EXPECT_TRUE(!c.body || body_of(r) == *c.body);
        int cap = r->response_capacity;
        EXPECT_TRUE((cap & (cap - 1)) == 0 && cap >= r->response_length) << cap;
        kel_web_free(r);
    }
    rm_rf(dir);
}

// Requests refused at creation: failed, state 0, no socket, a log line, and polling
// them makes no socket call (so logs nothing).
TEST_F(Web, RefusedAtCreation) {
    std::string label(70, 'x');  // a label DNS cannot encode: fails without a query
    struct Case {
        std::string host;
        int port;
        std::string path;
        const char* log;
    } cases[] = {
        {label, 80, "/", "kel_gethostbyname == null"},
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
    // nothing cached for the name that failed: the next request asks again
    std::string log = capture_stdout([&] { EXPECT_EQ(kel_gethostbyname(label.c_str()), nullptr); });
    EXPECT_NE(log.find("gethostbyname ..."), std::string::npos);
}

// A port nobody listens on fails at connect or send; a server that never answers
// times out in state 3.
TEST_F(Web, RefusedAndSilent) {
    int free_port;
    {
        RawServer probe({});
        free_port = probe.port;
    }
    kel_web* r = kel_web_create("127.0.0.1", free_port, "/", nullptr, 0, 5);
    std::string log = capture_stdout([&] { EXPECT_EQ(run(r), 1); });
    EXPECT_EQ(r->failed, 1);
    EXPECT_NE(log.find("perror - "), std::string::npos) << log;
    kel_web_free(r);

    RawServer silent({}, true);
    r = kel_web_create("127.0.0.1", silent.port, "/", nullptr, 0, 1);
    time_t t0 = time(nullptr);
    log = capture_stdout([&] { EXPECT_EQ(run(r, 5000), 1); });
    EXPECT_GE(time(nullptr) - t0, 1);
    EXPECT_TRUE(r->failed == 1 && r->state == 3);
    EXPECT_NE(log.find("timeout :: state = 3"), std::string::npos) << log;
    kel_web_free(r);
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
