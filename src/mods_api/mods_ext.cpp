// Extension calls: a few names served here, the rest offered to the handlers.
#include "src/mods_api/mods_ext.h"

#include <string.h>

#include <SDL.h>

#include "src/ext_gui/ext_gui.h"
#include "src/ext_misc/ext_misc.h"
#include "src/ext_net/ext_net.h"
#include "src/ext_trans/ext_trans.h"
#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "util/kel_driver-sdl2.h"
#include "util/kel_driver.h"
#include "util/kel_json.h"
#include "util/kel_md5.h"

// Tried in order; the first result that is not none wins.
static const mods_ext_handler_fn _mods_ext_handlers[] = {
    ext_trans_call,
    ext_misc_call,
    ext_gui_call,
    ext_net_call,
};

std::string ModsAPI::ext_call(const char* name, const char* arg) {
    return mods_ext_call(this, name, arg);
}

std::string mods_ext_call(ModsAPI* api, const char* name, const char* arg) {
    if (!strcmp(name, "open_url")) {
        if (SDL_Window* w = driver_video_window()) SDL_MinimizeWindow(w);
        driver_open_url(arg);
        return std::string();
    }
    if (!strcmp(name, "exit")) {
        if (api->game) api->game->quit = 1;
        return std::string();
    }
    if (!strcmp(name, "md5_digest")) return md5_hex(arg, strlen(arg));

    // The brackets make any single JSON value (even a bare number) a document; the
    // decoder's result code is not needed: whatever it built is offered.
    std::string text = "[" + std::string(arg) + "]";
    var doc;
    json_decode(doc, text.data(), (int)text.size());
    var value = doc.type() == 3 && doc.len() > 0 ? doc[0] : var();  // "" is no argument
    var result;
    for (mods_ext_handler_fn h : _mods_ext_handlers) {
        result = h(api->game, name, value);
        if (!result.is_none()) break;
    }
    return json_encode(result);
}
