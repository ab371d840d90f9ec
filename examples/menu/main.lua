-- menu: a menu from kelgame's widget tree, driven by the arrows, a controller's d-pad
-- and A button, or the mouse, with interface sounds and a dialog on the overlay.
--
--   build/kelgame -mod examples/menu/main.lua
--
-- "Colour" cycles the background, "Size" the width of the buttons, "Quit" asks on
-- the overlay tree (which takes the input while it has widgets). Escape closes the
-- dialog; "-frames N" picks a few entries by itself and quits after N frames.

local W, H = 320, 240
local COLOURS = { 0x203048, 0x402030, 0x204030 }
local colour, wide = 1, false
local frames, frames_max = 0, tonumber(kel_params_get("frames"))

local function gui(name, t) return json_decode(kel_ext_call(name, json_encode(t))) end

local STYLE = {
  height = 26, border = 2, background = 0x303848, border_colour = 0x101018,
  focused = { background = 0xe0a030, colour = 0x000000 },
  both = { background = 0xe0a030, colour = 0x000000 },
  -- the bundled game's sounds (data/game): a tick for each move, a click for a pick
  sounds = { focus = "game/move", click = "game/select" },
}

local function button(t)
  for k, v in pairs(STYLE) do t[k] = t[k] or v end
  t.width = t.width or (wide and 180 or 120)
  assert(gui("gui:add", t), "gui:add " .. t.name)
end

function _init()
  kel_params_set("caption", "kelgame - menu")
  gui("gui:set", { root = 0, align = "centre", justify = "centre" })
  gui("gui:set", { root = 1, align = "centre", justify = "centre" })
  assert(gui("gui:add", { name = "menu", kind = "container", spacing = 8, align = "centre" }))
  for _, entry in ipairs{ "Colour", "Size", "Quit" } do
    button{ parent = "menu", name = entry, label = entry, on = { click = entry } }
  end
  gui("gui:focus", { name = "Colour" })  -- nothing has the focus until it is given
end

local function ask()
  assert(gui("gui:add", { root = 1, name = "dialog", kind = "container", spacing = 6,
    align = "centre", padding = 10, border = 2, background = 0x101018, border_colour = 0xe0a030 }))
  gui("gui:add", { parent = "dialog", name = "question", label = "Really quit?", width = 140,
    height = 20, focusable = false })
  assert(gui("gui:add", { parent = "dialog", name = "answers", kind = "container",
    direction = "row", spacing = 8 }))
  button{ parent = "answers", name = "Yes", label = "Yes", width = 60, on = { click = "yes" } }
  button{ parent = "answers", name = "No", label = "No", width = 60, on = { click = "no" } }
  gui("gui:focus", { name = "No" })
end

function _event(e)
  if e.type == "gui" then
    print("picked " .. tostring(e.value))
    if e.value == "Colour" then colour = colour % #COLOURS + 1
    elseif e.value == "Size" then
      wide = not wide
      for _, n in ipairs{ "Colour", "Size", "Quit" } do gui("gui:set", { name = n, width = wide and 180 or 120 }) end
    elseif e.value == "Quit" then ask()
    elseif e.value == "yes" then kel_ext_call("exit")
    elseif e.value == "no" then gui("gui:clear", { root = 1 })
    end
  elseif e.type == "keydown" and e.name == "Escape" then
    gui("gui:clear", { root = 1 })   -- Escape is not the tree's: the script sees it
  end
end

function _loop()
  frames = frames + 1
  if not frames_max then return end
  -- Plays itself: gui:select moves the focus as the arrows do, and the picks are made
  -- as the tree would answer them.
  if frames == 5 then gui("gui:select", { name = "Size" }); _event{ type = "gui", value = "Size" } end
  if frames == 10 then _event{ type = "gui", value = "Quit" } end
  if frames == 15 then _event{ type = "gui", value = "no" } end
  if frames >= frames_max then kel_ext_call("exit") end
end

function _paint()
  kel_view_set(0, 0, W, H)
  kel_rect_draw(COLOURS[colour], 0, 0, W, H)
  kel_font_draw("fonts/dejavu", 14, "arrows / d-pad / mouse, Return / A", 10, 8, 0xc0c8d8)
end
