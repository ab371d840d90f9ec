#include "src/mods_misc/mods_restart.h"

#include "src/ext_net/ext_net.h"
#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_api/mods_module.h"
#include "src/mods_lua/mods_lua.h"
#include "util/kel_driver.h"

// Every "-name value" pair of the command line becomes a string parameter. A value
// that begins with "-" is also the next name.
static void _mods_restart_args(Game* game) {
    ModsAPI* api = game->api;
    int argc = game->argc;
    char** argv = game->argv;
    int i = 0;
    while (i < argc && argv[i][0] != '-') i++;
    while (i + 1 < argc) {
        api->params_set(argv[i] + 1, var(argv[i + 1]));
        i++;
        while (i < argc && argv[i][0] != '-') i++;
    }
}

// Command-line pairs first, then the defaults, which win on a clash.
static void _mods_restart_params(Game* game) {
    ModsAPI* api = game->api;
    if (game->argv) _mods_restart_args(game);
    int w = 0, h = 0;
    if (!game->headless) driver_screen_size_get(&w, &h);
    const char* idiom = game->headless ? "" : driver_platform_get();
    api->params_set("vinfo", var(game_version()));
    api->params_set("version", var("test"));
    api->params_set("speed", var(1.0));
    api->params_set("ticks", var(1));
    api->params_set("view_x", var(0));
    api->params_set("view_y", var(0));
    api->params_set("view_w", var(w));
    api->params_set("view_h", var(h));
    api->params_set("view_scale", var(1.0));
    api->params_set("window_w", var(w));
    api->params_set("window_h", var(h));
    api->params_set("idiom", var(idiom ? idiom : ""));
    api->params_set("platform", var("Evercade"));
    api->params_set("headless", var(game->headless != 0));
    // What the driver uses: "KelGame" with a window, "" headless, or what was set since.
    api->params_set("appid", var(driver_appid_get()));
}

void mods_restart(Game* game, int flag) {
    (void)flag;
    driver_altdir_set(nullptr);
    // The mod first: its closing state may still write to the API's console.
    delete game->mod;
    game->mod = nullptr;
    delete game->api;
    game->api = nullptr;
    ext_net_reset();  // the old script's requests and databases
    game->api = new ModsAPI(game);
    _mods_restart_params(game);
    game->mod = new ModsLua(game->api);
    mods_reload(game);
    if (game->mod->overrides(ModsBase::OP_INIT)) game->mod->init();
}
