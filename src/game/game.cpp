#include "src/game/game.h"

#include <errno.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <GLES/gl.h>
#include <SDL.h>
#include <stb/stb_image_write.h>

#include "src/ext_gui/ext_gui.h"
#include "src/ext_misc/ext_misc.h"
#include "src/ext_net/ext_net.h"
#include "src/ext_trans/ext_trans.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_api/mods_module.h"
#include "src/mods_lua/mods_base.h"
#include "src/mods_misc/mods_console.h"
#include "src/mods_misc/mods_event.h"
#include "src/mods_misc/mods_restart.h"
#include "src/mods_misc/mods_stats.h"
#include "src/mods_misc/mods_view.h"
#include "util/kel_driver-input.h"
#include "util/kel_driver-sdl2.h"
#include "util/kel_driver.h"
#include "util/kel_driver-sdl_load.h"
#include "util/kel_font.h"
#include "util/kel_gfx.h"
#include "util/kel_log.h"
#include "util/kel_mixer.h"
#include "util/kel_social.h"
#include "util/kel_web.h"

static Game* _game = nullptr;          // the entry glue's record
static Game* _game_current = nullptr;  // the same record, for script-API code
static int _game_status = 0;

// Frame clocks: -1 until first taken.
static int _game_last_loop = -1;
static int _game_last_frame = -1;
// driver_continued() when the loop clock last ran: a change means the process stood still.
static int _game_continued = 0;

enum { GAME_DAY_MS = 86400000 };

Game* game_current() { return _game_current; }
// A run ended by a signal says so, with the status a shell gives it: a CI job cut short
// must not read as passed.
int game_exit_status() {
    int sig = driver_signal_get();
    if (_game_status || !sig) return _game_status;
    fprintf(stderr, "kelgame: stopped by signal %d (%s)\n", sig, strsignal(sig));
    return 128 + sig;
}

void game_clock_reset() {
    _game_last_loop = -1;
    _game_last_frame = -1;
    _game_continued = driver_continued();
}

// Copies a path into a fixed field; a path that does not fit is refused whole, as a
// cut one would name some other file.
static int _game_path_set(char* dst, const char* src, const char* what) {
    size_t n = strlen(src);
    if (n >= GAME_PATH_MAX) {
        KEL_LOG("game_init", "%s path too long (%zu bytes, limit %d), ignored\n", what, n,
                GAME_PATH_MAX - 1);
        fprintf(stderr, "kelgame: %s path too long (%zu bytes), ignored\n", what, n);
        return 0;
    }
    memcpy(dst, src, n + 1);
    return 1;
}

// An option of a CI run that could not be done: said on stderr, and the run, which goes
// on, ends with status 1, so that a CI job does not pass without it.
__attribute__((format(printf, 1, 2))) static void _game_ci_fail(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    fputs("kelgame: ", stderr);
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
    va_end(ap);
    _game_status = 1;
}

// "N:PATH"; anything else is reported and fails the run.
static void _game_capture_option(Game* g, const char* value) {
    char* end;
    long n = strtol(value, &end, 10);
    if (end == value || *end != ':' || !end[1] || n < 0 || n > INT32_MAX) {
        _game_ci_fail("-capture %s: expected FRAME:PATH", value);
        return;
    }
    g->captures.push_back(GameCapture{(int)n, end + 1});
}

void game_options_parse(Game* g, int argc, char** argv) {
    for (int i = 0; i < argc; i++) {
        const char* a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (strcmp(a, "-headless") == 0) {
            g->headless = 1;
        } else if (strcmp(a, "--fullscreen") == 0) {
            g->fullscreen_option = 1;
        } else if (strcmp(a, "-fixed-dt") == 0) {
            g->fixed_dt = 1;
        } else if (strcmp(a, "-stats") == 0) {
            g->stats = 1;
        } else if (!next) {
            continue;
        } else if (strcmp(a, "-mod") == 0) {
            _game_path_set(g->mod_path, next, "-mod");
        } else if (strcmp(a, "-datadir") == 0) {
            mods_api_datadir_set(next);  // before the entry script is looked up in it
        } else if (strcmp(a, "-width") == 0) {
            g->width = (int)strtol(next, nullptr, 10);
        } else if (strcmp(a, "-height") == 0) {
            g->height = (int)strtol(next, nullptr, 10);
        } else if (strcmp(a, "-frames") == 0) {
            g->frames = (int)strtol(next, nullptr, 10);
        } else if (strcmp(a, "-record") == 0) {
            g->record_path = next;
        } else if (strcmp(a, "-replay") == 0) {
            g->replay_path = next;
        } else if (strcmp(a, "-capture") == 0) {
            _game_capture_option(g, next);
        } else if (strcmp(a, "-crash") == 0) {
            if (strcmp(next, "wait") == 0) g->crash = GAME_CRASH_WAIT;
            else if (strcmp(next, "exit") == 0) g->crash = GAME_CRASH_EXIT;
            else if (strcmp(next, "restart") == 0) g->crash = GAME_CRASH_RESTART;
        }
    }
}

static int _game_is_dir(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::string game_exe_dir() {
    char exe[GAME_PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "";
    exe[n] = 0;
    char* slash = strrchr(exe, '/');
    if (!slash) return "";
    *slash = 0;
    return exe;
}

// The installed game: share/kelgame beside the bin directory of this program, so that
// an unpacked package finds its own game as /usr does.
static const char* _game_share_dir() {
    static char dir[GAME_PATH_MAX];
    std::string exe = game_exe_dir();
    if (exe.empty()) return nullptr;
    int len = snprintf(dir, sizeof dir, "%s/../share/kelgame", exe.c_str());
    return len > 0 && len < (int)sizeof dir && _game_is_dir(dir) ? dir : nullptr;
}

// The entry script: "-mod FILE", or "-mod FOLDER" for its main.lua (the folder's files
// are found beside the script); without "-mod", main.lua of the data area. Where there
// is no data directory the installed game's folder stands in for it, so an installed
// kelgame runs its bundled game and finds the bundled font.
static void _game_mod_resolve(Game* g) {
    const char* share = mods_api_datadir() ? nullptr : _game_share_dir();
    if (share && (g->mod_path[0] ? !_game_is_dir(driver_data_dir())
                                 : !driver_file_exists(driver_data_path("main.lua"))))
        mods_api_datadir_set(share);
    if (!g->mod_path[0]) {
        _game_path_set(g->mod_path, driver_data_path("main.lua"), "main.lua");
    } else if (_game_is_dir(g->mod_path)) {
        char path[GAME_PATH_MAX + 16];
        snprintf(path, sizeof path, "%s/main.lua", g->mod_path);
        _game_path_set(g->mod_path, path, "-mod");
    }
}

static void _game_replay_bad(void* ctx, int line, const char* why) {
    fprintf(stderr, "kelgame: %s:%d: %s, line skipped\n", (const char*)ctx, line, why);
}

// Opens the record file and reads the replay file; a run that cannot do what its
// command line asks ends at once, as a CI job must not pass without its input.
static void _game_ci_start(Game* g) {
    if (!g->replay_path.empty()) {
        const char* path = g->replay_path.c_str();
        if (!driver_file_exists(path)) {
            fprintf(stderr, "kelgame: cannot read the replay file %s\n", path);
            exit(1);
        }
        std::string text = driver_file_read(path);
        int bad = replay_parse(text.data(), text.size(), &g->replay, _game_replay_bad, (void*)path);
        if (bad) _game_ci_fail("%s: %d line%s could not be read", path, bad, bad == 1 ? "" : "s");
        g->replay_next = 0;
    }
    if (!g->record_path.empty()) {
        g->record = fopen(g->record_path.c_str(), "w");
        if (!g->record) {
            fprintf(stderr, "kelgame: cannot write the record file %s\n", g->record_path.c_str());
            exit(1);
        }
        fputs("# kelgame record: FRAME TYPE FIELD=VALUE ...\n", g->record);
    }
    if (g->headless && !g->captures.empty()) {
        _game_ci_fail("-capture needs a window, none is written when headless");
        g->captures.clear();
    }
}

// Without -width and -height: below 800 x 600 the display is a handheld's (320 x 240,
// 480 x 272, 640 x 480, 960 x 544, ...), where a window with space around it helps no
// one, so the game fills it; a desktop monitor gets a window of 80% of its size.
static int _game_fullscreen_default(int display_w, int display_h) {
    return display_w > 0 && display_h > 0 && (display_w < 800 || display_h < 600);
}

static void _game_start(Game* g) {
    _game_current = g;
    g->quit = 0;
    g->suspendable = 0;
    driver_focus_suspend_set(0);
    g->started = 1;
    if (g->headless) {
        driver_init(DRIVER_INIT_TIMER);
        driver_rate_set(60);
    } else {
        driver_init(DRIVER_INIT_ALL);
        driver_appid_set("KelGame");
        driver_caption_set("KelGame");
        driver_rate_set(60);
        int dw = 0, dh = 0;
        driver_video_desktop_size(&dw, &dh);
        g->fullscreen = g->fullscreen_option ||
                        ((!g->width || !g->height) && _game_fullscreen_default(dw, dh));
        driver_video_init(g->width, g->height, 640, 480, 240, 160, g->fullscreen);
        if (!driver_video_window()) {
            // Nothing could be shown; say so instead of running a game nobody sees.
            fprintf(stderr, "kelgame: cannot open a window: %s (use -headless to run without one)\n",
                    driver_video_error());
            driver_deinit();
            exit(1);
        }
        gfx_init();
        gfx_filter_query_set(mods_view_filter);
        int w = 0, h = 0;
        driver_screen_size_get(&w, &h);
        gfx_view_size_set(w, h);
        gfx_view_angle_set(0.0f);
        gfx_depth_range_set(-1000.0f, 1000.0f);
        // The window shows a cleared frame while the script loads.
        gfx_clear();
        driver_video_swap();
        font_init();
        mixer_init();
    }
    mods_console_init();
    mods_stats_init(g->stats);
    kel_web_init();
    ext_trans_init(g);
    ext_misc_init(g);
    ext_net_init(g);
    social_post_set(game_post);
    ext_gui_init(g);

    _game_ci_start(g);
    g->script_path[0] = 0;
    _game_mod_resolve(g);
    memcpy(g->script_path, g->mod_path, sizeof(g->script_path));

    int t0 = driver_ticks();
    mods_restart(g, 1);
    KEL_LOG("init", "mods_restart: %ld ms\n", (long)(driver_ticks() - t0));
}

void game_init(int argc, char** argv) {
    if (_game) return;
    _game = new Game();
    _game->argc = argc;
    _game->argv = argv;
    _game_status = 0;
    game_clock_reset();
    game_options_parse(_game, argc, argv);
    _game_start(_game);
}

int game_quit(int request) {
    if (!_game) return 1;
    if (request >= 0) _game->quit = request;
    return _game->quit != 0;
}

// The widget trees see the event first; what they consume the script does not.
static void _game_deliver(Game* g, const Event& e) {
    if (!ext_gui_route(g, e)) mods_event_translate(g, e);
}

static void _game_route(Game* g, Event e) {
    if (e.type == 30 || e.type == 31) return;
    if (e.type == EVT_QUIT) {
        // Window close, SIGTERM and SIGINT end the game as Alt+Q does: the script sees
        // "suspend" and has this frame's loop and paint to save in.
        if (!g->quit) {
            Event suspend = Event();
            suspend.type = EVT_SUSPEND;
            _game_route(g, suspend);
        }
        g->quit = 1;
        return;
    }
    if (mods_console_key(g, e) || mods_stats_key(e)) return;
    // The event's own modifier bits: the live keyboard state may be several events
    // ahead (a burst pumped at once), and replayed keys have none.
    bool mod_held = (e.button & (DRIVER_MOD_CTRL | DRIVER_MOD_ALT | DRIVER_MOD_GUI)) != 0;
    if (e.type == EVT_KEYDOWN && e.key == DRIVER_KEY_A + ('f' - 'a') && mod_held) {
        g->fullscreen = g->fullscreen == 1 ? -1 : 1;
        Event reset = Event();
        reset.type = EVT_RESET;
        _game_route(g, reset);
    } else if (e.type == EVT_KEYDOWN && e.key == DRIVER_KEY_A + ('q' - 'a') && mod_held) {
        Event suspend = Event();
        suspend.type = EVT_SUSPEND;
        _game_route(g, suspend);
        g->quit = 1;
        return;
    }
    switch (e.type) {
    case EVT_RESET:
        driver_keyboard_hide();
        // Headless runs have no window to re-create.
        if (!g->headless) driver_video_init(0, 0, 640, 480, 320, 320, g->fullscreen == 1);
        break;
    case EVT_RESIZE: driver_keyboard_hide(); break;
    case EVT_SUSPEND:
    case EVT_RESUME:
        KEL_LOG("event", e.type == EVT_SUSPEND ? "EVT_SUSPEND\n" : "EVT_RESUME\n");
        _game_deliver(g, e);
        return;
    }
    // Pointer presses, moves and releases also arrive in their generic form, right
    // after. The trees judge that form; what they take reaches the script in neither.
    Event generic = e;
    switch (e.type) {
    case EVT_MOUSEDOWN:
    case EVT_TOUCHDOWN: generic.type = EVT_DOWN; break;
    case EVT_MOUSEMOTION:
    case EVT_TOUCHMOTION: generic.type = EVT_MOTION; break;
    case EVT_MOUSEUP:
    case EVT_TOUCHUP: generic.type = EVT_UP; break;
    default: _game_deliver(g, e); return;
    }
    if (ext_gui_route(g, generic)) return;
    mods_event_translate(g, e);
    mods_event_translate(g, generic);
}

void game_event(Event e) {
    Game* g = _game;
    if (!g) return;
    if (g->record) fputs(replay_line(g->frame, e).c_str(), g->record);
    double t0 = mods_stats_now();
    _game_route(g, e);
    mods_stats_add(MODS_STATS_SCRIPT, mods_stats_now() - t0);
}

void game_post(Event e) {
    if (_game) _game_route(_game, e);
}

// Replayed events of this frame go through the same door as live ones.
static void _game_replay_frame(Game* g) {
    while (g->replay_next < g->replay.size() && !g->quit) {
        const ReplayEvent& r = g->replay[g->replay_next];
        if (r.frame > g->frame) break;
        g->replay_next++;
        game_event(r.event);
    }
}

float game_dt(int last, int now) {
    int64_t elapsed = (int64_t)now - (int64_t)last;
    if (elapsed < 0) elapsed = 0;
    float dt = (float)(elapsed / 1000.0);
    return dt > 1.0f ? 1.0f : dt;
}

int game_limiter_wait(int last, int now) {
    int64_t elapsed = (int64_t)now - (int64_t)last;
    float t = (float)((elapsed > 0 ? elapsed : 0) / 1000.0);
    if (t > 1.0f) return 0;
    int wait = (int)((0.016666668 - t) * 1000);
    return wait > 0 ? wait : 0;
}

// The answer to a script that is no longer sound: always headless, with a window when
// a policy other than "wait" was asked for.
static void _game_crash(Game* g) {
    switch (g->crash) {
    case GAME_CRASH_EXIT:
        if (!_game_status) fprintf(stderr, "kelgame: script failed\n");
        _game_status = 1;
        g->quit = 1;
        break;
    case GAME_CRASH_RESTART: mods_restart(g, 1); break;
    default: break;
    }
}

// "-frames N" is over: quit, failing the run if its script failed under "-crash exit".
static void _game_frames_done(Game* g) {
    ModsBase* mod = g->mod;
    if (g->crash == GAME_CRASH_EXIT && mod && mod->overrides(ModsBase::OP_IS_OKAY) &&
        !mod->is_okay())
        _game_crash(g);
    g->quit = 1;
}

void game_loop() {
    Game* g = _game;
    if (!g) return;
    _game_replay_frame(g);
    if (!g->headless) {
        gfx_reload_auto();
        font_reload_auto();
        mixer_reload_auto();
        mods_reload_auto(g);
    }
    if (_game_last_loop == -1) _game_last_loop = driver_ticks();
    if (driver_ticks() < 0) driver_ticks_reset();
    int now = driver_ticks();
    // After a stop (a handheld's sleep, SIGTSTP) the game goes on where it stood: the
    // time it was stopped is no step.
    if (driver_continued() != _game_continued) {
        _game_continued = driver_continued();
        _game_last_loop = now;
    }
    float dt = g->fixed_dt ? 1.0f / 60.0f : game_dt(_game_last_loop, now);
    _game_last_loop = now;
    if (now > GAME_DAY_MS) {
        driver_ticks_reset();
        _game_last_loop = driver_ticks();
        return;
    }
    ext_net_poll(g);
    ModsBase* mod = g->mod;
    double t0 = mods_stats_now();
    if (mod && mod->overrides(ModsBase::OP_LOOP)) mod->loop(dt);
    mods_stats_add(MODS_STATS_SCRIPT, mods_stats_now() - t0);
    mod = g->mod;
    // A windowed run waits (the console shows the error) unless a policy was asked for:
    // a CI job waits for no one, a handheld player may have no keyboard to restart.
    if ((g->headless || g->crash != GAME_CRASH_WAIT) && mod &&
        mod->overrides(ModsBase::OP_IS_OKAY) && !mod->is_okay())
        _game_crash(g);
}

// Answers the seconds the script's _paint took.
static double _game_script_paint(Game* g) {
    ModsAPI* api = g->api;
    if (!api) return 0;
    int w = 0, h = 0;
    driver_screen_size_get(&w, &h);
    api->params_set("window_w", var(w));
    api->params_set("window_h", var(h));
    ModsBase* mod = g->mod;
    if (mod && mod->overrides(ModsBase::OP_IS_OKAY) && !mod->is_okay()) {
        // A failed script keeps its last good frame on screen.
        api->replay();
        ext_gui_paint(g);
        mods_console_paint(g);
        mods_stats_scene_end(g);
        mods_stats_paint(g);
        glColor4ub(255, 255, 255, 255);
        return 0;
    }
    api->clear();
    double t0 = mods_stats_now();
    if (mod && mod->overrides(ModsBase::OP_PAINT)) mod->paint();
    double script = mods_stats_now() - t0;
    mods_stats_add(MODS_STATS_SCRIPT, script);
    api->replay();
    // the widget trees above the script's frame; a transition's frames carry their own
    if (!ext_trans_drawn(g)) ext_gui_paint(g);
    mods_console_paint(g);
    // the overlay over everything, its own drawing left out of the figures
    mods_stats_scene_end(g);
    mods_stats_paint(g);
    glColor4ub(255, 255, 255, 255);
    return script;
}

// The frame just drawn, read back from the back buffer, as an opaque PNG.
static void _game_capture(const char* path) {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(driver_video_window(), &w, &h);
    std::vector<uint8_t> rgba, rgb;
    if (w > 0 && h > 0) {
        rgba = gfx_read_rgba(0, 0, w, h);
        rgb.resize((size_t)w * h * 3);
        for (size_t i = 0; i < (size_t)w * h; i++) memcpy(&rgb[3 * i], &rgba[4 * i], 3);
    }
    if (rgb.empty() || !stbi_write_png(path, w, h, 3, rgb.data(), w * 3))
        _game_ci_fail("cannot write the capture %s", path);
    KEL_LOG("game_paint", "capture %s (%dx%d)\n", path, w, h);
}

// Recording stops at the first write that fails: what follows would be a record with
// events missing.
static void _game_record_check(Game* g, int closing) {
    if (!g->record) return;
    int bad = ferror(g->record);
    if (!closing && fflush(g->record) != 0) bad = 1;  // a killed run keeps what it recorded
    int e = errno;
    if (closing || bad) {
        if (fclose(g->record) != 0 && !bad) {
            bad = 1;
            e = errno;
        }
        g->record = nullptr;
    }
    if (bad)
        _game_ci_fail("cannot write the record file %s: %s", g->record_path.c_str(),
                      e ? strerror(e) : "write error");
}

void game_paint() {
    Game* g = _game;
    if (!g) return;
    if (!g->headless) {
        double t0 = mods_stats_now();
        gfx_clear();
        double script = _game_script_paint(g);
        for (const GameCapture& c : g->captures)
            if (c.frame == g->frame) _game_capture(c.path.c_str());
        driver_video_swap();
        gfx_frame_next();
        // the script's paint is counted as its own part already
        mods_stats_add(MODS_STATS_DRAW, mods_stats_now() - t0 - script);
    } else if (g->api) {
        // Nothing replays a headless frame: what the script recorded (from _loop or
        // _event) is dropped here, as a paint would, or the list grows every frame.
        g->api->clear();
    }
    _game_record_check(g, 0);
    driver_pause_stop();  // a SIGTSTP's suspend has had its frame to save in
    if (++g->frame == g->frames && g->frames > 0) _game_frames_done(g);
    if (_game_last_frame == -1) _game_last_frame = driver_ticks();
    int wait = game_limiter_wait(_game_last_frame, driver_ticks());
    // Benchmarks measure the frame rate without the 60 Hz cap; fixed steps need none,
    // unless someone is playing while the input is recorded.
    static const int unlimited = getenv("KEL_BENCH_UNLIMITED") != NULL;
    double t1 = mods_stats_now();
    if (wait > 0 && !unlimited && !(g->fixed_dt && !g->record)) driver_delay(wait);
    mods_stats_add(MODS_STATS_WAIT, mods_stats_now() - t1);
    mods_stats_frame_end();
    _game_last_frame = driver_ticks();
}

static void _game_stop(Game* g) {
    _game_record_check(g, 1);
    for (const GameCapture& c : g->captures)
        if (c.frame >= g->frame)
            _game_ci_fail("-capture %d:%s: the run ended after %d frames, before frame %d", c.frame,
                          c.path.c_str(), g->frame, c.frame);
    // The mod goes first: its state may still print to the API's console while closing.
    delete g->mod;
    g->mod = nullptr;
    delete g->api;
    g->api = nullptr;
    ext_trans_deinit();
    ext_net_deinit();
    ext_gui_deinit();
    kel_web_deinit();
    mods_console_deinit();
    mods_stats_deinit();
    if (g->headless) {
        driver_deinit();
    } else {
        mixer_deinit();
        font_deinit();
        gfx_deinit();
        driver_deinit();
    }
}

void game_deinit() {
    if (!_game) return;
    _game_stop(_game);
    delete _game;
    _game = nullptr;
    _game_current = nullptr;
}
