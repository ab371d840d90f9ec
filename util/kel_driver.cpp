#include "util/kel_driver.h"

#include <SDL.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "util/kel_driver-audio.h"
#include "util/kel_driver-sdl2.h"
#include "util/kel_driver-sdl_load.h"
#include "util/kel_log.h"

struct DriverState {
    int screen_w, screen_h;
    char platform[DRIVER_FIELD_MAX];
    char appid[DRIVER_FIELD_MAX];
    char caption[DRIVER_FIELD_MAX];
    char icon[DRIVER_ICON_MAX];
    int rate;
    char altdir[DRIVER_ALTDIR_MAX];
    int flags;          // the parts driver_init started, so deinit stops only those
    int rate_started;       // driver_rate_ticks: the first call has been made
    long rate_count;        // driver_rate_ticks: ticks handed out so far
    unsigned rate_start;    // driver_rate_ticks: clock in ms at the first call
};

static DriverState* _driver = NULL;

// The switches live outside the driver state so they exist before driver_init.
static int _driver_verbose = 1;
static int _driver_flip = 0;

static driver_datadir_fn _driver_datadir = NULL;
static driver_tick_fn _driver_tick_source = NULL;
static unsigned _driver_tick_base = 0;

static char _driver_data_dir_buf[DRIVER_DATA_DIR_MAX];
static char _driver_data_path_buf[DRIVER_DATA_PATH_MAX];
static char _driver_home_buf[DRIVER_HOME_DIR_MAX];
static char _driver_user_path_buf[DRIVER_USER_PATH_MAX];

// Every setter and query works before driver_init too: it then sees an empty record.
static DriverState* _driver_state() {
    static DriverState empty;
    return _driver ? _driver : &empty;
}

// Copies src into a fixed field; a value that does not fit is refused (field left empty)
// when truncation would change its meaning, else truncated. Both are logged.
static void _driver_field_set(char* dst, size_t cap, const char* src, const char* what,
                              int truncate) {
    dst[0] = '\0';
    if (!src) return;
    size_t n = strlen(src);
    if (n < cap) {
        memcpy(dst, src, n + 1);
        return;
    }
    if (truncate) {
        KEL_LOG("driver_field_set", "%s too long, truncated to %d bytes\n", what, (int)cap - 1);
        memcpy(dst, src, cap - 1);
        dst[cap - 1] = '\0';
    } else {
        KEL_LOG("driver_field_set", "%s too long (%d bytes), ignored\n", what, (int)n);
    }
}

// Forms "dir/name" into buf; a path that does not fit becomes "" (which opens as nothing).
static const char* _driver_join(char* buf, size_t cap, const char* dir, const char* name) {
    if (!name) name = "";
    int n = snprintf(buf, cap, "%s/%s", dir, name);
    if (n < 0 || (size_t)n >= cap) {
        KEL_LOG("driver_path", "path too long, refused: %.64s...\n", name);
        buf[0] = '\0';
    }
    return buf;
}

/* ---- quit signals ---- */

// Kept outside the driver state: a signal handler may touch nothing but these.
static volatile sig_atomic_t _driver_signal = 0;          // what asked to quit, 0: nothing
static volatile sig_atomic_t _driver_signal_pending = 0;  // not yet handed out as EVT_QUIT
static const int _driver_quit_signals[] = {SIGINT, SIGTERM};
static struct sigaction _driver_signal_old[2];
static int _driver_signal_installed = 0;

static void _driver_on_signal(int sig) {
    if (_driver_signal) {
        // The first one did not end the game: this one ends the process, as it would have.
        signal(sig, SIG_DFL);
        raise(sig);
        return;
    }
    _driver_signal = sig;
    _driver_signal_pending = 1;
}

// Installed before SDL starts, so SDL leaves these signals to us in both modes.
static void _driver_signal_install() {
    _driver_signal = 0;
    _driver_signal_pending = 0;
    if (_driver_signal_installed) return;
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = _driver_on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; i++) sigaction(_driver_quit_signals[i], &sa, &_driver_signal_old[i]);
    _driver_signal_installed = 1;
}

static void _driver_signal_restore() {
    if (!_driver_signal_installed) return;
    for (int i = 0; i < 2; i++) sigaction(_driver_quit_signals[i], &_driver_signal_old[i], NULL);
    _driver_signal_installed = 0;
}

int driver_signal_get() { return _driver_signal; }

int driver_signal_take() {
    if (!_driver_signal_pending) return 0;
    _driver_signal_pending = 0;
    KEL_LOG("driver_signal_take", "signal %d: quit\n", (int)_driver_signal);
    return 1;
}

/* ---- lifecycle and state ---- */

void driver_init(int flags) {
    if (_driver) free(_driver);
    _driver = (DriverState*)calloc(1, sizeof(DriverState));
    _driver->flags = flags;
    _driver_signal_install();
    // Ticks come from our own clock; SDL (and its timer) starts only with video or audio,
    // so a headless game never loads SDL at all.
    if ((flags & DRIVER_INIT_TIMER) && (flags & (DRIVER_INIT_VIDEO | DRIVER_INIT_AUDIO)))
        SDL_Init(SDL_INIT_TIMER);
    if (flags & DRIVER_INIT_VIDEO) _driver_video_init();
    if (flags & DRIVER_INIT_AUDIO) _driver_audio_init();
}

void driver_deinit() {
    if (!_driver) return;
    if (_driver->flags & DRIVER_INIT_AUDIO) _driver_audio_deinit();
    if (_driver->flags & DRIVER_INIT_VIDEO) driver_video_deinit();
    if (driver_sdl_loaded()) {
        SDL_QuitSubSystem(SDL_INIT_TIMER);
        SDL_Quit();
    }
    _driver_signal_restore();
    free(_driver);
    _driver = NULL;
}

int driver_verbose_get() { return _driver_verbose; }
void driver_verbose_set(int on) { _driver_verbose = on; }
int driver_flip_get() { return _driver_flip; }
void driver_flip_set(int on) { _driver_flip = on; }

void driver_screen_size_get(int* w, int* h) {
    if (w) *w = _driver_state()->screen_w;
    if (h) *h = _driver_state()->screen_h;
}

void driver_screen_size_set(int w, int h) {
    DriverState* d = _driver_state();
    d->screen_w = _driver_flip ? h : w;
    d->screen_h = _driver_flip ? w : h;
}

const char* driver_platform_get() { return _driver_state()->platform; }
void driver_platform_set(const char* name) {
    _driver_field_set(_driver_state()->platform, DRIVER_FIELD_MAX, name, "platform", 1);
}
const char* driver_appid_get() { return _driver_state()->appid; }
void driver_appid_set(const char* appid) {
    _driver_field_set(_driver_state()->appid, DRIVER_FIELD_MAX, appid, "appid", 1);
}
const char* driver_caption_get() { return _driver_state()->caption; }
void driver_caption_set(const char* caption) {
    _driver_field_set(_driver_state()->caption, DRIVER_FIELD_MAX, caption, "caption", 1);
}
const char* driver_icon_get() { return _driver_state()->icon; }
void driver_icon_set(const char* path) {
    _driver_field_set(_driver_state()->icon, DRIVER_ICON_MAX, path, "icon path", 0);
}
const char* driver_altdir_get() { return _driver_state()->altdir; }
void driver_altdir_set(const char* dir) {
    _driver_field_set(_driver_state()->altdir, DRIVER_ALTDIR_MAX, dir, "altdir", 0);
}

void driver_datadir_query_set(driver_datadir_fn fn) { _driver_datadir = fn; }

/* ---- time ---- */

// Milliseconds of a monotonic clock, as a wrapping 32-bit count like SDL's ticks.
static unsigned _driver_clock_ms() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (unsigned)((unsigned long long)ts.tv_sec * 1000u + (unsigned long long)ts.tv_nsec / 1000000u);
}

static unsigned _driver_now_ms() {
    return _driver_tick_source ? _driver_tick_source() : _driver_clock_ms();
}

void driver_delay(int ms) {
    if (ms <= 0) return;
    struct timespec ts = {ms / 1000, (long)(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void driver_tick_source_set(driver_tick_fn fn) {
    _driver_tick_source = fn;
    _driver_tick_base = 0;
}

void driver_ticks_reset() { _driver_tick_base = _driver_now_ms(); }

int driver_ticks() { return (int)(_driver_now_ms() - _driver_tick_base); }

void driver_rate_set(int hz) { _driver_state()->rate = hz; }

int driver_rate_ticks() {
    DriverState* d = _driver_state();
    if (d->rate <= 0) return 0;
    double r = d->rate;
    unsigned now = _driver_now_ms();
    if (!d->rate_started) {
        d->rate_started = 1;
        d->rate_count = 0;
        d->rate_start = now;
    }
    // seconds since the first call; the unsigned difference survives the 32-bit clock wrap
    double t = (unsigned)(now - d->rate_start) / 1000.0;
    if (!(t > d->rate_count / r)) return 0;
    // smallest count c > rate_count with t <= c / r
    long c = (long)ceil(t * r);
    while (c > d->rate_count + 1 && t <= (c - 1) / r) c--;
    while (t > c / r) c++;
    if (c <= d->rate_count) c = d->rate_count + 1;
    int due = (int)(c - d->rate_count);
    d->rate_count = c;
    return due;
}

/* ---- misc ---- */

const char* driver_tmp_dir() { return "/tmp"; }

static void _driver_open_url_platform(const char* url) {
    (void)url;
    KEL_LOG("_driver_open_url_platform", "no browser to open?\n");
}

void driver_open_url(const char* url) {
    KEL_LOG("driver_open_url", "Driver::weblink: %s\n", url ? url : "");
    _driver_open_url_platform(url ? url : "");
}

/* ---- raw files ---- */

void* _driver_std_alloc(const char* path, size_t* size) {
    if (size) *size = 0;
    FILE* f = fopen(path, "rb");
    if (!f) {
        KEL_LOG("_driver_std_alloc", "file not found: %s\n", path);
        return NULL;
    }
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || st.st_size <= 0) {
        fclose(f);
        return NULL;
    }
    // beyond the address space (a 4 GB file on a 32-bit target) the size would wrap
    if ((uint64_t)st.st_size >= (uint64_t)SIZE_MAX) {
        KEL_LOG("_driver_std_alloc", "file too large: %s\n", path);
        fclose(f);
        return NULL;
    }
    void* buf = malloc((size_t)st.st_size);
    if (!buf) {
        fclose(f);
        return NULL;
    }
    size_t got = fread(buf, 1, (size_t)st.st_size, f);
    fclose(f);
    if (size) *size = got;
    return buf;
}

int _driver_std_load(const char* path, void* buf, int max) {
    struct stat st;
    int64_t size = stat(path, &st) == 0 ? (int64_t)st.st_size : 0;
    FILE* f = fopen(path, "rb");
    if (!f) {
        KEL_LOG("_driver_std_load", "file not found: %s\n", path);
        return 0;
    }
    int64_t n = max < size ? max : size;
    if (n < 0) n = 0;
    size_t got = fread(buf, 1, (size_t)n, f);
    fclose(f);
    return (int)got;
}

static int _driver_write_all(int fd, const void* buf, size_t len) {
    const char* p = (const char*)buf;
    while (len > 0) {
        ssize_t n = write(fd, p, len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        p += n;
        len -= (size_t)n;
    }
    return 1;
}

// The directory part of a path: "." for a bare name, "/" for a name in the root.
static std::string _driver_dir_of(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash ? std::string(path, slash == path ? 1 : (size_t)(slash - path)) : ".";
}

// Flushes the directory entry of a rename, so the new name survives a power cut.
static void _driver_sync_dir(const char* path) {
    std::string dir = _driver_dir_of(path);
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Temporaries of earlier saves of path that were killed before their rename: our own
// naming (NAME.tmp- and mkstemp's six letters or digits), regular files, and more than a
// minute old, so that a save in flight in another process keeps its file.
static void _driver_tmp_sweep(const char* path) {
    const char* slash = strrchr(path, '/');
    std::string dir = _driver_dir_of(path);
    std::string prefix = std::string(slash ? slash + 1 : path) + ".tmp-";
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    time_t now = time(nullptr);
    while (struct dirent* e = readdir(d)) {
        const char* name = e->d_name;
        if (strncmp(name, prefix.c_str(), prefix.size()) != 0) continue;
        const char* tail = name + prefix.size();
        static const char letters[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        if (strlen(tail) != 6 || strspn(tail, letters) != 6) continue;
        std::string file = dir + "/" + name;
        struct stat st;
        if (lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_mtime > now - 60)
            continue;
        if (unlink(file.c_str()) == 0) KEL_LOG("_driver_std_save", "removed stale %s\n", file.c_str());
    }
    closedir(d);
}

// The new content goes to a temporary file beside the target, is synced, then renamed over
// it: a crash mid-save leaves the old file or the new one, never a torn one. Without sync
// only a power loss can still lose the new content.
int _driver_std_write(const char* path, const void* buf, size_t len, int sync) {
    if (!path || !path[0]) {
        KEL_LOG("_driver_std_save", "file not writable: %s\n", path ? path : "");
        return 0;
    }
    std::string tmp = std::string(path) + ".tmp-XXXXXX";
    int fd = mkstemp(&tmp[0]);
    if (fd < 0) {
        KEL_LOG("_driver_std_save", "file not writable: %s\n", path);
        return 0;
    }
    // keep the mode of the file we replace; new files, and anything that is not a plain
    // file (a link is replaced, never followed), get the usual umask'ed 0666
    struct stat st;
    mode_t mode;
    if (lstat(path, &st) == 0 && S_ISREG(st.st_mode)) {
        mode = st.st_mode & 0777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    int ok = _driver_write_all(fd, buf, len) && (!sync || fsync(fd) == 0);
    if (close(fd) != 0) ok = 0;
    if (ok && rename(tmp.c_str(), path) != 0) ok = 0;
    if (!ok) {
        unlink(tmp.c_str());
        KEL_LOG("_driver_std_save", "file not writable: %s\n", path);
        return 0;
    }
    if (sync) _driver_sync_dir(path);
    _driver_tmp_sweep(path);
    return 1;
}

int _driver_std_save(const char* path, const void* buf, size_t len) {
    return _driver_std_write(path, buf, len, 1);
}

void* driver_file_alloc(const char* path, size_t* size) { return _driver_std_alloc(path, size); }

std::string driver_file_read(const char* path) {
    size_t size = 0;
    void* buf = _driver_std_alloc(path, &size);
    if (!buf) return std::string();
    std::string s((const char*)buf, size);
    free(buf);
    return s;
}

int driver_file_exists(const char* path) {
    FILE* f = fopen(path, "rb");
    if (!f) return 0;
    fclose(f);
    return 1;
}

int driver_file_save(const char* path, const void* buf, size_t len) {
    return _driver_std_save(path, buf, len);
}

int64_t driver_file_mtime(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0) return 0;
    return (int64_t)st.st_mtime;
}

/* ---- data area ---- */

const char* driver_data_dir() {
    char* buf = _driver_data_dir_buf;
    memset(buf, 0, DRIVER_DATA_DIR_MAX);
    strcpy(buf, "../data");
    const char* over = _driver_datadir ? _driver_datadir() : NULL;
    if (over && over[0]) {
        _driver_field_set(buf, DRIVER_DATA_DIR_MAX, over, "datadir", 0);
        if (!buf[0]) strcpy(buf, "../data");
    } else if (_driver_state()->appid[0]) {
        strcpy(buf, "./data");
    }
    return buf;
}

const char* driver_data_path(const char* name) {
    const char* alt = _driver_state()->altdir;
    if (alt[0]) {
        _driver_join(_driver_data_path_buf, DRIVER_DATA_PATH_MAX, alt, name);
        if (_driver_data_path_buf[0] && driver_file_exists(_driver_data_path_buf))
            return _driver_data_path_buf;
    }
    return _driver_join(_driver_data_path_buf, DRIVER_DATA_PATH_MAX, driver_data_dir(), name);
}

int driver_data_exists(const char* name) { return driver_file_exists(driver_data_path(name)); }

int64_t driver_data_size(const char* name) {
    struct stat st;
    if (stat(driver_data_path(name), &st) != 0) return 0;
    return (int64_t)st.st_size;
}

int driver_data_load(const char* name, void* buf, int max) {
    return _driver_std_load(driver_data_path(name), buf, max);
}

std::string driver_data_read(const char* name) { return driver_file_read(driver_data_path(name)); }

/* ---- user area ---- */

const char* driver_user_path(const char* name) {
    char* home = _driver_home_buf;
    memset(home, 0, DRIVER_HOME_DIR_MAX);
    strcpy(home, ".");
    if (_driver_state()->appid[0]) {
        // without HOME the working directory stays the user area
        const char* env = getenv("HOME");
        if (env && env[0]) {
            _driver_field_set(home, DRIVER_HOME_DIR_MAX, env, "HOME", 0);
            if (!home[0]) strcpy(home, ".");
        }
    }
    return _driver_join(_driver_user_path_buf, DRIVER_USER_PATH_MAX, home, name);
}

int driver_user_exists(const char* name) { return driver_file_exists(driver_user_path(name)); }
int driver_user_load(const char* name, void* buf, int max) {
    return _driver_std_load(driver_user_path(name), buf, max);
}
std::string driver_user_read(const char* name) { return driver_file_read(driver_user_path(name)); }
int driver_user_save(const char* name, const void* buf, size_t len) {
    return _driver_std_save(driver_user_path(name), buf, len);
}

// The second user set shares the first one's directory on this platform.
int driver_user2_exists(const char* name) { return driver_user_exists(name); }
int driver_user2_load(const char* name, void* buf, int max) {
    return driver_user_load(name, buf, max);
}
std::string driver_user2_read(const char* name) { return driver_user_read(name); }
int driver_user2_save(const char* name, const void* buf, size_t len) {
    return driver_user_save(name, buf, len);
}
