// ext_gui: the script's widget trees, reached through the "gui:*" extension names.
//
// The API holds two roots: gui[0] is the game's interface tree, gui[1] an overlay
// drawn above it (pause menu, dialog) that takes the input while it has children.
// The host offers each key, text, pointer and controller event to the tree that takes
// input before the script's _event; a value the tree answers with reaches the script
// as {type = "gui", name = <widget>, value = <handler value>}, and an event the tree
// consumed is not delivered again. With no widgets every event passes unchanged.
//
//   ext_gui_init(game);
//   if (!ext_gui_route(game, e)) deliver(e);   // per event
//   ext_gui_paint(game);                       // after the draw list is replayed
//   ext_gui_deinit();
#ifndef EXT_GUI_H
#define EXT_GUI_H

#include <string>

#include "util/kel_driver-input.h"
#include "util/kel_var.h"

struct Game;

void ext_gui_init(Game* host);
void ext_gui_deinit();
// Extension handler of the "gui:*" names; none for other names.
var ext_gui_call(Game* host, const std::string& name, var args);
// Offers an event to the trees; true when they consumed it.
bool ext_gui_route(Game* host, const Event& e);
// Lays out and paints the interface tree, then the overlay, in the script's view.
void ext_gui_paint(Game* host);

#endif
