// Fuzzes the script surface: a game (an example, the bundled game or an empty one, picked
// by the first byte) is started with its _init, then the input is read as a sequence of
// operations: calls of every function the script sees (pushed with generated arguments
// and run under lua_pcall, as a script's own pcall would), input events, frames, a
// script function replaced by one that raises, and a call repeated many times.
//
// Beyond the sanitizers it checks what docs/scripting.md promises: a bad call raises
// "incorrect number of arguments" or "null string" and nothing else, a good one raises
// nothing and answers the documented type; a failed script stays failed until something
// restarts it, and an error raised in a call the host makes fails it; an event's widget
// names are the widgets' own; a call repeated after warm-up does not grow the heap (the
// Lua heap and everything else the sanitizer's allocator holds).
//
// fuzz_script runs headless; fuzz_script_gl (the same file with FUZZ_SCRIPT_GL) opens a
// window and so reaches the drawing, transition, screenshot and video calls: run it under
// Xvfb (fuzz/run.sh does).
#include <dirent.h>
#include <errno.h>
#include <ftw.h>
#include <signal.h>
#include <netdb.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <SDL.h>
#include <sanitizer/allocator_interface.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_script_gen.h"
#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_api/mods_ext.h"
#include "src/mods_lua/mods_lua.h"
#include "src/mods_misc/mods_restart.h"
#include "util/kel_driver-input.h"
#include "util/kel_driver-sdl2.h"
#include "util/kel_driver.h"
#include "util/kel_json.h"
#include "util/kel_log.h"
#include "util/kel_web.h"

#ifdef FUZZ_SCRIPT_GL
static const bool _gl = true;
#else
static const bool _gl = false;
#endif

// The games a run starts with; the last one is written at start and defines nothing
// but the four functions.
static const char* const _games[] = {
    "data/main.lua",           "examples/hello/main.lua",       "examples/menu/main.lua",
    "examples/input/main.lua", "examples/net/main.lua",         "examples/save/main.lua",
    "examples/sound/main.lua", "examples/sprites/main.lua",     "examples/transitions/main.lua",
    "examples/headless/main.lua", nullptr};

// Argument kinds: which pool a string comes from, or a number.
enum { A_NUM, A_TEXT, A_KEY, A_FILE, A_IMAGE, A_FONT, A_SOUND, A_MODULE, A_EXT, A_ANY };

// Every function the script sees. strings: the arguments that raise "null string" when
// they are not a string or a number (engine functions only).
struct Fn {
    const char* name;
    int min, max;
    unsigned strings;  // bit i: argument i + 1
    int args[8];
    bool engine;  // follows the common rules of engine calls
};
static const Fn _fns[] = {
    {"kel_ext_call", 1, 2, 1 | 2, {A_TEXT, A_EXT}, true},
    {"kel_params_set", 2, 2, 1, {A_KEY, A_ANY}, true},
    {"kel_params_get", 1, 1, 1, {A_KEY}, true},
    {"kel_file_load", 1, 2, 1, {A_FILE, A_ANY}, true},
    {"kel_file_save", 2, 3, 1 | 2, {A_FILE, A_TEXT, A_ANY}, true},
    {"kel_view_set", 4, 4, 0, {A_NUM, A_NUM, A_NUM, A_NUM}, true},
    {"kel_image_draw", 5, 8, 1, {A_IMAGE, A_NUM, A_NUM, A_NUM, A_NUM, A_NUM, A_NUM, A_NUM}, true},
    {"kel_rect_draw", 5, 5, 0, {A_NUM, A_NUM, A_NUM, A_NUM, A_NUM}, true},
    {"kel_font_draw", 5, 7, 1 | 4, {A_FONT, A_NUM, A_TEXT, A_NUM, A_NUM, A_NUM, A_NUM}, true},
    {"kel_font_size", 3, 3, 1 | 4, {A_FONT, A_NUM, A_TEXT}, true},
    {"kel_sample_play", 1, 3, 1, {A_SOUND, A_NUM, A_NUM}, true},
    {"kel_stream_play", 1, 2, 1, {A_SOUND, A_NUM}, true},
    {"kel_stream_stop", 1, 1, 1, {A_SOUND}, true},
    {"require", 1, 1, 1, {A_MODULE}, true},
    {"print", 0, 3, 0, {A_TEXT, A_ANY, A_NUM}, false},
    {"json_encode", 1, 1, 0, {A_ANY}, false},
    {"json_decode", 1, 1, 0, {A_TEXT}, false},
};
enum { FN_EXT = 0, FN_PARAMS_SET = 1 };

// What each extension name may answer (JSON types, as var types: 0 null, 1 number,
// 2 string, 3 list, 4 object, 5 boolean); names not listed answer null.
struct ExtResult {
    const char* name;
    unsigned types;  // bit per var type
};
enum { R_NULL = 1, R_NUM = 2, R_STR = 4, R_LIST = 8, R_OBJ = 16, R_BOOL = 32 };
static const ExtResult _ext_results[] = {
    {"gui:add", R_NULL | R_BOOL},    {"gui:set", R_NULL | R_BOOL},
    {"gui:remove", R_NULL | R_BOOL}, {"gui:focus", R_NULL | R_BOOL},
    {"gui:select", R_NULL | R_BOOL}, {"gui:clear", R_NULL | R_BOOL},
    {"gui:get", R_NULL | R_BOOL | R_OBJ}, {"http:request", R_NULL | R_NUM},
    {"http:cancel", R_NULL | R_BOOL}, {"db:open", R_NULL | R_NUM},
    {"db:query", R_NULL | R_OBJ},    {"db:close", R_NULL | R_BOOL},
    {"trans:ready", R_NULL | R_BOOL}, {"screenshot", R_NULL | R_STR},
    {"clipboard:set", R_NULL | R_BOOL}, {"clipboard:get", R_NULL | R_STR},
    {"timer:get_ticks", R_NULL | R_NUM}, {"memory:get", R_NULL | R_OBJ},
    {"stats:get", R_NULL | R_OBJ},
};

static std::string _root, _user;  // the run's directory and the user area in it
static std::string _cwd;          // the caller's working directory

static void _fail(const char* what, const std::string& detail) {
    fprintf(stderr, "fuzz_script: %s: %s\n", what, detail.c_str());
    if (chdir(_cwd.c_str()) != 0) fputs("fuzz_script: cannot go back\n", stderr);
    abort();
}

static int _rm(const char* path, const struct stat*, int, struct FTW*) {
    remove(path);
    return 0;
}

static void _cleanup() { nftw(_root.c_str(), _rm, 8, FTW_DEPTH | FTW_PHYS); }

// No name resolves and none is asked of the network.
static int _no_resolver(const char*, uint32_t*) { return HOST_NOT_FOUND; }

// The directories of runs that crashed (no atexit then): kelfuzz-PID-* of a PID gone.
static void _remove_stale(const char* parent) {
    DIR* d = opendir(parent);
    if (!d) return;
    while (struct dirent* e = readdir(d)) {
        int pid = 0;
        if (sscanf(e->d_name, "kelfuzz-%d-", &pid) == 1 && pid > 0 && kill(pid, 0) != 0 &&
            errno == ESRCH)
            nftw((std::string(parent) + "/" + e->d_name).c_str(), _rm, 8, FTW_DEPTH | FTW_PHYS);
    }
    closedir(d);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // on tmpfs where there is one: the databases sync every write
    const char* parent = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    _remove_stale(parent);
    char dir[64];
    snprintf(dir, sizeof dir, "%s/kelfuzz-%d-XXXXXX", parent, (int)getpid());
    if (!mkdtemp(dir)) abort();
    _root = dir;
    _user = _root + "/user";
    atexit(_cleanup);
    std::string empty = _root + "/empty";
    mkdir(empty.c_str(), 0700);
    mkdir(_user.c_str(), 0700);
    FILE* f = fopen((empty + "/main.lua").c_str(), "w");
    if (!f) abort();
    fputs("function _init() end function _event(e) end function _loop(dt) end "
          "function _paint() end\n", f);
    fclose(f);
    // Saves go to the working directory (the run's, while an input runs: libFuzzer's
    // own paths stay the caller's), or to $HOME once a script sets "appid".
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) abort();
    _cwd = cwd;
    setenv("HOME", _user.c_str(), 1);
    // No sound device: a mixer thread would allocate whenever it runs and blur the
    // repeat's measure. Sounds are still found, loaded and decoded; the mixing has its
    // own tests.
    setenv("SDL_AUDIODRIVER", "kelfuzz-none", 1);
    kel_web_resolver_set(_no_resolver);
    log_quiet_set(1);
    driver_verbose_set(0);
    static std::string mod = std::string(KEL_SOURCE_DIR) + "/data/main.lua";
    static std::string data = std::string(KEL_SOURCE_DIR) + "/data";
    // "-port 1": the net example's requests go to a port where nothing listens.
    static const char* argv[] = {"kelgame", _gl ? "-fixed-dt" : "-headless", "-fixed-dt",
                                 "-mod", mod.c_str(), "-datadir", data.c_str(), "-port", "1",
                                 "-width", "320", "-height", "240", nullptr};
    if (chdir(_user.c_str()) != 0) abort();
    game_init(13, (char**)argv);
    if (chdir(_cwd.c_str()) != 0) abort();
    return 0;
}

/* ---- the state under test ---- */

static Game* _g() { return game_current(); }
static lua_State* _L() {
    Game* g = _g();
    return g && g->mod ? static_cast<ModsLua*>(g->mod)->L : nullptr;
}
static bool _failed() { return _g()->mod && !_g()->mod->is_okay(); }

static void _rm_contents(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (struct dirent* e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        nftw((dir + "/" + e->d_name).c_str(), _rm, 8, FTW_DEPTH | FTW_PHYS);
    }
    closedir(d);
}

// Events reaching the script: every widget name they carry is a widget's.
static int _event_check(lua_State* L) {
    if (lua_istable(L, 1)) {
        lua_getfield(L, 1, "type");
        bool gui = lua_isstring(L, -1) && !strcmp(lua_tostring(L, -1), "gui");
        if (!lua_isstring(L, -1)) _fail("event without a type", "");
        for (const char* key : {"focus", gui ? "name" : nullptr}) {
            if (!key) continue;
            lua_getfield(L, 1, key);
            size_t n;
            const char* s = lua_tolstring(L, -1, &n);
            if (s) {
                std::string name(s, n);
                ModsAPI* api = _g()->api;
                if (!api->gui[0].find(name) && !api->gui[1].find(name))
                    _fail("event names no widget", std::string(key) + " = '" + name + "'");
            }
            lua_pop(L, 1);
        }
        lua_pop(L, 1);
    }
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, 0);
    return 0;
}

static void _wrap_event() {
    lua_State* L = _L();
    if (!L) return;
    lua_getglobal(L, "_event");
    if (lua_isfunction(L, -1)) {
        lua_pushcclosure(L, _event_check, 1);
        lua_setglobal(L, "_event");
    } else {
        lua_pop(L, 1);
    }
}

// The call kept for a repeat: its function; its arguments are in the registry.
static int _last_fn = -1;
// A script that failed before the last frame: none of its code runs any more, so no
// call is made for it (calls made after its failure in the same frame are the rest of
// the failing host call).
static ModsBase* _dead = nullptr;

// Raises, and counts how often it was called: from an entry call (_loop, an event, a
// nested _event of "video:resize", a require filter ...) its error must fail the script.
static int _sabotaged = 0;
static int _saboteur(lua_State* L) {
    _sabotaged++;
    return luaL_error(L, "fuzz: sabotaged");
}

static void _start(FuzzIn& in) {
    Game* g = _g();
    _rm_contents(_user);
    mods_api_datadir_set((std::string(KEL_SOURCE_DIR) + "/data").c_str());
    driver_appid_set(_gl ? "KelGame" : "");
    const char* game = _games[in.u8() % (sizeof _games / sizeof *_games)];
    std::string path = game ? std::string(KEL_SOURCE_DIR) + "/" + game : _root + "/empty/main.lua";
    snprintf(g->script_path, sizeof g->script_path, "%s", path.c_str());
    snprintf(g->mod_path, sizeof g->mod_path, "%s", path.c_str());
    // A window an earlier input made large or full screen would slow every frame after.
    int w = 0, h = 0;
    if (_gl && driver_video_window()) SDL_GetWindowSize(driver_video_window(), &w, &h);
    if (_gl && (w != 320 || h != 240 || g->fullscreen == 1)) {
        g->fullscreen = 0;
        driver_video_init(320, 240, 320, 240, 320, 240, 0);
    }
    g->quit = 0;
    _last_fn = -1;
    _dead = nullptr;
    mods_restart(g, 1);
    _wrap_event();
}

/* ---- operations ---- */

static void _push_arg(lua_State* L, FuzzIn& in, int kind, const char* ext_name);

// The argument of an extension call: JSON with the name's keys (sometimes spoilt), any
// text, or a value of another type. Screenshots and requests get arguments that keep
// them to /tmp and to this machine.
static void _push_ext_arg(lua_State* L, FuzzIn& in, const char* name) {
    std::string text;
    uint8_t mode = in.u8() % 8;
    if (!strcmp(name, "screenshot")) {
        // written in the run's directory (never the default /tmp/misc_screenshot.jpg,
        // which others may be reading), or refused: no such directory, unknown format
        static const char* const shots[] = {"/shot.png", "/shot.jpg", "kelfuzz-none/x.png",
                                            "kelfuzz.bmp", "{\"filename\":5}"};
        const char* shot = in.pick(shots);
        text = shot[0] == '/' ? "{\"filename\":\"" + _root + shot + "\"}"
               : strchr(shot, '.') ? "{\"filename\":\"" + std::string(shot) + "\"}"
                                   : shot;
        lua_pushlstring(L, text.data(), text.size());
        return;
    } else if (!strcmp(name, "http:request") && mode < 7) {
        static const char* const hosts[] = {"127.0.0.1", "", "kelfuzz.invalid", "bad host\x01"};
        text = "{\"host\":";
        fz_json_string(text, in.u8() % 8 ? in.pick(hosts) : std::string(300, 'h'));
        text += ",\"port\":" + std::to_string(in.u8() % 2);
        for (const char* key : {"path", "body", "timeout", "max_size"}) {
            if (in.u8() & 1) continue;
            text += ",\"" + std::string(key) + "\":";
            fz_json(text, in, "", 1);
        }
        text += '}';
    } else if (mode < 5) {
        const char* keys = "";
        for (const FzExtKeys& k : fz_ext_keys)
            if (!strncmp(name, k.prefix, strlen(k.prefix))) {
                keys = k.keys;
                break;
            }
        if (mode < 3) fz_json_object(text, in, keys, 0);
        else fz_json(text, in, keys, 0);
        if (mode == 4 && !text.empty()) {               // spoilt: cut or a byte changed
            size_t at = in.u8() % text.size();
            if (in.u8() & 1) text.resize(at);
            else text[at] = (char)in.u8();
        }
    } else if (mode < 7) {
        text = FZ_STRING(in, fz_texts);
    } else {
        _push_arg(L, in, A_ANY, nullptr);
        return;
    }
    text = fz_harmless(text);
    lua_pushlstring(L, text.data(), text.size());
}

static void _push_arg(lua_State* L, FuzzIn& in, int kind, const char* ext_name) {
    if (in.u8() % 8 == 0) kind = A_ANY;  // any type where another is expected
    std::string s;
    switch (kind) {
    case A_NUM: lua_pushnumber(L, fz_number(in)); return;
    case A_ANY: fz_push_any(L, in, 0); return;
    case A_EXT: _push_ext_arg(L, in, ext_name); return;
    case A_KEY: s = FZ_STRING(in, fz_keys); break;
    case A_FILE: s = FZ_STRING(in, fz_files); break;
    case A_IMAGE: s = FZ_STRING(in, fz_images); break;
    case A_FONT: s = FZ_STRING(in, fz_fonts); break;
    case A_SOUND: s = FZ_STRING(in, fz_sounds); break;
    case A_MODULE: s = FZ_STRING(in, fz_modules); break;
    default: s = FZ_STRING(in, fz_texts); break;
    }
    lua_pushlstring(L, s.data(), s.size());
}


static bool _is_text(lua_State* L, int i) {
    int t = lua_type(L, i);
    return t == LUA_TSTRING || t == LUA_TNUMBER;
}

// Checks one answered call: the error it raised (null when none) and its results.
static void _check_call(lua_State* L, const Fn& fn, int base, int nargs, const char* err) {
    if (!fn.engine) return;
    std::string what = std::string(fn.name) + " with " + std::to_string(nargs) + " arguments";
    std::string expected;
    if (nargs < fn.min || nargs > fn.max) {
        expected = "incorrect number of arguments";
    } else {
        for (int i = 0; i < nargs && expected.empty(); i++)
            if ((fn.strings >> i & 1) && !_is_text(L, base + 1 + i)) expected = "null string";
        if (expected.empty() && &fn == &_fns[FN_PARAMS_SET] && !lua_isnil(L, base + 2) &&
            !lua_isboolean(L, base + 2) && !_is_text(L, base + 2))
            expected = "null string";
    }
    if (!expected.empty()) {
        if (!err || expected != err)
            _fail("wrong error",
                  what + ": '" + (err ? err : "(none)") + "', not '" + expected + "'");
        return;
    }
    if (err) {
        // a module that is not there is the one error a good call may raise
        if (!strcmp(fn.name, "require") && !strcmp(err, "file missing")) return;
        _fail("a good call raised", what + ": " + err);
    }
    if (&fn != &_fns[FN_EXT]) return;
    const char* name = lua_tostring(L, base + 1);
    size_t n;
    const char* r = lua_tolstring(L, -1, &n);
    if (!r || lua_gettop(L) != base + nargs + 1) _fail("no string from kel_ext_call", name);
    std::string result(r, n);
    if (!strcmp(name, "exit") || !strcmp(name, "open_url")) {
        if (!result.empty()) _fail("answer of exit/open_url", result);
        return;
    }
    if (!strcmp(name, "md5_digest")) {
        if (result.size() != 32 ||
            result.find_first_not_of("0123456789abcdef") != std::string::npos)
            _fail("md5_digest", result);
        return;
    }
    std::string doc = "[" + result + "]";
    var v;
    if (json_decode(v, doc.data(), (int)doc.size()) != 0 || v.len() != 1)
        _fail("answer is not JSON", std::string(name) + ": " + result);
    unsigned types = R_NULL;
    for (const ExtResult& e : _ext_results)
        if (!strcmp(e.name, name)) types = e.types;
    if (!(types >> v[0].type() & 1))
        _fail("answer of the wrong type", std::string(name) + ": " + result);
}

// FUZZ_SCRIPT_TRACE=1 prints every operation: what a crashing input did.
static const bool _trace = getenv("FUZZ_SCRIPT_TRACE") != nullptr;

static void _trace_call(lua_State* L, const char* name, int first, int nargs) {
    fprintf(stderr, "call %s(", name);
    for (int i = 0; i < nargs; i++) {
        size_t n = 0;
        const char* s = lua_type(L, first + i) == LUA_TSTRING ? lua_tolstring(L, first + i, &n)
                                                              : nullptr;
        std::string text = s ? "'" + std::string(s, n < 200 ? n : 200) + (n > 200 ? "...'" : "'")
                              : luaL_tolstring(L, first + i, nullptr);
        if (!s) lua_pop(L, 1);
        fprintf(stderr, "%s%s", i ? ", " : "", text.c_str());
    }
    fprintf(stderr, ")\n");
}

// One call of a function the script sees. repeat: the arguments of the last call again.
static void _call(FuzzIn& in, int fn_index, bool repeat) {
    lua_State* L = _L();
    if (!L || _g()->mod == _dead) return;
    const Fn& fn = _fns[fn_index];
    int base = lua_gettop(L);
    lua_getglobal(L, fn.name);
    if (!lua_isfunction(L, -1)) {  // the game put something else there
        lua_settop(L, base);
        return;
    }
    int nargs;
    if (repeat) {
        lua_getfield(L, LUA_REGISTRYINDEX, "fuzz_last");
        nargs = (int)lua_rawlen(L, -1);
        for (int i = 1; i <= nargs; i++) lua_rawgeti(L, base + 2, i);
        lua_remove(L, base + 2);
    } else {
        // mostly the right count, sometimes one too few or too many
        uint8_t c = in.u8();
        nargs = c % 4 ? fn.min + c % (fn.max - fn.min + 1) : c % 8 == 0 ? fn.min - 1 : fn.max + 1;
        if (nargs < 0) nargs = 0;
        bool shot = false;  // a screenshot always gets a file name (see _push_ext_arg)
        const char* ext_name = nullptr;
        for (int i = 0; i < nargs; i++) {
            if (fn_index == FN_EXT && i == 0) {
                std::string s = in.u8() % 8 ? in.pick(fz_ext_names) : FZ_STRING(in, fz_texts);
                lua_pushlstring(L, s.data(), s.size());
                ext_name = lua_tostring(L, -1);
                shot = s == "screenshot";
                if (shot && nargs == 1) nargs = 2;
            } else if (shot && i == 1) {
                _push_ext_arg(L, in, "screenshot");
            } else {
                _push_arg(L, in, i < 8 ? fn.args[i] : A_ANY, ext_name ? ext_name : "");
            }
        }
        lua_createtable(L, nargs, 0);
        for (int i = 1; i <= nargs; i++) {
            lua_pushvalue(L, base + 1 + i);
            lua_rawseti(L, -2, i);
        }
        lua_setfield(L, LUA_REGISTRYINDEX, "fuzz_last");
        _last_fn = fn_index;
    }
    if (_trace) _trace_call(L, fn.name, base + 2, nargs);
    // a copy is called: the function and the arguments stay for the checks
    for (int i = 0; i <= nargs; i++) lua_pushvalue(L, base + 1 + i);
    // Script code runs inside a call of the host's (_init, _loop, ...): so does this one.
    ModsLua* mod = static_cast<ModsLua*>(_g()->mod);
    mod->depth++;
    int status = lua_pcall(L, nargs, LUA_MULTRET, 0);
    if (_g()->mod != mod) return;  // the call restarted the script
    mod->depth--;
    lua_remove(L, base + 1);  // now base+1.. the arguments, then the results or the error
    const char* err = nullptr;
    std::string err_text;
    if (status != LUA_OK) {
        const char* m = lua_tostring(L, -1);
        err_text = m ? m : "(not a string)";
        err = err_text.c_str();
    }
    _check_call(L, fn, base, nargs, err);
    lua_settop(L, base);
}

static void _frame() {
    if (_trace) fprintf(stderr, "frame\n");
    // The window system's own events are read, as the main loop does (unread, its queue
    // grows), but not handed on: the input comes from the fuzzer alone.
    Event e;
    while (_gl && driver_event_poll(&e)) {
    }
    game_loop();
    game_paint();
    _dead = _failed() ? _g()->mod : nullptr;
    _g()->quit = 0;  // "exit", "quit" and Ctrl+Q end nothing here
}

static const int _keys[] = {DRIVER_KEY_UP, DRIVER_KEY_RIGHT, DRIVER_KEY_DOWN, DRIVER_KEY_LEFT,
                            DRIVER_KEY_RETURN, DRIVER_KEY_SPACE, DRIVER_KEY_TAB, DRIVER_KEY_ESCAPE,
                            DRIVER_KEY_F1 + 4, DRIVER_KEY_BACKQUOTE, DRIVER_KEY_A + 5,
                            DRIVER_KEY_A + 16, 0};
static const int _syms[] = {0x4000004f, 0x40000050, 0x40000051, 0x40000052, 13, 32, 9, 27,
                            0x4000003e, 96, 'f', 'q', 'a', -1, 0x7fffffff};

static void _event(FuzzIn& in) {
    Event e = Event();
    e.type = 1 + in.u8() % 23;
    int k = in.u8() % (sizeof _keys / sizeof *_keys);
    e.key = _keys[k];
    e.sym = k < 12 ? _syms[k] : _syms[in.u8() % (sizeof _syms / sizeof *_syms)];
    uint8_t b = in.u8();
    e.button = b < 200 ? b % 24 - 3 : (int)in.u32();
    e.unicode = in.u8() % 4 ? 0 : (int)in.u32() % 0x110000;
    e.device = in.u8() % 3;
    float* f[] = {&e.x, &e.y, &e.dx, &e.dy, &e.width, &e.height};
    for (float* v : f) *v = in.u8() % 4 ? (float)(int8_t)in.u8() * 4 : (float)fz_number(in);
    if (_trace)
        fprintf(stderr, "event %d key %d sym %d button %d\n", e.type, e.key, e.sym, e.button);
    game_event(e);
}

// Replaces one of the script's functions by one that raises.
static void _sabotage(FuzzIn& in) {
    static const char* const fns[] = {"_loop", "_event", "_paint", "_init"};
    const char* fn = in.pick(fns);
    lua_State* L = _L();
    if (!L) return;
    if (_trace) fprintf(stderr, "sabotage %s\n", fn);
    lua_pushcfunction(L, _saboteur);
    lua_setglobal(L, fn);
}

// Everything the process holds, less the console (bounded, but filling up to its limit).
static size_t _heap() {
    lua_State* L = _L();
    if (L) lua_gc(L, LUA_GCCOLLECT, 0);
    const std::vector<std::string>& lines = _g()->api->console_lines;
    size_t n = __sanitizer_get_current_allocated_bytes() - lines.capacity() * sizeof lines[0];
    for (const std::string& s : lines)
        if (s.capacity() > 15) n -= s.capacity() + 1;  // longer than fits in the string
    return n;
}

static int _quiet(lua_State*) { return 0; }

// The last call with the same arguments, a frame after each: after a warm-up the heap
// must not grow in two windows in a row (a one-off growth, such as a cache filling or a
// vector doubling, happens in one). Calls that legitimately keep what they make (a
// database opened, a request still waiting for its name, lines printed) are left out.
static void _repeat() {
    lua_State* L = _L();
    if (!L || _last_fn < 0 || !strcmp(_fns[_last_fn].name, "print"))
        return;
    lua_getfield(L, LUA_REGISTRYINDEX, "fuzz_last");
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        return;
    }
    lua_rawgeti(L, -1, 1);
    lua_rawgeti(L, -2, 2);
    const char* a1 = lua_tostring(L, -2);
    size_t a2_len = 0;
    const char* a2 = lua_tolstring(L, -1, &a2_len);
    // a request to a name waits for the resolver thread, however long it takes; an
    // argument of a megabyte takes a tenth of a second, too long to do 80 times
    bool skip = a2_len > 65536 ||
                (_last_fn == FN_EXT && a1 && (!strcmp(a1, "db:open") ||
                 (!strcmp(a1, "http:request") && !(a2 && strstr(a2, "{\"host\":\"127.0.0.1\"")))));
    lua_pop(L, 3);
    if (skip) return;
    // with a window every frame is drawn: fewer, for the same 32 bytes a call
    const int WARM = _gl ? 8 : 16, WINDOW = _gl ? 16 : 32;
    const size_t LIMIT = 32 * WINDOW;
    FuzzIn none = {nullptr, 0};
    ModsAPI* api = _g()->api;
    // The game's own code is silenced meanwhile: what it keeps as it plays is its own.
    lua_createtable(L, 0, 3);
    for (const char* f : {"_loop", "_paint", "_event"}) {
        lua_getglobal(L, f);
        lua_setfield(L, -2, f);
        lua_pushcfunction(L, _quiet);
        lua_setglobal(L, f);
    }
    lua_setfield(L, LUA_REGISTRYINDEX, "fuzz_saved");
    size_t at[3];
    for (int w = 0; w < 3; w++) {
        for (int i = 0; i < (w ? WINDOW : WARM); i++) {
            _call(none, _last_fn, true);
            _frame();
            if (_g()->api != api) return;  // restarted: nothing to compare
        }
        at[w] = _heap();
    }
    lua_getfield(L, LUA_REGISTRYINDEX, "fuzz_saved");
    for (const char* f : {"_loop", "_paint", "_event"}) {
        lua_getfield(L, -1, f);
        lua_setglobal(L, f);
    }
    lua_pop(L, 1);
    if (at[1] > at[0] + LIMIT && at[2] > at[1] + LIMIT)
        _fail("memory grows per call", std::string(_fns[_last_fn].name) + ": " +
                                           std::to_string(at[1] - at[0]) + " then " +
                                           std::to_string(at[2] - at[1]) + " bytes per " +
                                           std::to_string(WINDOW) + " calls");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzIn in = {data, size};
    if (chdir(_user.c_str()) != 0) abort();
    _start(in);
    int repeats = 0;
    for (int ops = 0; in.n && ops < 64; ops++) {
        ModsBase* mod = _g()->mod;
        bool failed = _failed();
        int sabotaged = _sabotaged;
        uint8_t op = in.u8() % 16;
        if (op < 4) _call(in, FN_EXT, false);
        else if (op < 8) _call(in, 1 + in.u8() % (sizeof _fns / sizeof *_fns - 1), false);
        else if (op < 11) _event(in);
        else if (op < 14) _frame();
        else if (op < 15) {
            _sabotage(in);
            _frame();
        }
        else if (repeats++ < 2) _repeat();
        // Once failed, only a restart (a new mod) makes a script run again.
        if (failed && _g()->mod == mod && !_failed()) _fail("a failed script runs again", "");
        if (_sabotaged != sabotaged && _g()->mod == mod && !_failed())
            _fail("an error in the script did not fail it", "");
        if (_g()->mod != mod) {  // restarted (F5, Back+Start): a new Lua state
            _wrap_event();
            _last_fn = -1;
        }
    }
    if (chdir(_cwd.c_str()) != 0) abort();
    return 0;
}
