// mods_view: the script's view parameters pushed into graphics, and the draw-list replay.
//
//   mods_view_apply(api);    // view_x/_y/_w/_h -> graphics view, letterbox scale
//   mods_draw_replay(api);   // the API's draw list through the batch, then shown
//
// The view scale is always the letterbox fit of view_w x view_h into the window; a
// script's own view_scale is overwritten.
#ifndef MODS_VIEW_H
#define MODS_VIEW_H

class ModsAPI;

// Reads view_x, view_y, view_w, view_h from the API's params into graphics and stores
// the fit scale into view_scale.
void mods_view_apply(ModsAPI* api);
// Replays the API's draw list through the batch. Does nothing without graphics.
void mods_draw_replay(ModsAPI* api);
// The running script's "filter" parameter as text ("" when unset); for gfx_filter_query_set.
const char* mods_view_filter();

#endif
