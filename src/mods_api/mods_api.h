// mods_api: the engine side of one running script.
//
// One ModsAPI per script host (created by mods_restart before the ModsLua, destroyed
// after it). It holds the script's parameters, the draw list recorded during paint,
// the captured console output, the loaded-module records and a pending error that the
// Lua wrappers (mods_api_lua.h) raise as a Lua error after each call.
//
//   api->params_set("caption", var("My game"));    // also reaches the driver
//   api->require("main.lua");                      // mods_module.cpp
//   if (api->error_take(&msg)) ...                  // pending error, cleared
#ifndef MODS_API_H
#define MODS_API_H

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "util/kel_gfx.h"
#include "util/kel_gui.h"
#include "util/kel_var.h"

struct Game;

// One required file; base is the module's identity.
struct ModsModule {
    std::string name;  // as requested
    std::string path;  // the file that was read
    int64_t mtime;     // its modification time when read
    std::string base;  // base name, ".lua" added when it has no dot
};

enum { MODS_CONSOLE_MAX = 255 };

class ModsAPI {
public:
    explicit ModsAPI(Game* game);
    ~ModsAPI();
    ModsAPI(const ModsAPI&) = delete;
    ModsAPI& operator=(const ModsAPI&) = delete;

    Container gui[2];                       // widget roots: interface tree, overlay (ext_gui)
    Game* game;                             // not owned
    std::vector<std::string> console_lines; // newest first, at most MODS_CONSOLE_MAX
    int console_shown;                      // 1 once the first line arrived
    std::string error_message;              // pending error text
    int error_flag;                         // 1 while an error is pending
    std::vector<ModsModule> modules;        // loaded modules, in load order
    std::vector<DrawCmd> draw_list;         // this frame's drawing
    std::vector<DrawCmd> draw_spare;        // the frame before: string storage to reuse
    std::map<std::string, int> stream_states;  // 1 while the script plays the stream
    var params;                             // dict of the script's parameters

    // All script output arrives here, one call per write.
    void console(const std::string& text);

    void params_set(const char* key, var value);
    var params_get(const char* key);  // a missing key is created with none

    std::string file_load(const char* name, bool user2);
    void file_save(const char* name, const char* data, size_t len, bool user2);

    // Recording into the draw list.
    void view(float x, float y, float w, float h);
    void image_draw(const std::string& name, uint32_t colour, int32_t alpha, float x, float y,
                    float w, float h, float rot);
    void image_draw(const char* name, size_t len, uint32_t colour, int32_t alpha, float x,
                    float y, float w, float h, float rot);
    void rect_draw(uint32_t colour, float x, float y, float w, float h);
    void font_draw(const std::string& font, int32_t size, const std::string& text,
                   uint32_t colour, int32_t alpha, float x, float y);
    void clear();
    void replay();

    // Sound by name.
    void sample_play(const char* name, float volume, float extra);
    void stream_play(const char* name, float volume);
    void stream_stop(const char* name);

    void font_size(const char* font, int size, const char* text, float* w, float* h);

    void require(const char* name);                           // mods_module.cpp
    std::string ext_call(const char* name, const char* arg);  // mods_ext.cpp

    // Pending error: set by a failing operation, taken (and cleared) by the wrapper.
    void error_set(const std::string& message);
    bool error_take(std::string* message);

private:
    DrawCmd& cmd_add(int32_t type);
};

// The "datadir" override, process-wide like the driver settings it feeds; empty = none.
const char* mods_api_datadir();
void mods_api_datadir_set(const char* dir);

#endif
