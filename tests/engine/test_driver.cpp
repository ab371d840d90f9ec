// File access, the data and user areas and rate ticks of the driver, on real files in a
// temp dir. (Path rules of the data and user areas: the game tests.)
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "tests/test_util.h"

namespace {

std::string g_datadir;
const char* datadir_query() { return g_datadir.c_str(); }

unsigned g_now = 0;
unsigned fake_ticks() { return g_now; }

class Driver : public ::testing::Test {
protected:
    std::string dir, old_cwd;
    void SetUp() override {
        dir = temp_dir("driver");
        char cwd[4096];
        old_cwd = getcwd(cwd, sizeof cwd);
        for (const char* d : {"/work", "/data", "/alt"}) mkdir((dir + d).c_str(), 0755);
        ASSERT_EQ(chdir((dir + "/work").c_str()), 0);
        driver_init(DRIVER_INIT_TIMER);
        driver_datadir_query_set(datadir_query);
        g_datadir.clear();
        driver_verbose_set(0);
    }
    void TearDown() override {
        driver_datadir_query_set(nullptr);
        driver_tick_source_set(nullptr);
        driver_deinit();
        ASSERT_EQ(chdir(old_cwd.c_str()), 0);
        rm_rf(dir);
        driver_verbose_set(1);
    }
};

TEST_F(Driver, AltdirShadowsFileByFile) {
    write_file("../data/both.txt", "data");
    write_file("../data/only.txt", "data-only");
    write_file("../alt/both.txt", "alt");
    driver_altdir_set("../alt");
    EXPECT_STREQ(driver_data_path("both.txt"), "../alt/both.txt");
    EXPECT_STREQ(driver_data_path("only.txt"), "../data/only.txt");
    EXPECT_EQ(driver_data_read("both.txt"), "alt");
    EXPECT_EQ(driver_data_read("only.txt"), "data-only");
    EXPECT_EQ(driver_data_size("only.txt"), 9);
    driver_altdir_set(nullptr);
    EXPECT_EQ(driver_data_read("both.txt"), "data");
}

TEST_F(Driver, ReadsWholeBoundedEmptyAndMissing) {
    write_file("empty", "");
    write_file("ten", "0123456789");
    size_t size = 99;
    EXPECT_EQ(_driver_std_alloc("empty", &size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(driver_file_read("empty"), "");
    EXPECT_EQ(driver_file_exists("empty") + driver_file_exists("missing"), 1);
    EXPECT_EQ(driver_file_mtime("missing"), 0);
    EXPECT_GT(driver_file_mtime("empty"), 0);
    char buf[32] = {0};
    EXPECT_EQ(_driver_std_load("missing", buf, 4), 0);
    EXPECT_EQ(_driver_std_load("ten", buf, 32), 10);
    memset(buf, 0, sizeof buf);
    EXPECT_EQ(_driver_std_load("ten", buf, 4), 4);
    EXPECT_STREQ(buf, "0123");
    EXPECT_EQ(_driver_std_load("ten", buf, -5), 0);
    void* p = driver_file_alloc("ten", &size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string((char*)p, size), "0123456789");
    free(p);
    std::string out = logged([] { driver_file_read("missing"); });
    EXPECT_NE(out.find("file not found: missing\n"), std::string::npos) << out;
}

// A failed save is reported and harms nothing; a good one keeps the file's mode and
// leaves no temporary.
TEST_F(Driver, SaveFailsSafelyAndKeepsMode) {
    int rc = 1;
    std::string out = logged([&] { rc = _driver_std_save("no/such/dir/f.txt", "x", 1); });
    EXPECT_EQ(rc, 0);
    EXPECT_NE(out.find("file not writable: no/such/dir/f.txt\n"), std::string::npos) << out;
    mkdir("adir", 0755);
    EXPECT_EQ(_driver_std_save("adir", "x", 1), 0);
    struct stat st;
    ASSERT_EQ(stat("adir", &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    write_file("cfg", "old");
    chmod("cfg", 0640);
    EXPECT_EQ(driver_file_save("cfg", "new", 3), 1);
    ASSERT_EQ(stat("cfg", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(driver_file_read("cfg"), "new");
    EXPECT_EQ(system("ls | grep -q tmp-"), 256) << "a temporary file was left behind";
}

// A save killed before its rename leaves its temporary; the next good save of that file
// removes it, and nothing that is not one of its own stale temporaries.
TEST_F(Driver, SaveRemovesStaleTemporaries) {
    const struct {
        const char* name;
        int age;  // seconds
        bool removed;
    } files[] = {{"s.json.tmp-Ab12Cd", 3600, true}, {"s.json.tmp-xY9zZ0", 120, true},
                 {"s.json.tmp-Fresh1", 0, false},   // maybe a save in flight elsewhere
                 {"s.json.tmp-Ab12C", 3600, false}, {"s.json.tmp-Ab12Cd7", 3600, false},
                 {"s.json.tmp-Ab-2Cd", 3600, false}, {"t.json.tmp-Ab12Cd", 3600, false},
                 {"xs.json.tmp-Ab12Cd", 3600, false}};
    for (const auto& f : files) write_file(f.name, "partial", time(nullptr) - f.age);
    EXPECT_EQ(driver_file_save("s.json", "{}", 2), 1);
    for (const auto& f : files) EXPECT_EQ(access(f.name, F_OK) != 0, f.removed) << f.name;
}

// A save that fails half-way (here: the file size limit, as a full disk would) must report
// it, leave the old file whole and leave no temporary behind.
TEST_F(Driver, SaveFailingMidwayKeepsOldFile) {
    write_file("big.sav", "the old save");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &lim);
        std::string big(1 << 20, 'n');
        _exit(_driver_std_save("big.sav", big.data(), big.size()));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed save was reported as success";
    EXPECT_EQ(driver_file_read("big.sav"), "the old save");
    EXPECT_EQ(system("ls | grep -q tmp-"), 256) << "a temporary file was left behind";
}

TEST_F(Driver, LongNamesAreRefused) {
    std::string name(3000, 'n');
    std::string out = logged([&] {
        EXPECT_STREQ(driver_data_path(name.c_str()), "");
        EXPECT_STREQ(driver_user_path(name.c_str()), "");
        EXPECT_EQ(driver_user_save(name.c_str(), "x", 1), 0);
        EXPECT_EQ(driver_data_read(name.c_str()), "");
        driver_altdir_set(name.c_str());
        EXPECT_STREQ(driver_altdir_get(), "");
        driver_appid_set(name.c_str());
        EXPECT_EQ(strlen(driver_appid_get()), (size_t)DRIVER_FIELD_MAX - 1);
        driver_caption_set(name.c_str());
        EXPECT_EQ(strlen(driver_caption_get()), (size_t)DRIVER_FIELD_MAX - 1);
        g_datadir = name;
        EXPECT_STREQ(driver_data_dir(), "../data");
    });
    EXPECT_NE(out.find("too long"), std::string::npos);
    // a name that fits the data dir buffer but not the data path buffer
    g_datadir = std::string(600, 'd');
    EXPECT_STREQ(driver_data_path("a.png"), "");
}

TEST_F(Driver, RateTicksCountDueTicks) {
    driver_tick_source_set(fake_ticks);
    g_now = 5000;
    EXPECT_EQ(driver_rate_ticks(), 0);  // no rate
    driver_rate_set(60);
    EXPECT_EQ(driver_rate_ticks(), 0);  // first call
    g_now += 1040;
    EXPECT_EQ(driver_rate_ticks(), 63);
    EXPECT_EQ(driver_rate_ticks(), 0);
    g_now += 17;
    EXPECT_EQ(driver_rate_ticks(), 1);

    // the millisecond clock wraps between two calls: ticks keep coming
    driver_deinit();
    driver_init(DRIVER_INIT_TIMER);
    driver_rate_set(60);
    g_now = 0xFFFFFF00u;
    EXPECT_EQ(driver_rate_ticks(), 0);
    g_now += 1040;
    EXPECT_EQ(driver_rate_ticks(), 63);
}

}  // namespace
