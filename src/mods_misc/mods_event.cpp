// mods_event: Event records become the script's event dictionaries.
#include "src/mods_misc/mods_event.h"

#include <SDL.h>
#include <string.h>

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_base.h"
#include "src/mods_misc/mods_view.h"
#include "util/kel_driver-input.h"
#include "util/kel_driver.h"
#include "util/kel_gfx.h"
#include "util/kel_var.h"

const char* mods_event_type_name(int type) {
    if (type == 0 || type == 30 || type == 31) return nullptr;
    const char* name = driver_event_type_name(type);
    return name ? name : "?";
}

const char* mods_event_button_name(int button) {
    static const char* renames[][2] = {
        {"dpup", "Up"},   {"dpright", "Right"}, {"dpdown", "Down"},         {"dpleft", "Left"},
        {"a", "A"},       {"b", "B"},           {"x", "X"},                 {"y", "Y"},
        {"start", "Start"}, {"back", "Back"},   {"rightshoulder", "RS"},    {"leftshoulder", "LS"},
    };
    const char* name = SDL_GameControllerGetStringForButton((SDL_GameControllerButton)button);
    if (!name) return "";  // invalid button: the script still gets a string
    for (auto& r : renames)
        if (!strcmp(name, r[0])) return r[1];
    return name;
}

// Pointer events carry view coordinates; the raw window values stay in the window fields.
void mods_event_to_view(Event* e) {
    e->window_x = e->x;
    e->window_y = e->y;
    e->window_dx = e->dx;
    e->window_dy = e->dy;
    float x0, y0, x1, y1;
    gfx_screen_to_view(e->x, e->y, &x0, &y0);
    gfx_screen_to_view(e->x + e->dx, e->y + e->dy, &x1, &y1);
    e->x = x0;
    e->y = y0;
    e->dx = x1 - x0;
    e->dy = y1 - y0;
}

void mods_event_translate(Game* game, Event e, const char* focus) {
    const char* type = mods_event_type_name(e.type);
    if (!type || !game) return;
    ModsAPI* api = game->api;

    mods_view_apply(api);
    bool pointer = e.type == EVT_DOWN || e.type == EVT_MOTION || e.type == EVT_UP ||
                   e.type == EVT_WHEEL;
    // Headless runs have no view: positions stay as they came.
    if (pointer && gfx_ready()) mods_event_to_view(&e);

    if (e.type == EVT_RESIZE && api) {
        int w = 0, h = 0;
        driver_screen_size_get(&w, &h);
        api->params_set("window_w", var(w));
        api->params_set("window_h", var(h));
    }

    var d(4, 0);
    // One byte, as the fonts draw Latin-1 codes; a character beyond that range has no
    // byte of its own and shows as "?" rather than as whatever its low byte happens to be.
    char text[2] = {(char)(e.unicode > 255 ? '?' : e.unicode & 255), 0};
    d.set("type", var(type));
    d.set("x", var(e.x));
    d.set("y", var(e.y));
    d.set("w", var(e.width));
    d.set("h", var(e.height));
    d.set("dx", var(e.dx));
    d.set("dy", var(e.dy));
    d.set("text", var(text));
    d.set("button", var(e.button));
    d.set("device", var(e.device));

    switch (e.type) {
    case EVT_KEYDOWN:
    case EVT_KEYUP:
        d.set("key", var(e.sym));
        d.set("name", var(driver_key_name(e.sym)));
        break;
    case EVT_JOYDOWN:
    case EVT_JOYUP: d.set("name", var(mods_event_button_name(e.button))); break;
    case EVT_JOYMOTION:
        if (e.button == -1) d.set("name", var("Left"));
        if (e.button == 1) d.set("name", var("Right"));
        if (e.button == -2) d.set("name", var("L2"));
        if (e.button == 2) d.set("name", var("R2"));
        break;
    }
    if (!game->mod || !game->mod->overrides(ModsBase::OP_EVENT)) return;
    if (focus) {
        // The widget's name is the script's own text: it goes in as a table, never as
        // Lua text (where a "]=]" in it would come back as "?").
        d.set("focus", var(focus));
        game->mod->event_exact(d);
    } else {
        game->mod->event(d);
    }
}
