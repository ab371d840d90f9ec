-- Records every event table it receives into the user file events.txt, one line per
-- event, so a test driving the window with real X input can check what arrived.
-- The first _loop writes "ready" and the window's size.
-- The _loop after a "suspend" writes "saved after suspend": the frame a game saves in;
-- the _loop after a "resume" writes the step it got. "-suspendable 1" on the command
-- line asks for the focus events.
local lines = {}
local suspended = false
local resumed = false

local function save()
    kel_file_save("events.txt", table.concat(lines, "\n") .. "\n")
end

function _init()
    kel_params_set("view_w", 160)
    kel_params_set("view_h", 120)
end

local started = false
function _loop(dt)
    if suspended == true then
        suspended = "saved"
        lines[#lines + 1] = "saved after suspend"
        save()
    end
    if resumed then
        resumed = false
        lines[#lines + 1] = string.format("dt after resume %.3f", dt)
        save()
    end
    if not started then
        started = true
        lines[#lines + 1] = string.format("ready window %sx%s", kel_params_get("window_w"),
            kel_params_get("window_h"))
        save()
    end
end

function _event(e)
    if e.type == "suspend" then suspended = true end
    if e.type == "resume" then resumed = true end
    lines[#lines + 1] = string.format("%s key=%s name=%s text=%s x=%s y=%s button=%s",
        e.type, tostring(e.key), tostring(e.name), e.text, tostring(e.x), tostring(e.y),
        tostring(e.button))
    save()
end

function _paint()
    kel_view_set(0, 0, 160, 120)
    kel_rect_draw(0x203040, 0, 0, 160, 120)
end
