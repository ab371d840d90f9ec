// mods_lua: the Lua 5.2 mod.
//
// Owns one Lua state with the standard libraries, the engine functions and the JSON
// globals json_encode/json_decode. Each entry call compiles a tiny chunk ("_init()",
// "_loop(0.016667)", "_event({...});", "_paint()") and runs it protected. The first
// failed entry call sticks, also when it ran nested inside another that then ended
// well: from then on init/loop/event/paint/call do nothing and is_okay() answers
// false, until script() loads the entry script again (not a module a running script
// requires).
//
// Output of print, error reports, the panic message and debug.debug go to the
// console of the current ModsAPI (mods_lua_api()), never to stdout/stderr.
#ifndef MODS_LUA_H
#define MODS_LUA_H

#include <string>

#include "src/mods_lua/mods_base.h"

struct lua_State;
class ModsAPI;

class ModsLua : public ModsBase {
  public:
    ModsAPI* api;  // not owned
    lua_State* L;  // owned
    int error;     // 0 sound, else the Lua status of the first failed entry call
    int depth;     // entry calls and module loads running, nested ones included

    explicit ModsLua(ModsAPI* api);
    ~ModsLua() override;

    void init() override;
    void loop(float dt) override;
    void event(var ev) override;
    void event_exact(var ev) override;
    void paint() override;
    void script(const char* source, const char* chunk_name) override;
    std::string call(std::string function, std::string argument) override;
    bool is_okay() override { return error == 0; }
    long heap_bytes() override;
    int override_mask() const override;

    ModsLua(const ModsLua&) = delete;
    ModsLua& operator=(const ModsLua&) = delete;

  private:
    void fail(int status);
    void entry(const char* text, size_t len, const char* name);
};

// Loads text as a chunk called name and runs it with a traceback handler. A failure
// is reported to the console ("kelgame: <message>") and its Lua status returned.
int mods_lua_run(lua_State* L, const char* text, const char* name);

// The API whose console receives Lua output: set by each ModsLua constructor and,
// while a state closes, by its destructor.
ModsAPI* mods_lua_api();

#endif
