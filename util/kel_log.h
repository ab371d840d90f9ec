// kel_log: the one diagnostic call of the system.
//
// Silent unless the process runs with --verbose (driver_verbose_get). Two line styles:
//   plain:    "[file.cpp:func:123] message"          (engine, game host, extensions)
//   stamped:  "[tag][YYYY-MM-DD hh:mm:ss][file.cpp:func:123] message"  (script host)
// A newline is added when the message lacks one. Messages of any length print whole.
//
// log_warn is for a game maker's mistakes that would otherwise pass unseen (a missing
// image, a misspelt extension name): one "kelgame: ..." line on standard error the first
// time each distinct text comes, verbose or not; nothing when quiet (--quiet).
//
//   KEL_LOG("init", "loaded %s\n", name);
//   KEL_LOGS("mods_reload", "require %s\n", name);
//   log_warn("image not found: %s", name);
#ifndef KEL_LOG_H
#define KEL_LOG_H

#if defined(__GNUC__)
#define KEL_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define KEL_PRINTF(f, a)
#endif

void log_printf(const char* file, int line, const char* func, int level, const char* fmt, ...)
    KEL_PRINTF(5, 6);
void log_printf_stamped(const char* file, int line, const char* func, int level, const char* fmt,
                        ...) KEL_PRINTF(5, 6);

void log_warn(const char* fmt, ...) KEL_PRINTF(1, 2);
void log_quiet_set(int on);
int log_quiet_get();

// The application's tag for stamped lines; the default hook returns "".
typedef const char* (*log_tag_hook_fn)(void);
void log_tag_hook_set(log_tag_hook_fn hook);

#define KEL_LOG(func, ...) log_printf(__FILE__, __LINE__, func, 0, __VA_ARGS__)
#define KEL_LOGS(func, ...) log_printf_stamped(__FILE__, __LINE__, func, 0, __VA_ARGS__)

#endif
