-- Records every event table it receives into the user file events.txt, one line per
-- event, so a test driving the window with real X input can check what arrived.
-- The first _loop writes "ready"; the font line proves text measuring and drawing work.
-- The _loop after a "suspend" writes "saved after suspend": the frame a game saves in.
local lines = {}
local suspended = false

local function save()
    kel_file_save("events.txt", table.concat(lines, "\n") .. "\n")
end

local function field(v)
    if v == nil then return "nil" end
    return tostring(v)
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
    if not started then
        started = true
        local w, h = kel_font_size("fonts/dejavu", 16, "Hello")
        lines[#lines + 1] = string.format("font w=%s h=%s", field(w), field(h))
        lines[#lines + 1] = "ready"
        save()
    end
end

function _event(e)
    if e.type == "suspend" then suspended = true end
    lines[#lines + 1] = string.format("%s key=%s name=%s text=%s x=%s y=%s button=%s",
        e.type, field(e.key), field(e.name), e.text, field(e.x), field(e.y), field(e.button))
    save()
end

function _paint()
    kel_view_set(0, 0, 160, 120)
    kel_rect_draw(0x203040, 0, 0, 160, 120)
    kel_font_draw("fonts/dejavu", 16, "Hello", 10, 10)
end
