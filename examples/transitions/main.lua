-- transitions: the four screen transitions between two scenes, and screenshots.
--
--   build/kelgame -mod examples/transitions/main.lua
--
-- Space runs the next transition (fade, zoom, bzoom, deres), S saves a PNG and a JPEG
-- screenshot in /tmp, Escape quits. With "-frames N" it runs every transition quickly
-- by itself, one right after another, takes both screenshots, checks that they are
-- image files and quits. The badge in the corner is a widget: the captured frames hold
-- it, so it blends with its scene.

local W, H = 320, 180
local EFFECTS = { "fade", "zoom", "bzoom", "deres" }
local auto = kel_params_get("frames") ~= nil
local headless = kel_params_get("headless")  -- no frames to capture: calls answer null
local steps = auto and 4 or 45      -- frames per transition
local scene = 1
local effect = 0                    -- index of the last transition started
local t                             -- progress while a transition runs
local grab_new                      -- the new scene still has to be captured
local shown = false                 -- a scene has been on screen: there is something to grab
local done = false
local BADGE = { 0xffffff, 0x202020 }

local function badge(s)
  kel_ext_call("gui:set", json_encode{ name = "badge", label = "scene " .. s,
    background = BADGE[s], colour = BADGE[3 - s] })
end

local function draw_scene(s)
  kel_view_set(0, 0, W, H)
  if s == 1 then
    kel_rect_draw(0x3366cc, 0, 0, W, H)
    kel_rect_draw(0xffcc33, 40, 40, 80, 80)
  else
    kel_rect_draw(0x22aa55, 0, 0, W, H)
    kel_rect_draw(0xcc3344, 180, 60, 100, 60)
  end
  kel_font_draw("fonts/dejavu", 12, "scene " .. s .. "  " .. (EFFECTS[effect] or ""), 8, 8, 0xffffff)
end

-- Called outside _paint: "trans:grab0" captures what the screen shows now (the last
-- frame, widgets included) as the outgoing screen. The incoming one is captured by the
-- next _paint, which then still shows the outgoing one.
local function start()
  kel_ext_call("trans:init")
  kel_ext_call("trans:grab0")
  scene = 3 - scene
  badge(scene)
  effect = effect % #EFFECTS + 1
  grab_new, t = true, 0
end

local function file_starts(path, magic)
  local f = io.open(path, "rb")
  if not f then return false end
  local head = f:read(#magic)
  f:close()
  return head == magic
end

local function screenshots()
  local png = json_decode(kel_ext_call("screenshot", json_encode{ filename = "kelgame_transitions.png" }))
  local jpg = json_decode(kel_ext_call("screenshot", json_encode{ filename = "kelgame_transitions.jpg" }))
  print("screenshots: " .. png .. " " .. jpg)
  return png, jpg
end

function _init()
  kel_params_set("caption", "kelgame - transitions")
  kel_ext_call("gui:set", json_encode{ root = 0, align = "end", justify = "end" })
  kel_ext_call("gui:add", json_encode{ name = "badge", width = 60, height = 16, padding = 4,
    focusable = false, size = 12 })
  badge(scene)
end

function _event(e)
  if e.type ~= "keydown" then return end
  if e.name == "Escape" then kel_ext_call("exit") end
  if e.name == "Space" and not t then start() end
  if e.name == "S" then screenshots() end
end

function _loop()
  if not auto or not shown or t or grab_new or done then return end
  if effect < #EFFECTS and not headless then return start() end
  done = true
  local png, jpg = screenshots()
  if not headless then
    assert(file_starts(png, "\137PNG"), "no PNG at " .. png)
    assert(file_starts(jpg, "\255\216\255\224"), "no JPEG at " .. jpg)
  end
  kel_ext_call("exit")
end

function _paint()
  if t and not grab_new then
    -- The transition is the whole frame: drawing recorded now would cover it.
    kel_ext_call("trans:draw", json_encode{ effect = EFFECTS[effect], value = t })
    t = t + 1 / steps
    if t > 1 then t = nil end
    return
  end
  draw_scene(scene)
  shown = true
  if grab_new then
    -- Captures the new scene; this frame shows the old one, as the effect starts.
    kel_ext_call("trans:grab1")
    grab_new = false
  end
end
