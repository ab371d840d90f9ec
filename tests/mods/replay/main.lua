-- A small game for the record / replay / capture test. Arrow keys step the square by
-- 10, a click puts it under the pointer, a typed character picks its colour, and a
-- bar grows with the time the game has seen (so a run without -fixed-dt would not
-- give the same picture twice). Everything is a whole-pixel rectangle, so the frame
-- reads back the same from every GL rasteriser.
local W, H = 160, 120
local COLOURS = { a = 0xff6644, b = 0x44cc88, c = 0x4488ff }
local sq = { x = 70, y = 50, colour = 0xffffff }
local time = 0
local marks = {}

function _init() end

function _event(e)
  -- the pointer's live moves over the window are no part of the replay
  if not e.type:match("motion$") then print("event " .. e.type) end
  if e.type == "keydown" and e.text ~= "" then
    sq.colour = COLOURS[e.text] or sq.colour
  elseif e.type == "keydown" then
    if e.name == "Left" then sq.x = sq.x - 10 end
    if e.name == "Right" then sq.x = sq.x + 10 end
    if e.name == "Up" then sq.y = sq.y - 10 end
    if e.name == "Down" then sq.y = sq.y + 10 end
  elseif e.type == "down" then
    sq.x, sq.y = math.floor(e.x) - 10, math.floor(e.y) - 10
    marks[#marks + 1] = { x = sq.x, y = sq.y }
  end
end

function _loop(dt)
  time = time + dt
end

function _paint()
  kel_view_set(0, 0, W, H)
  kel_rect_draw(0x102030, 0, 0, W, H)
  for _, m in ipairs(marks) do kel_rect_draw(0x606060, m.x, m.y, 20, 20) end
  kel_rect_draw(sq.colour, sq.x, sq.y, 20, 20)
  kel_rect_draw(0xffcc33, 0, H - 6, math.floor(time * 60 + 0.5), 6)
end
