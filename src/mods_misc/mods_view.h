// mods_view: the script's view parameters pushed into graphics, and the draw-list replay.
// (Placeholder interface; the graphics unit fills it in.)
#ifndef MODS_VIEW_H
#define MODS_VIEW_H

class ModsAPI;

// Reads view_x, view_y, view_w, view_h, view_scale from the API's params into graphics.
void mods_view_apply(ModsAPI* api);
// Replays the API's draw list through the batch.
void mods_draw_replay(ModsAPI* api);

#endif
