// docs/scripting.md names everything a script can reach: each registered Lua function,
// each event type the translation produces, and each extension name the dispatch and
// its handlers compare against (found in their sources); the dispatch knows each such
// name, or calling it would be reported as misspelt.
#include <regex>
#include <set>
#include <vector>

#include "src/mods_api/mods_api_lua.h"
#include "src/mods_api/mods_ext.h"
#include "src/mods_misc/mods_event.h"
#include "tests/test_util.h"

TEST(Docs, ScriptingGuideNamesEveryFunctionEventAndExtension) {
    std::string doc = slurp(KEL_SOURCE_DIR "/docs/scripting.md");
    ASSERT_FALSE(doc.empty());
    for (const luaL_Reg* r = mods_api_lua_functions; r->name; r++)
        EXPECT_NE(doc.find(std::string("`") + r->name + "("), std::string::npos) << r->name;
    for (const char* f : {"_init()", "_event(e)", "_loop(dt)", "_paint()"})
        EXPECT_NE(doc.find(f), std::string::npos) << f;
    for (int t = 1; t < 30; t++) {
        const char* name = mods_event_type_name(t);
        if (name && std::string(name) != "?" && std::string(name) != "quit") {  // the host's own
            EXPECT_NE(doc.find(std::string("`") + name + "`"), std::string::npos) << name;
        }
    }
    std::set<std::string> names;
    const std::regex compare(R"((?:name [=!]= |strcmp\(name, )\"([a-z_0-9:]+)\")");
    for (const char* src : {"src/mods_api/mods_ext.cpp", "src/ext_trans/ext_trans.cpp",
                            "src/ext_misc/ext_misc.cpp", "src/ext_gui/ext_gui.cpp",
                            "src/ext_net/ext_net.cpp"}) {
        std::string text = slurp(KEL_SOURCE_DIR "/" + std::string(src));
        ASSERT_FALSE(text.empty()) << src;
        for (std::sregex_iterator m(text.begin(), text.end(), compare), end; m != end; ++m)
            names.insert((*m)[1]);
    }
    EXPECT_GT(names.size(), 30u);  // the scan still finds the dispatch
    const std::set<std::string> effects = {"zoom", "fade", "bzoom", "deres"};  // same scan
    for (const std::string& n : names) {
        EXPECT_NE(doc.find("\"" + n + "\""), std::string::npos) << n;
        EXPECT_TRUE(mods_ext_known(n.c_str()) || effects.count(n)) << n;
    }
}

// The editor annotations declare every registered function, callback and event type, and
// the lint standard knows every function (require is Lua's own name).
TEST(Docs, AnnotationsAndLintStandardNameEveryFunctionAndEvent) {
    std::string defs = slurp(KEL_SOURCE_DIR "/share/kelgame-defs.lua");
    std::string rc = slurp(KEL_SOURCE_DIR "/share/luacheckrc");
    ASSERT_EQ(defs.rfind("---@meta\n", 0), 0u);
    ASSERT_FALSE(rc.empty());
    std::vector<std::string> names = {"_init", "_event", "_loop", "_paint", "json_encode",
                                      "json_decode"};
    for (const luaL_Reg* r = mods_api_lua_functions; r->name; r++) names.push_back(r->name);
    for (const std::string& n : names) {
        EXPECT_NE(defs.find("\nfunction " + n + "("), std::string::npos) << n;
        if (n != "require") {
            EXPECT_NE(rc.find("\"" + n + "\""), std::string::npos) << n;
        }
    }
    for (int t = 1; t < 30; t++) {
        const char* name = mods_event_type_name(t);
        if (name && std::string(name) != "?" && std::string(name) != "quit") {
            EXPECT_NE(defs.find(std::string("\"") + name + "\""), std::string::npos) << name;
        }
    }
    for (const char* n : {"http", "gui"})
        EXPECT_NE(defs.find(std::string("\"") + n + "\""), std::string::npos) << n;
}
