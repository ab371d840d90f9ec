#include "util/kel_log.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <set>
#include <string>

#include "util/kel_driver.h"

static const char* _log_tag_default(void) { return ""; }
static log_tag_hook_fn _log_tag = _log_tag_default;

void log_tag_hook_set(log_tag_hook_fn hook) { _log_tag = hook ? hook : _log_tag_default; }

static const char* _log_base(const char* path) {
    const char* s = strrchr(path, '/');
    return s ? s + 1 : path;
}

// Formats into a heap buffer of exactly the needed size; caller frees. The length comes
// back too: a "%c" of 0 puts a NUL inside the message.
static char* _log_format(const char* fmt, va_list ap, size_t* len) {
    va_list ap2;
    va_copy(ap2, ap);
    int n = vsnprintf(NULL, 0, fmt, ap2);
    va_end(ap2);
    if (n < 0) return NULL;
    char* buf = (char*)malloc((size_t)n + 1);
    if (buf) vsnprintf(buf, (size_t)n + 1, fmt, ap);
    *len = (size_t)n;
    return buf;
}

static void _log_write(const char* prefix, const char* msg, size_t len) {
    fputs(prefix, stdout);
    fwrite(msg, 1, len, stdout);
    if (len == 0 || msg[len - 1] != '\n') fputc('\n', stdout);
}

// Prints one line in the plain (stamped = 0) or stamped style.
static void _log_vprint(int stamped, const char* file, int line, const char* func,
                        const char* fmt, va_list ap) {
    if (!driver_verbose_get()) return;
    size_t len = 0;
    char* msg = _log_format(fmt, ap, &len);
    if (!msg) return;
    char prefix[400] = "";
    if (stamped) {
        time_t now = time(NULL);
        struct tm tm;
        localtime_r(&now, &tm);
        snprintf(prefix, sizeof prefix, "[%s][%04d-%02d-%02d %02d:%02d:%02d][%s:%s:%d] ",
                 _log_tag(), tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                 tm.tm_min, tm.tm_sec, file ? _log_base(file) : "", func ? func : "", line);
    } else if (file && func && line) {
        snprintf(prefix, sizeof prefix, "[%s:%s:%d] ", _log_base(file), func, line);
    }
    _log_write(prefix, msg, len);
    if (!stamped) fflush(stdout);
    free(msg);
}

void log_printf(const char* file, int line, const char* func, int level, const char* fmt, ...) {
    (void)level;
    va_list ap;
    va_start(ap, fmt);
    _log_vprint(0, file, line, func, fmt, ap);
    va_end(ap);
}

void log_printf_stamped(const char* file, int line, const char* func, int level, const char* fmt,
                        ...) {
    (void)level;
    va_list ap;
    va_start(ap, fmt);
    _log_vprint(1, file, line, func, fmt, ap);
    va_end(ap);
}

// Texts already warned about. Bounded: a game that misses a thousand distinct names has
// made its point, and a name built from a counter must not grow this without end.
enum { LOG_WARN_MAX = 1000, LOG_WARN_TEXT_MAX = 300 };

struct LogWarnings {
    int quiet;
    std::set<std::string> seen;
};

static LogWarnings& _log_warnings() {
    static LogWarnings w;
    return w;
}

void log_quiet_set(int on) { _log_warnings().quiet = on; }
int log_quiet_get() { return _log_warnings().quiet; }

void log_warn(const char* fmt, ...) {
    LogWarnings& w = _log_warnings();
    if (w.quiet || w.seen.size() > LOG_WARN_MAX) return;
    va_list ap;
    va_start(ap, fmt);
    size_t len = 0;
    char* msg = _log_format(fmt, ap, &len);
    va_end(ap);
    if (!msg) return;
    // One line whatever the script's names hold.
    std::string text(msg, len < (size_t)LOG_WARN_TEXT_MAX ? len : (size_t)LOG_WARN_TEXT_MAX);
    free(msg);
    if (len > (size_t)LOG_WARN_TEXT_MAX) text += "...";
    while (!text.empty() && text.back() == '\n') text.pop_back();
    for (char& c : text)
        if ((unsigned char)c < 32 || c == 127) c = ' ';
    if (!w.seen.insert(text).second) return;
    if (w.seen.size() > LOG_WARN_MAX)
        text = "more problems than can be listed; --verbose logs every one";
    fprintf(stderr, "kelgame: %s\n", text.c_str());
    fflush(stderr);
}
