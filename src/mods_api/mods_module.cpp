// Module loading: ModsAPI::require, mods_reload and the automatic reload check.
#include "src/mods_api/mods_module.h"

#include <string.h>
#include <time.h>

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_base.h"
#include "util/kel_driver.h"
#include "util/kel_log.h"

std::string mods_module_base(const char* name) {
    std::string s;
    // ".." never survives, so a name cannot climb out of the script's directory.
    for (const char* p = name; *p; p++) {
        if (p[0] == '.' && p[1] == '.') {
            s += '_';
            p++;
        } else {
            s += *p == '\\' ? '/' : *p;
        }
    }
    size_t slash = s.rfind('/');
    if (slash != std::string::npos) s.erase(0, slash + 1);
    if (s.find('.') == std::string::npos) s += ".lua";
    return s;
}

std::string mods_module_dir(const char* path) {
    std::string s = path;
    for (char& c : s)
        if (c == '\\') c = '/';
    size_t slash = s.rfind('/');
    // A bare file name lives in the working directory; "" would leave the game's
    // assets to the data area alone.
    return slash == std::string::npos ? std::string(".") : s.substr(0, slash);
}

void ModsAPI::require(const char* name) {
    std::string base = mods_module_base(name);
    for (const ModsModule& m : modules)
        if (m.base == base) return;

    const char* script = game ? game->script_path : "";
    std::string dir = mods_module_dir(script);
    bool root = dir.empty() && (script[0] == '/' || script[0] == '\\');
    if (params.has("altdir")) {
        dir = params["altdir"].str();
        root = false;
    }
    driver_altdir_set(dir.c_str());

    // An empty altdir means the working directory, not the file system root.
    bool here = dir.empty() || dir == ".";
    std::string path = root ? "/" + base : here ? base : dir + "/" + base;
    if (!driver_file_exists(path.c_str())) {
        path = driver_data_path(base.c_str());
        if (!driver_file_exists(path.c_str())) {
            std::string msg = "ModsAPI::require(\"" + std::string(name) + "\") file missing\n";
            // A missing entry script is the failure itself; a module's raises below.
            if (strcmp(name, script) == 0) {
                failure(msg);
            } else {
                console(msg);
                log_warn("require(\"%s\"): module %s not found", name, base.c_str());
            }
            error_set("file missing");
            return;
        }
    }
    modules.push_back(ModsModule{name, path, driver_file_mtime(path.c_str()), base});
    KEL_LOGS("require", "ModsAPI::require: %s\n", path.c_str());

    std::string source = driver_file_read(path.c_str());
    ModsBase* mod = game ? game->mod : nullptr;
    if (!mod) return;
    if (params.has("require_filter_callback")) {
        var cb = params["require_filter_callback"];
        if (cb.type() == 2 && cb.len() > 0) source = mod->call(cb.str(), source);
    }
    mod->script(source.c_str(), base.c_str());
}

void mods_reload(Game* game) {
    ModsAPI* api = game->api;
    if (!api) return;
    api->console_lines.clear();
    api->console_shown = 0;
    api->failure_reported = 0;
    KEL_LOGS("mods_reload", "mods_reload: %s\n", game->script_path);
    api->modules.clear();
    std::string path = game->script_path;  // require may not outlive a changed buffer
    api->require(path.c_str());
}

void mods_reload_auto(Game* game) {
    static time_t last;
    time_t now = time(nullptr);
    if (now == last) return;
    last = now;
    if (!game || !game->api) return;
    for (const ModsModule& m : game->api->modules) {
        if (!m.mtime) continue;
        int64_t t = driver_file_mtime(m.path.c_str());
        if (t > m.mtime && t < (int64_t)now - 1) {
            KEL_LOGS("mods_reload_auto", "reload...\n");
            mods_reload(game);
            return;
        }
    }
}
