-- A menu game: a 3 x 3 grid of buttons driven by arrow keys, a controller's d-pad, stick
-- and A button, and the mouse (play.txt); an overlay dialog that takes the input while it
-- is up. In a 640 x 480 window the 320 x 240 view shows at twice its size; button (row r,
-- column c) covers view x 60 + 70c .. 120 + 70c, y 50 + 50r .. 90 + 50r. It prints what
-- it receives; frames.txt has the focus colours. X fails it: its last frame stays.
local function gui(name, t) return json_decode(kel_ext_call(name, json_encode(t))) end

function _init()
  kel_params_set("view_w", 320)
  kel_params_set("view_h", 240)
  gui("gui:set", { root = 0, align = "centre", justify = "centre", spacing = 10 })
  gui("gui:set", { root = 1, align = "centre", justify = "centre" })
  for r = 1, 3 do
    assert(gui("gui:add", { name = "r" .. r, kind = "container", direction = "row", spacing = 10 }))
    for c = 1, 3 do
      local n = "b" .. r .. c
      assert(gui("gui:add", { parent = "r" .. r, name = n, width = 60, height = 40,
        background = 0x404040, focused = { background = 0xff8000 },
        both = { background = 0xff8000 }, on = { focus = n, click = "click " .. n },
        sounds = { focus = "../tests/data/audio/beep" } }))
    end
  end
  assert(gui("gui:focus", { name = "b11" }))
  local b = gui("gui:get", { name = "b23" })
  print(string.format("box %d %d %d %d", b.x, b.y, b.width, b.height))
end

function _loop(dt) end

function _event(e)
  if e.type == "gui" then
    print("gui " .. e.name .. " " .. tostring(e.value))
    -- a new focus plays the button's sound
    if not sounded then
      sounded = true
      print("sound playing: " .. tostring(json_decode(kel_ext_call("stats:get")).voices > 0))
    end
    if e.value == "click b31" then
      gui("gui:add", { root = 1, name = "ok", width = 80, height = 40,
        background = 0x00c0ff, label = "OK", colour = 0, on = { click = "ok" } })
      gui("gui:focus", { name = "ok" })
    elseif e.value == "ok" then
      gui("gui:clear", { root = 1 })
    end
  elseif e.type == "keydown" and e.name == "X" then
    error("boom")
  elseif e.type:match("down$") then
    print("event " .. e.type .. " " .. tostring(e.name))
  end
end

function _paint()
  kel_view_set(0, 0, 320, 240)
  kel_rect_draw(0x000010, 0, 0, 320, 240)
end
