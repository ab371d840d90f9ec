#include "src/mods_misc/mods_view.h"

#include <GLES/gl.h>

#include <string>

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "util/kel_driver.h"
#include "util/kel_gfx.h"

void mods_view_apply(ModsAPI* api) {
    if (!api || !gfx_ready()) return;
    var& p = api->params;
    float vw = p["view_w"].to_float(), vh = p["view_h"].to_float();
    int sw = 0, sh = 0;
    driver_screen_size_get(&sw, &sh);
    float sx = (float)sw / vw, sy = (float)sh / vh;
    p.set("view_scale", var(sx < sy ? sx : sy));
    gfx_view_size_set((int)vw, (int)vh);
    gfx_view_offset_set(-p["view_x"].to_float(), -p["view_y"].to_float());
    gfx_view_scale_set(p["view_scale"].to_float());
}

void mods_draw_replay(ModsAPI* api) {
    if (!api || !gfx_ready()) return;
    GfxReplay r;
    gfx_replay_begin(&r);
    for (const DrawCmd& c : api->draw_list) {
        switch (c.type) {
        case DRAW_VIEW:
            gfx_batch_flush();
            api->params.set("view_x", var(c.x));
            api->params.set("view_y", var(c.y));
            api->params.set("view_w", var(c.w));
            api->params.set("view_h", var(c.h));
            mods_view_apply(api);
            gfx_ortho();
            break;
        case DRAW_IMAGE: gfx_replay_image(&r, c); break;
        case DRAW_TEXT: gfx_replay_text(&r, c); break;
        case DRAW_RECT: gfx_replay_rect(c); break;
        default:
            if (c.type > 255) {
                gfx_batch_flush();
                glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
                glColor4ub(254, 254, 254, 255);
            }
            break;
        }
    }
    gfx_replay_end();
}

const char* mods_view_filter() {
    static std::string text;
    Game* g = game_current();
    text.clear();
    if (g && g->api && g->api->params.type() == 4 && g->api->params.has("filter"))
        text = g->api->params["filter"].str();
    return text.c_str();
}
