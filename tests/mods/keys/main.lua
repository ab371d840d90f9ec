-- Keys by name from a replay, played headless and with a window (runs.txt); both runs
-- must end in the same state. The names it answers to come from
-- keys.txt beside it, which a bare "-mod main.lua" finds in the working directory.
local watched, seen, x, y = {}, {}, 0, 0

function _init()
  for name in kel_file_load("keys.txt"):gmatch("[^\n]+") do watched[name] = true end
end

function _event(e)
  if e.type == "keydown" and watched[e.name] then
    seen[#seen + 1] = e.name
    if e.name == "Left" then x = x - 1 elseif e.name == "Up" then y = y - 1 end
  elseif e.type == "suspend" then
    print("state x=" .. x .. " y=" .. y .. " keys=" .. table.concat(seen, ","))
  end
end

function _loop() end
function _paint() kel_rect_draw(0x203040, 0, 0, 160, 120) end
