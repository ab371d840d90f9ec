-- input: the keyboard, the mouse and game controllers, as the script receives them.
--
--   build/kelgame -mod examples/input/main.lua
--
-- The newest events are listed as they arrive. Arrow keys (or the d-pad, or the left
-- stick) move the yellow square, the mouse moves the cross and a click drops a mark,
-- typed text collects at the bottom. Escape quits; "-frames N" quits after N frames.

local W, H = 400, 240
local FONT = "fonts/dejavu"
local log = {}                   -- newest first
local held = {}                  -- key and pad button names held down
local stick = { x = 0, y = 0 }   -- the left stick, -1 to 1
local box = { x = 190, y = 110 }
local pointer = { x = 0, y = 0 }
local marks = {}
local typed = ""
local frames_left = tonumber(kel_params_get("frames"))

local function note(text)
  table.insert(log, 1, text)
  if #log > 12 then table.remove(log) end
end

function _init() kel_params_set("caption", "kelgame - input") end

function _event(e)
  local t = e.type
  if t == "keydown" and e.text ~= "" then
    typed = (typed .. e.text):sub(-40)          -- text: one Latin-1 character
    return
  end
  if t == "keydown" or t == "keyup" then
    held[e.name] = t == "keydown" or nil
    note(string.format("%s %s (key %d, modifiers %d)", t, e.name, e.key, e.button))
    if t == "keydown" and e.name == "Escape" then kel_ext_call("exit") end
  elseif t == "joydown" or t == "joyup" then
    held["pad " .. e.name] = t == "joydown" or nil
    note(string.format("%s %s (controller %d)", t, e.name, e.device))
  elseif t == "joymotion" then
    if e.name == "Left" then stick.x, stick.y = e.x, e.y end
    if e.name == "L2" or e.name == "R2" then note(string.format("trigger %s %.2f", e.name, e.x)) end
  elseif t == "joyadded" or t == "joyremoved" then
    note(string.format("%s (controller %d)", t, e.device))
  elseif t == "motion" then
    pointer.x, pointer.y = e.x, e.y              -- view units; "mousemotion" has pixels
  elseif t == "down" then
    marks[#marks + 1] = { x = e.x, y = e.y }
    note(string.format("down button %d at %.0f, %.0f", e.button, e.x, e.y))
  elseif t == "wheel" then
    note(string.format("wheel %.1f", e.dy))
  elseif t == "resize" then
    note(string.format("resize %d x %d", e.w, e.h))
  end
end

function _loop(dt)
  if frames_left then
    frames_left = frames_left - 1
    if frames_left <= 0 then kel_ext_call("exit") end
  end
  local dx, dy = stick.x, stick.y
  if held.Left or held["pad Left"] then dx = -1 end
  if held.Right or held["pad Right"] then dx = 1 end
  if held.Up or held["pad Up"] then dy = -1 end
  if held.Down or held["pad Down"] then dy = 1 end
  box.x = math.max(0, math.min(W - 20, box.x + dx * 120 * dt))
  box.y = math.max(0, math.min(H - 20, box.y + dy * 120 * dt))
end

function _paint()
  kel_view_set(0, 0, W, H)
  kel_rect_draw(0x182030, 0, 0, W, H)
  for _, m in ipairs(marks) do kel_rect_draw(0x4488ff, m.x - 2, m.y - 2, 4, 4) end
  kel_rect_draw(0xffcc33, box.x, box.y, 20, 20)
  kel_rect_draw(0xffffff, pointer.x - 6, pointer.y, 13, 1)
  kel_rect_draw(0xffffff, pointer.x, pointer.y - 6, 1, 13)
  for i, line in ipairs(log) do
    kel_font_draw(FONT, 12, line, 8, 4 + (i - 1) * 14, 0xd0e0ff, 255 - i * 15)
  end
  kel_font_draw(FONT, 14, "typed: " .. typed, 8, H - 20, 0xffffff)
end
