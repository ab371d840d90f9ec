// game: the game host and the entry glue of the frame loop.
//
// One Game per process. main() talks to it only through the six glue functions:
//
//   game_init(argc, argv);
//   while (!game_quit(-1)) { poll events -> game_event(e); game_loop(); game_paint(); }
//   game_deinit();
//   return game_exit_status();
//
// Script-API code reaches the running host through game_current(). Every glue
// function does nothing (game_quit answers 1) while no Game exists.
#ifndef GAME_H
#define GAME_H

#include <stdio.h>

#include <string>
#include <vector>

#include "util/kel_driver-input.h"
#include "util/kel_replay.h"

class ModsAPI;
class ModsBase;

enum { GAME_PATH_MAX = 512 };

// What the host does when its script is no longer sound ("-crash").
enum { GAME_CRASH_WAIT = 0, GAME_CRASH_EXIT = 1, GAME_CRASH_RESTART = 2 };

// "-capture N:PATH": frame N is written to PATH as a PNG.
struct GameCapture {
    int frame;
    std::string path;
};

struct Game {
    int started;
    char script_path[GAME_PATH_MAX];  // entry script that mods_reload requires
    ModsAPI* api;                     // owned
    ModsBase* mod;                    // owned
    int quit;
    int suspendable;
    char mod_path[GAME_PATH_MAX];  // "-mod" value, or the data-area "main.lua"
    int argc;
    char** argv;
    // 0 at start (1 full screen: "--fullscreen", a small display), then 1, -1, 1, ...;
    // only 1 means full screen
    int fullscreen;
    int fullscreen_option;  // "--fullscreen"
    int width;       // "-width", 0 = driver default
    int height;      // "-height"
    int headless;
    int crash;  // GAME_CRASH_*
    int stats;  // "-stats": the performance overlay from the start

    // Runs in a game's CI: "-frames N", "-fixed-dt", "-record FILE", "-replay FILE",
    // "-capture N:PATH" (0 / empty when not given).
    int frames;    // quit after this many frames
    int fixed_dt;  // every dt is 1/60 s and the limiter never sleeps
    std::string record_path, replay_path;
    std::vector<GameCapture> captures;
    int frame;     // frames run so far; events carry it in a record
    FILE* record;  // open while recording
    std::vector<ReplayEvent> replay;  // events still to deliver, in frame order
    size_t replay_next;
};

void game_init(int argc, char** argv);
int game_quit(int request);  // request >= 0 stores it; answers 1 when quitting
void game_event(Event e);  // a platform event; "-record" writes it
// An event the engine makes itself (a window resize asked for by the script, ...): routed
// like a platform event but not recorded, as a replayed run makes it again.
void game_post(Event e);
void game_loop();
void game_paint();
void game_deinit();

// Process status for main(), read after game_deinit: 1 when the game ended because its
// script failed or a CI option (-record, -replay, -capture) could not be done; 128 + N
// when signal N ended it (said on stderr).
int game_exit_status();

// The directory of the running program ("" when unknown); kelgame's own files are
// found from it.
std::string game_exe_dir();

// The host of the running game (set by the start step), or null.
Game* game_current();

// Version text: "kelgame <version> (<build date>)".
const char* game_version();

// Options of the host's own parser; exposed so tests can check it without a start.
void game_options_parse(Game* game, int argc, char** argv);

// Frame arithmetic (milliseconds of driver_ticks()):
// time step in seconds for a frame from last to now, clamped to [0, 1];
float game_dt(int last, int now);
// milliseconds the limiter waits after a frame that began at last and ends at now.
int game_limiter_wait(int last, int now);

// Resets the frame loop's time stamps to "not yet taken" (tests, fresh starts).
void game_clock_reset();

#endif
