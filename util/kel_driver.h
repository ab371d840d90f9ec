// kel_driver: the platform-neutral half of the driver.
//
// Owns the driver state (screen size, platform, appid, caption, icon, altdir, tick
// rate), the process-wide verbose and flip switches, the start and stop of the SDL
// parts, and every file operation of the engine. Files live in three places:
//   data area  - read-only game data: altdir first (file by file), then the data dir
//                ("../data", "./data" with an appid, or the "datadir" override);
//   user area  - files the game writes: $HOME with an appid, else ".";
//   raw paths  - used unchanged.
// Returned paths live in static buffers, valid until the next call using the same
// buffer. Names too long for a buffer are refused with a log line.
#ifndef KEL_DRIVER_H
#define KEL_DRIVER_H

#include <stddef.h>
#include <stdint.h>
#include <string>

// driver_init flag bits
enum { DRIVER_INIT_VIDEO = 1, DRIVER_INIT_AUDIO = 2, DRIVER_INIT_TIMER = 4, DRIVER_INIT_ALL = 255 };

// Buffer sizes of the design; longer names are refused.
enum {
    DRIVER_DATA_DIR_MAX = 1024,
    DRIVER_DATA_PATH_MAX = 512,
    DRIVER_HOME_DIR_MAX = 512,
    DRIVER_USER_PATH_MAX = 1024,
    DRIVER_FIELD_MAX = 256,  // platform, appid, caption
    DRIVER_ICON_MAX = 512,
    DRIVER_ALTDIR_MAX = 512,
};

void driver_init(int flags);
void driver_deinit();

// From driver_init to driver_deinit the first SIGINT or SIGTERM asks the game to quit:
// driver_event_poll hands it out once as EVT_QUIT, so the game can save first. A second
// one ends the process as the signal would.
int driver_signal_take();  // 1 once for a signal not yet handed out
int driver_signal_get();   // the signal that asked to quit since driver_init, 0 if none

int driver_verbose_get();
void driver_verbose_set(int on);
int driver_flip_get();
void driver_flip_set(int on);

void driver_screen_size_get(int* w, int* h);
void driver_screen_size_set(int w, int h);
const char* driver_platform_get();
void driver_platform_set(const char* name);
const char* driver_appid_get();
void driver_appid_set(const char* appid);
const char* driver_caption_get();
void driver_caption_set(const char* caption);
const char* driver_icon_get();
void driver_icon_set(const char* path);
const char* driver_altdir_get();
void driver_altdir_set(const char* dir);  // null clears

// The "datadir" override is held by the script host; it installs this query.
typedef const char* (*driver_datadir_fn)(void);
void driver_datadir_query_set(driver_datadir_fn fn);

void driver_rate_set(int hz);
int driver_rate_ticks();
// Resets the millisecond tick base used by driver_ticks() to 0.
void driver_ticks_reset();
// Milliseconds since the tick base (monotonic clock less the base), signed 32-bit.
int driver_ticks();
// Tests inject a tick source; null restores the monotonic clock.
typedef unsigned (*driver_tick_fn)(void);
void driver_tick_source_set(driver_tick_fn fn);
// Sleeps ms milliseconds (the frame limiter's wait).
void driver_delay(int ms);

const char* driver_tmp_dir();
void driver_open_url(const char* url);

// Raw files. Alloc results are malloc'ed, owned by the caller, not NUL-terminated.
void* _driver_std_alloc(const char* path, size_t* size);
int _driver_std_load(const char* path, void* buf, int max);
// Atomic: writes a temporary file beside path, syncs it and renames it over path; a
// link at path is replaced, not followed. Returns 1 on success; on failure the old file
// is untouched and 0 is returned.
int _driver_std_save(const char* path, const void* buf, size_t len);
// The same, syncing only when sync is set (files cheap to lose, written within a frame).
int _driver_std_write(const char* path, const void* buf, size_t len, int sync);
void* driver_file_alloc(const char* path, size_t* size);
std::string driver_file_read(const char* path);
int driver_file_exists(const char* path);
int driver_file_save(const char* path, const void* buf, size_t len);
int64_t driver_file_mtime(const char* path);

// Data area.
const char* driver_data_dir();
const char* driver_data_path(const char* name);
int driver_data_exists(const char* name);
int64_t driver_data_size(const char* name);
int driver_data_load(const char* name, void* buf, int max);
std::string driver_data_read(const char* name);

// User area (the user2 set is the same directory on this platform).
const char* driver_user_path(const char* name);
int driver_user_exists(const char* name);
int driver_user_load(const char* name, void* buf, int max);
std::string driver_user_read(const char* name);
int driver_user_save(const char* name, const void* buf, size_t len);
int driver_user2_exists(const char* name);
int driver_user2_load(const char* name, void* buf, int max);
std::string driver_user2_read(const char* name);
int driver_user2_save(const char* name, const void* buf, size_t len);

#endif
