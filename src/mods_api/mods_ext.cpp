// Extension calls: a few names served here, the rest offered to the handlers.
#include "src/mods_api/mods_ext.h"

#include <string.h>

#include <SDL.h>

#include "src/ext_gui/ext_gui.h"
#include "src/ext_misc/ext_misc.h"
#include "src/ext_net/ext_net.h"
#include "src/ext_trans/ext_trans.h"
#include "src/game/game.h"
#include "src/mods_misc/mods_stats.h"
#include "src/mods_api/mods_api.h"
#include "util/kel_driver-sdl2.h"
#include "util/kel_driver.h"
#include "util/kel_json.h"
#include "util/kel_log.h"
#include "util/kel_md5.h"

// Tried in order; the first result that is not none wins.
static const mods_ext_handler_fn _mods_ext_handlers[] = {
    ext_trans_call,
    ext_misc_call,
    ext_gui_call,
    ext_net_call,
    mods_stats_call,
};

// Every name served here or by a handler; a name outside it is almost surely misspelt.
static const char* const _mods_ext_names[] = {
    "open_url", "exit", "md5_digest",
    "trans:init", "trans:ready", "trans:grab0", "trans:grab1", "trans:draw",
    "screenshot", "clipboard:set", "clipboard:get", "quit", "image:load", "image:sub",
    "keyboard:show", "keyboard:hide", "timer:get_ticks", "memory:get", "video:resize",
    "gui:add", "gui:clear", "gui:set", "gui:get", "gui:remove", "gui:focus", "gui:select",
    "http:request", "http:cancel", "db:open", "db:query", "db:close",
    "stats:get",
};

bool mods_ext_known(const char* name) {
    for (const char* n : _mods_ext_names)
        if (!strcmp(name, n)) return true;
    return false;
}

// The argument as it came, on one line and cut short, for the warning.
static std::string _mods_ext_excerpt(const char* arg) {
    std::string s(arg, strnlen(arg, 61));
    if (s.size() > 60) s.replace(57, std::string::npos, "...");
    return s;
}

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

    // The brackets make any single JSON value (even a bare number) a document. An
    // argument that does not decode whole is refused whole: acting on the part read
    // before the fault could do something other than what was asked.
    if (!mods_ext_known(name)) log_warn("kel_ext_call: unknown extension name \"%s\"", name);
    // An image's argument is a name and a few numbers: a huge one is refused unread
    // rather than decoded at length only to be refused for its name.
    if (!strncmp(name, "image:", 6) &&
        strnlen(arg, MODS_EXT_IMAGE_ARG_MAX + 1) > MODS_EXT_IMAGE_ARG_MAX) {
        log_warn("kel_ext_call(\"%s\"): argument too long (over %d bytes)", name,
                 MODS_EXT_IMAGE_ARG_MAX);
        return json_encode(var());
    }
    std::string text = "[" + std::string(arg) + "]";
    var doc;
    int bad = -1;
    if (json_decode(doc, text.data(), (int)text.size(), &bad) != 0) {
        // bad counts from 0 and includes the "[" put before: it is the argument's byte
        // counted from 1
        std::string excerpt = _mods_ext_excerpt(arg);
        if (bad > 0 && (size_t)bad <= strlen(arg))
            log_warn("kel_ext_call(\"%s\"): bad JSON at byte %d of '%s'", name, bad,
                     excerpt.c_str());
        else
            log_warn("kel_ext_call(\"%s\"): bad JSON, cut short: '%s'", name, excerpt.c_str());
        return json_encode(var());
    }
    var value = doc.type() == 3 && doc.len() > 0 ? doc[0] : var();  // "" is no argument
    var result;
    for (mods_ext_handler_fn h : _mods_ext_handlers) {
        result = h(api->game, name, value);
        if (!result.is_none()) break;
    }
    return json_encode(result);
}
