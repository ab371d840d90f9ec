// mods_console: the script console drawn over the game, and its keys.
//
// With a window the newest console lines are drawn over the frame in a dimmed band
// whenever the console is open. It opens by itself when the script fails (so its
// last frame shows what went wrong); Ctrl+` (backquote) opens and closes it over a
// running game. While it is open, and always after a failure, F5 restarts the script,
// and so do Back and Start held together on a controller. The keys work headless too
// (replayed input); only the drawing needs a window.
//
//   mods_console_init();                       // game start
//   if (mods_console_key(game, e)) return;     // event router, before the rest
//   mods_console_paint(game);                  // after the script's frame
//   mods_console_deinit();
#ifndef MODS_CONSOLE_H
#define MODS_CONSOLE_H

struct Game;
struct Event;

void mods_console_init();
void mods_console_deinit();
// Handles the console's own keys; 1 when the event was one of them (not delivered).
int mods_console_key(Game* game, const Event& e);
// Draws the console over the frame when it is open; nothing without graphics.
void mods_console_paint(Game* game);
// kelgame's own font at px pixels (the game's where it is missing); 0 without either.
int mods_console_font(int px);
// 1 while the console is open (tests, the paint step).
int mods_console_open();

#endif
