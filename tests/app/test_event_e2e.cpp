// End to end with real X input: kelgame runs tests/mods/e2e/input_record.lua on a
// private Xvfb (so no other test's window can take the focus), xdotool types and
// clicks through XTEST, and the events the script received are read back from the
// user file it writes (HOME is the test directory). Text measuring in the running
// game is the font tests' business; the script's "font" line is not checked.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>

#include <vector>

#include "tests/test_util.h"
// After gtest: the X11 headers define None.
#include <X11/Xlib.h>

namespace {

// fork + exec with extra environment; stdout and stderr to out_path when given.
pid_t spawn(const std::vector<std::string>& args, const std::string& cwd,
            const std::vector<std::string>& env, const std::string& out_path) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    for (const std::string& e : env) putenv(strdup(e.c_str()));
    if (!out_path.empty()) {
        int fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
    }
    std::vector<char*> argv;
    // a cross build starts our own (ARM) programs through its emulator
    std::string emu = KEL_RUN_PREFIX;
    if (!emu.empty() && args[0].rfind(KEL_BINARY_DIR, 0) == 0) {
        emu.pop_back();
        argv.push_back((char*)emu.c_str());
    }
    for (const std::string& a : args) argv.push_back((char*)a.c_str());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

// Waits up to ms for the child; returns its wait status, or -1 if it is still running.
int wait_for(pid_t pid, int ms) {
    ms *= KEL_TIMEOUT_SCALE;
    for (int t = 0; t < ms; t += 20) {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) return status;
        usleep(20000);
    }
    return -1;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream s(text);
    for (std::string l; std::getline(s, l);) out.push_back(l);
    return out;
}

int find_from(const std::vector<std::string>& lines, size_t from, const std::string& prefix) {
    for (size_t i = from; i < lines.size(); i++)
        if (lines[i].compare(0, prefix.size(), prefix) == 0) return (int)i;
    return -1;
}

// Asks a window to close as a window manager does (WM_DELETE_WINDOW); libX11 is looked
// up at run time, as nothing else here links it.
bool close_window(const std::string& display, unsigned long win) {
    void* x11 = dlopen("libX11.so.6", RTLD_NOW);
    if (!x11) return false;
    auto open_display = (Display * (*)(const char*)) dlsym(x11, "XOpenDisplay");
    auto intern = (Atom(*)(Display*, const char*, Bool))dlsym(x11, "XInternAtom");
    auto send = (Status(*)(Display*, Window, Bool, long, XEvent*))dlsym(x11, "XSendEvent");
    auto close_display = (int (*)(Display*))dlsym(x11, "XCloseDisplay");
    Display* d = open_display ? open_display(display.c_str()) : nullptr;
    if (!d || !intern || !send || !close_display) return false;
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = win;
    ev.xclient.message_type = intern(d, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)intern(d, "WM_DELETE_WINDOW", False);
    ev.xclient.data.l[1] = CurrentTime;
    bool ok = send(d, win, False, NoEventMask, &ev) != 0;
    close_display(d);  // flushes the request
    return ok;
}

class InputEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        dir = temp_dir("e2e");
        ASSERT_FALSE(dir.empty());
        // Xvfb picks a free display itself and reports its number on the pipe.
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        xvfb = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "640x480x24",
                      "-nolisten", "tcp"},
                     "", {}, dir + "/xvfb.log");
        close(fds[1]);
        std::string num;
        pollfd p = {fds[0], POLLIN, 0};
        char c;
        while (poll(&p, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') num += c;
        close(fds[0]);
        ASSERT_FALSE(num.empty()) << slurp(dir + "/xvfb.log");
        display = ":" + num;
    }
    void TearDown() override {
        stop(game, SIGKILL, 0);
        stop(xvfb, SIGTERM, 5000);
        if (HasFailure()) printf("--- game log ---\n%s\n", slurp(dir + "/game.log").c_str());
        rm_rf(dir);
    }

    // Ends a child still running: sig, then SIGKILL if it is not gone within ms.
    static void stop(pid_t pid, int sig, int ms) {
        if (pid <= 0 || wait_for(pid, 0) != -1) return;
        kill(pid, sig);
        if (wait_for(pid, ms) == -1) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    // Runs xdotool on our display; its output (a window id for search) is returned.
    std::string xdo(const std::string& args) {
        std::string cmd = "DISPLAY=" + display + " xdotool " + args + " 2>&1";
        std::string out;
        if (FILE* f = popen(cmd.c_str(), "r")) {
            char buf[256];
            while (fgets(buf, sizeof buf, f)) out += buf;
            pclose(f);
        }
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
        return out;
    }
    void chord(const std::string& mod, const std::string& key) {
        xdo("keydown " + mod);
        usleep(150000 * KEL_TIMEOUT_SCALE);
        xdo("key " + key);
        usleep(150000 * KEL_TIMEOUT_SCALE);
        xdo("keyup " + mod);
    }
    std::string events() { return slurp(dir + "/events.txt"); }
    bool wait_text(const std::string& what, int ms) {
        for (int t = 0; t < ms * KEL_TIMEOUT_SCALE; t += 50) {
            if (events().find(what) != std::string::npos) return true;
            usleep(50000);
        }
        return false;
    }
    // Focuses the game window (re-created by the fullscreen toggle) and puts the pointer on it.
    std::string focus() {
        std::string win = xdo("search --sync --name '^KelGame$'");
        win = win.substr(win.rfind('\n') == std::string::npos ? 0 : win.rfind('\n') + 1);
        xdo("windowfocus --sync " + win);
        return win;
    }

    std::string dir, display;
    pid_t xvfb = -1, game = -1;
};

TEST_F(InputEndToEnd, KeysClickFullscreenAndQuit) {
    std::string src = KEL_SOURCE_DIR;
    // Leaks are the headless runs' business; GL drivers keep allocations at exit.
    game = spawn({std::string(KEL_BINARY_DIR) + "/kelgame", "--verbose", "-mod",
                  src + "/tests/mods/e2e/input_record.lua", "-datadir", src + "/data", "-width",
                  "320", "-height", "240", "-record", dir + "/rec.txt"},
                 dir, {"DISPLAY=" + display, "HOME=" + dir, "ASAN_OPTIONS=detect_leaks=0"},
                 dir + "/game.log");
    ASSERT_TRUE(wait_text("ready", 30000)) << events();

    std::string win = focus();
    xdo("mousemove --window " + win + " 100 60");
    xdo("key --delay 50 a");
    ASSERT_TRUE(wait_text("keyup key=97", 5000)) << events();
    xdo("click 1");
    ASSERT_TRUE(wait_text("\nup key", 5000)) << events();
    // Held like a person holds them.
    chord("ctrl", "f");
    ASSERT_TRUE(wait_text("keydown key=102", 5000)) << events();
    usleep(300000);  // the window is re-created
    focus();
    chord("alt", "q");
    int status = wait_for(game, 15000);
    ASSERT_NE(status, -1) << "the game did not end after Alt+Q\n" << events();
    game = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // -record wrote the live input as the router received it.
    std::string rec = slurp(dir + "/rec.txt");
    EXPECT_NE(rec.find(" keydown key=38 sym=97\n"), std::string::npos) << rec;
    EXPECT_NE(rec.find(" keydown key=54 sym=113 button=4\n"), std::string::npos) << rec;

    std::vector<std::string> ev = lines_of(events());
    // A key press: the key first, then its text as a second keydown (text input is on).
    int key = find_from(ev, 0, "keydown key=97 name=A text= ");
    ASSERT_GE(key, 0) << events();
    EXPECT_GT(find_from(ev, key + 1, "keydown key=0 name= text=a "), key) << events();
    // A click in window coordinates, then in view ones (160 x 120 view, 320 x 240 window).
    int md = find_from(ev, 0, "mousedown ");
    ASSERT_GE(md, 0) << events();
    EXPECT_NE(ev[md].find("x=100 y=60 button=1"), std::string::npos) << ev[md];
    ASSERT_LT(md + 1, (int)ev.size());
    EXPECT_EQ(ev[md + 1].compare(0, 5, "down "), 0) << ev[md + 1];
    EXPECT_NE(ev[md + 1].find("x=50 y=30 button=1"), std::string::npos) << ev[md + 1];

    // Ctrl+F: "reset", then the key itself.
    int reset = find_from(ev, 0, "reset ");
    ASSERT_GE(reset, 0) << events();
    ASSERT_LT(reset + 1, (int)ev.size());
    EXPECT_EQ(ev[reset + 1].compare(0, 15, "keydown key=102"), 0) << ev[reset + 1];

    // Alt+Q: "suspend" is the last event the script sees (then its saving frame); never
    // the Q key, never "quit".
    ASSERT_GE(ev.size(), 2u);
    EXPECT_EQ(ev[ev.size() - 2].compare(0, 8, "suspend "), 0) << ev[ev.size() - 2];
    EXPECT_EQ(ev.back(), "saved after suspend");
    EXPECT_EQ(find_from(ev, 0, "keydown key=113"), -1);
    EXPECT_EQ(find_from(ev, 0, "quit"), -1);
}

// Closing the window, SIGTERM (a launcher) and SIGINT (Ctrl+C) end the game as Alt+Q
// does: the script sees "suspend", then one more frame to save in; the record has "quit".
TEST_F(InputEndToEnd, CloseAndSignalsSuspendFirst) {
    struct Way {
        const char* name;
        bool window;
        int sig;  // 0: close the window
    } ways[] = {{"close", true, 0}, {"SIGTERM", true, SIGTERM}, {"SIGINT headless", false, SIGINT}};
    std::string src = KEL_SOURCE_DIR;
    for (const Way& w : ways) {
        SCOPED_TRACE(w.name);
        remove((dir + "/events.txt").c_str());
        std::vector<std::string> args = {std::string(KEL_BINARY_DIR) + "/kelgame", "--verbose",
                                         "-mod", src + "/tests/mods/e2e/input_record.lua",
                                         "-record", dir + "/rec.txt",
                                         w.window ? "-width" : "-headless", "320"};
        game = spawn(args, dir,
                     {"DISPLAY=" + display, "HOME=" + dir, "ASAN_OPTIONS=detect_leaks=0"},
                     dir + "/game.log");
        ASSERT_TRUE(wait_text("ready", 30000)) << events();
        if (w.sig) {
            kill(game, w.sig);
        } else {
            ASSERT_TRUE(close_window(display, strtoul(focus().c_str(), nullptr, 10)));
        }
        int status = wait_for(game, 15000);
        ASSERT_NE(status, -1) << "the game did not end\n" << events();
        game = -1;
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), w.sig ? 128 + w.sig : 0);
        std::vector<std::string> ev = lines_of(events());
        ASSERT_GE(ev.size(), 2u) << events();
        EXPECT_EQ(ev[ev.size() - 2].compare(0, 8, "suspend "), 0) << events();
        EXPECT_EQ(ev.back(), "saved after suspend");
        std::string rec = slurp(dir + "/rec.txt");
        EXPECT_NE(rec.find(" quit\n"), std::string::npos) << rec;
    }
}

}  // namespace
