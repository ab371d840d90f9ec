// kelgame: runs a Lua game, frame by frame, until it quits.
#include <stdio.h>
#include <string.h>

#include "src/game/game.h"
#include "src/game/game_tools.h"
#include "util/kel_driver-input.h"
#include "util/kel_driver.h"
#include "util/kel_log.h"

static const char _main_usage[] =
    "usage: kelgame [options] [-name value ...]\n"
    "  --verbose        print the log on standard output\n"
    "  --quiet          no warnings on standard error (missing images, fonts, sounds\n"
    "                   and modules, unknown extension names, bad JSON)\n"
    "  --flip           turn the picture a quarter turn counter-clockwise (the game's\n"
    "                   top along the window's left edge; the other way is not offered)\n"
    "                   and swap the window's width and height\n"
    "  --fullscreen     start full screen at the display's size\n"
    "  -headless        run without window and sound\n"
    "  -mod PATH        entry script, or a game folder with its main.lua (default:\n"
    "                   main.lua of the data area, else the installed game)\n"
    "  -datadir DIR     data directory of the game's files\n"
    "  -width N         window width\n"
    "  -height N        window height (without both: full screen on a display less\n"
    "                   than 800 wide or 600 high, as a handheld's is; else 80% of it)\n"
    "  -crash POLICY    answer to a failed script: wait, exit or restart\n"
    "  -frames N        quit after N frames\n"
    "  -fixed-dt        every frame steps 1/60 s, without waits unless recording\n"
    "  -record FILE     write every input event, with its frame, to FILE\n"
    "  -replay FILE     deliver the events of such a file at their frames\n"
    "  -capture N:PATH  write frame N (from 0) as a PNG; may be given several times\n"
    "  -stats           show the performance overlay (Ctrl+F3 toggles it)\n"
    "  --new DIR        write a starter game into DIR (refuses to replace a file)\n"
    "  --luacheckrc     print the luacheck standard for kelgame games\n"
    "  --lua-defs       print the Lua language-server annotations of kelgame's API\n"
    "  --help           show this text\n"
    "  --version        show the version\n"
    "Every \"-name value\" pair is also a script parameter.\n"
    "Files: assets and modules beside the entry script, then in the data directory:\n"
    "./data with a window, ../data headless (or -datadir). Saves go to $HOME with a\n"
    "window, to the working directory headless (\"-appid NAME\" gives a headless run\n"
    "the window's rule, \"-appid ''\" the reverse).\n"
    "Keys: Ctrl+Q quit, Ctrl+F full screen, Ctrl+` console, Ctrl+F3 overlay,\n"
    "F5 or a controller's Back+Start restart after an error.\n";

int main(int argc, char** argv) {
    driver_verbose_set(0);
    for (int i = 0; i < argc; i++) {
        if (strcmp(argv[i], "--verbose") == 0) driver_verbose_set(1);
        else if (strcmp(argv[i], "--quiet") == 0) log_quiet_set(1);
        else if (strcmp(argv[i], "--flip") == 0) driver_flip_set(1);
        else if (strcmp(argv[i], "--help") == 0) {
            fputs(_main_usage, stdout);
            return 0;
        } else if (strcmp(argv[i], "--luacheckrc") == 0) {
            return game_tools_print(game_tools_luacheckrc());
        } else if (strcmp(argv[i], "--lua-defs") == 0) {
            return game_tools_print(game_tools_lua_defs());
        } else if (strcmp(argv[i], "--new") == 0) {
            return game_tools_new(i + 1 < argc ? argv[i + 1] : nullptr);
        } else if (strcmp(argv[i], "--version") == 0) {
            puts(game_version());
            return 0;
        }
    }
    game_init(argc, argv);
    Event e;
    while (!game_quit(-1)) {
        e = Event();
        while (!game_quit(-1)) {
            if (!driver_event_poll(&e)) break;
            if (e.type) game_event(e);
        }
        game_loop();
        game_paint();
    }
    game_deinit();  // the last record writes and the captures not reached count too
    return game_exit_status();
}
