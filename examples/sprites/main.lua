-- sprites: images, an atlas with trimmed frames, rotation, mirroring, tints, additive
-- glow and alpha, in a 480 x 270 view letterboxed into the window.
--
--   build/kelgame -mod examples/sprites/main.lua
--
-- The ships come from images/sheet.png, cut by the atlas description images/sheet.json
-- (the JSON hash format of sprite packers): each frame is trimmed to its visible part
-- and drawn back inside its full cell. Move the mouse: the icon follows it. Space
-- pauses, Escape quits, "-frames N" quits after N frames.

local W, H = 480, 270
local t = 0
local paused = false
local pointer = { x = W / 2, y = H / 2 }
local ships = {}

local function ext(name, args)
  return kel_ext_call(name, json_encode(args or {}))
end

function _init()
  kel_params_set("caption", "kelgame - sprites")
  kel_params_set("icon", "images/icon.png")
  -- Every frame of the atlas becomes a named image ("ship0.png" ... "ship3.png"):
  -- frame is the trimmed part in the sheet, spriteSourceSize its place in the full
  -- cell of sourceSize. All of image:sub's values are fractions of the sheet.
  local atlas = json_decode(kel_file_load("images/sheet.json"))
  local size = atlas.meta.size
  for name, f in pairs(atlas.frames) do
    local r, s, src = f.frame, f.spriteSourceSize, f.sourceSize
    ext("image:sub", { source = "images/sheet", name = name:gsub("%.png$", ""),
      x = r.x / size.w, y = r.y / size.h, width = r.w / size.w, height = r.h / size.h,
      shape_x = s.x / size.w, shape_y = s.y / size.h,
      shape_width = src.w / size.w, shape_height = src.h / size.h })
  end
  for i = 1, 6 do
    ships[i] = { frame = "ship" .. (i % 4), x = i * 80 - 40, y = 150 + (i % 3) * 28,
      speed = (i % 2 == 0) and 40 or -55 }
  end
end

local frames_left = tonumber(kel_params_get("frames"))

function _loop(dt)
  if frames_left then
    frames_left = frames_left - 1
    if frames_left <= 0 then kel_ext_call("exit") end
  end
  if paused then return end
  t = t + dt
  for _, s in ipairs(ships) do
    s.x = s.x + s.speed * dt
    if s.x > W + 32 then s.x = -32 end
    if s.x < -32 then s.x = W + 32 end
  end
end

function _event(e)
  if e.type == "motion" or e.type == "down" then
    pointer.x, pointer.y = e.x, e.y
  elseif e.type == "keydown" and e.name == "Space" then
    paused = not paused
  elseif e.type == "keydown" and e.name == "Escape" then
    kel_ext_call("exit")
  end
end

local function sky()
  -- Horizontal bands from deep blue to dusk; rectangles are opaque.
  for i = 0, 17 do
    local k = i / 17
    local r, g, b = math.floor(20 + 90 * k), math.floor(24 + 40 * k), math.floor(60 + 50 * k)
    kel_rect_draw(r * 65536 + g * 256 + b, 0, i * 15, W, 15)
  end
  kel_rect_draw(0x2a3a2a, 0, 236, W, 34)
end

function _paint()
  kel_view_set(0, 0, W, H)
  sky()

  -- Additive glows pulsing behind everything else.
  for i = 0, 4 do
    local a = math.floor(90 + 60 * math.sin(t * 2 + i))
    kel_image_draw("images/glow", 40 + i * 95, 40, 80, 80, 0, 0xffcc66, -a)
  end

  -- Crates, one half transparent.
  for i = 0, 5 do
    kel_image_draw("images/crate", 60 + i * 34, 204, 32, 32, 0, 0xffffff, (i == 2) and 128 or 255)
  end
  -- A ball and its mirror image (negative width): the highlight changes sides.
  kel_image_draw("images/ball", 290, 196, 40, 40)
  kel_image_draw("images/ball", 334, 196, -40, 40)

  -- Ships from the sheet; the ones flying left are mirrored.
  for _, s in ipairs(ships) do
    local w = s.speed < 0 and -32 or 32
    kel_image_draw(s.frame, s.x - 16, s.y - 16, w, 32, math.sin(t * 3 + s.x / 50) * 10)
  end

  -- Spinning, tinted balls, and one that follows the pointer.
  for i = 0, 3 do
    local a = t * 1.5 + i * math.pi / 2
    kel_image_draw("images/ball", 400 + math.cos(a) * 40 - 12, 110 + math.sin(a) * 40 - 12,
      24, 24, t * 180, ({ 0xffffff, 0xffaaaa, 0xaaffaa, 0xaaaaff })[i + 1])
  end
  kel_image_draw("images/icon", pointer.x - 12, pointer.y - 12, 24, 24, -t * 90)

  -- The sheet itself, small, bottom right.
  kel_image_draw("images/sheet", W - 132, H - 36, 128, 32)

  kel_font_draw("fonts/dejavu", 24, "kelgame", 16, 10, 0xffffff)
  kel_font_draw("fonts/dejavu", 12, paused and "paused (space)" or "move the mouse, space pauses",
    16, 40, 0xccddff, 200)
end
