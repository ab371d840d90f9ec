-- hello: text, rectangles, keys and the mouse.
--
--   build/kelgame -mod examples/hello/main.lua
--
-- Arrow keys move the square, Space changes its colour, a click puts it under the
-- pointer, Escape quits. Run it from the repository root so that the bundled font
-- (data/fonts/dejavu) is found. "-frames N" makes it quit by itself after N frames.

local W, H = 320, 180          -- the view: the window shows this area, letterboxed
local FONT = "fonts/dejavu"    -- fonts/dejavu.fnt with its page fonts/dejavu.png
local COLOURS = { 0xff6644, 0x44cc88, 0x4488ff, 0xffcc33 }

local player = { x = W / 2 - 10, y = H / 2 - 10, size = 20, colour = 1 }
local held = {}                -- key names held down: "Left", "Right", ...
local pointer = { x = 0, y = 0 }
local last_key = "none yet"
local time = 0
local frames_left = tonumber(kel_params_get("frames"))  -- parameters are strings

local function clamp(v, lo, hi) return math.max(lo, math.min(hi, v)) end

function _init()
  kel_params_set("caption", "kelgame - hello")
end

function _event(e)
  if e.type == "keydown" and e.name ~= "" then
    -- A typed character also arrives as a keydown with e.text set and an empty
    -- name; this game only looks at the keys themselves.
    held[e.name] = true
    last_key = e.name
    if e.name == "Space" then player.colour = player.colour % #COLOURS + 1 end
    if e.name == "Escape" then kel_ext_call("exit") end
  elseif e.type == "keyup" then
    held[e.name] = nil
  elseif e.type == "motion" then
    -- "down", "motion" and "up" carry view coordinates; "mousedown" and the other
    -- raw forms carry window pixels.
    pointer.x, pointer.y = e.x, e.y
  elseif e.type == "down" then
    player.x = clamp(e.x - player.size / 2, 0, W - player.size)
    player.y = clamp(e.y - player.size / 2, 0, H - player.size)
  end
end

function _loop(dt)
  time = time + dt
  local speed = 120 * dt       -- view units per second, whatever the frame rate
  if held.Left then player.x = player.x - speed end
  if held.Right then player.x = player.x + speed end
  if held.Up then player.y = player.y - speed end
  if held.Down then player.y = player.y + speed end
  player.x = clamp(player.x, 0, W - player.size)
  player.y = clamp(player.y, 0, H - player.size)

  if frames_left then
    frames_left = frames_left - 1
    if frames_left <= 0 then kel_ext_call("exit") end
  end
end

-- Text centred on x, measured with the same font and size it is drawn with.
-- An argument passed as nil still counts as given (and reads as 0), so optional
-- arguments get their defaults here rather than being passed on as nil.
local function centred(text, size, x, y, colour, alpha)
  local w = kel_font_size(FONT, size, text)
  kel_font_draw(FONT, size, text, x - w / 2, y, colour or 0xffffff, alpha or 255)
end

function _paint()
  kel_view_set(0, 0, W, H)     -- always first: it sets up the projection

  kel_rect_draw(0x1c2233, 0, 0, W, H)              -- background of the view
  kel_rect_draw(0x2c3550, 4, 4, W - 8, 2)          -- a frame of thin rectangles
  kel_rect_draw(0x2c3550, 4, H - 6, W - 8, 2)

  -- A shadow (rectangles are always opaque) and the square itself.
  kel_rect_draw(0x10141f, player.x + 3, player.y + 3, player.size, player.size)
  kel_rect_draw(COLOURS[player.colour], player.x, player.y, player.size, player.size)

  -- A small cross under the pointer.
  kel_rect_draw(0xffffff, pointer.x - 3, pointer.y, 7, 1)
  kel_rect_draw(0xffffff, pointer.x, pointer.y - 3, 1, 7)

  centred("Hello, kelgame!", 20, W / 2, 14, 0xffffff)
  -- Alpha 0..255 fades text; here it pulses.
  local pulse = math.floor(160 + 95 * math.sin(time * 3))
  centred("arrows move, space recolours, click jumps", 10, W / 2, 40, 0xaabbdd, pulse)
  kel_font_draw(FONT, 10, "last key: " .. last_key, 10, H - 20, 0x8899bb)
end
