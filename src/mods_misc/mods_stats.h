// mods_stats: the frame's figures (times, drawing, memory) and the overlay showing them.
//
// The host adds the time of each part of a frame as it runs; at the frame's end the
// figures of the frame are kept. The overlay, shown with "-stats" or toggled with
// Ctrl+F3, draws them in the window's top left corner over everything else; its own
// drawing is not in the figures. Scripts read the same figures from "stats:get".
//
//   mods_stats_init(shown);
//   double t = mods_stats_now(); ...; mods_stats_add(MODS_STATS_SCRIPT, mods_stats_now() - t);
//   if (mods_stats_key(e)) return;   // event router
//   mods_stats_scene_end(game);      // the frame's drawing is done (before the overlay)
//   mods_stats_paint(game);          // the overlay, when shown
//   mods_stats_frame_end();          // after the wait
//   mods_stats_deinit();
#ifndef MODS_STATS_H
#define MODS_STATS_H

#include <string>

#include "util/kel_var.h"

struct Game;
struct Event;

// Parts of a frame's time: the script's entry points, replay and GL submission (the
// swap included), the limiter's wait.
enum { MODS_STATS_SCRIPT, MODS_STATS_DRAW, MODS_STATS_WAIT, MODS_STATS_PARTS };

void mods_stats_init(int shown);
void mods_stats_deinit();
double mods_stats_now();  // seconds of a monotonic clock
void mods_stats_add(int part, double seconds);
// Ctrl+F3: shows or hides the overlay; 1 when the event was that key (not delivered).
int mods_stats_key(const Event& e);
int mods_stats_shown();
void mods_stats_scene_end(Game* game);
void mods_stats_paint(Game* game);
void mods_stats_frame_end();
// The figures of the last whole frame as a JSON object (see "stats:get").
var mods_stats_get(Game* game);
// Extension handler: serves "stats:get".
var mods_stats_call(Game* game, const std::string& name, var args);

#endif
