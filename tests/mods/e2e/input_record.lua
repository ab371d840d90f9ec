-- Records every event table it receives into the user file events.txt, one line per
-- event, so a test driving the window with real X input can check what arrived.
-- The first _loop writes "ready" and the window's size.
-- The _loop after a "suspend" writes "saved after suspend": the frame a game saves in;
-- the _loop after a "resume" writes the step it got. "-suspendable 1" on the command
-- line asks for the focus events.
local lines, started, pending = {}, false, {}

local function add(line)
    lines[#lines + 1] = line
    kel_file_save("events.txt", table.concat(lines, "\n") .. "\n")
end

function _init()
    kel_params_set("view_w", 160)
    kel_params_set("view_h", 120)
end

function _loop(dt)
    if not started then
        started = true
        add(("ready window %sx%s"):format(kel_params_get("window_w"), kel_params_get("window_h")))
    end
    if pending.suspend then add("saved after suspend") end
    if pending.resume then add(("dt after resume %.3f"):format(dt)) end
    pending = {}
end

function _event(e)
    pending[e.type] = true
    add(("%s key=%s name=%s text=%s x=%s y=%s button=%s"):format(e.type, tostring(e.key),
        tostring(e.name), e.text, tostring(e.x), tostring(e.y), tostring(e.button)))
end

function _paint()
    kel_view_set(0, 0, 160, 120)
    kel_rect_draw(0x203040, 0, 0, 160, 120)
end
