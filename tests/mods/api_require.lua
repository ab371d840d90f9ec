-- Module loading seen from a game: base names, once only, missing files, broken
-- modules, the source filter, the alternate directory and the data area.
local here = kel_params_get("mod"):match("^(.*)/") or "."

function _init()
    kel_params_set("altdir", here .. "/require_api")

    assert(require("counter") == nil)
    require("deeper/counter")
    require("counter.lua")
    require("x\\y\\counter")
    assert(require_count == 1, "counter ran " .. tostring(require_count) .. " times")
    assert(deeper_ran == nil)

    local ok, e = pcall(require, "missing_module")
    assert(not ok and e == "file missing", tostring(e))
    assert(pcall(kel_params_get, "x"))  -- the error was taken by the failing call

    require("broken")
    assert(broken_ran == nil)
    require("raises")
    assert(raises_ran)
    require("broken")  -- its record stays: nothing happens

    require("a.b")
    assert(dotted_ran)
    require("../escaped")  -- ".." cannot leave the directory
    assert(escaped_ran)

    function to_filtered(src) return (src:gsub("ORIGINAL", "FILTERED")) end
    function to_nil(src) return nil end
    kel_params_set("require_filter_callback", "to_filtered")
    require("filtered")
    assert(filtered_value == "FILTERED", filtered_value)
    kel_params_set("require_filter_callback", "to_nil")
    require("emptied")
    assert(emptied_ran == nil)
    -- A filter that is no function fails its call; the module runs empty and the
    -- game is sound again, so this _init still completes.
    kel_params_set("require_filter_callback", "no_such_function")
    require("later")
    assert(later_ran == nil)
    kel_params_set("require_filter_callback", "")

    -- neither beside the game nor in altdir: the data area
    kel_params_set("datadir", here .. "/require_api/data")
    require("lib")
    assert(data_ran)

    assert(kel_ext_call("exit") == "")
end

function _loop() end
function _paint() end
function _event() end
