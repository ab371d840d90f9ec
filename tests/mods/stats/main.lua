-- A scene of known size for the frame figures: a rectangle (a draw call of its own),
-- then 4 balls, 3 crates and 2 balls (three runs of the batch): 10 commands, 4 draw
-- calls, 20 triangles. Every frame checks what "stats:get" says of the one before,
-- with the overlay shown or not (its drawing is not in the figures); Ctrl+F3 never
-- reaches the script, a plain F3 does.
local W, H = 320, 240
local WANT = { commands = 10, draw_calls = 4, triangles = 20 }
local frame, f3, shown = 0, 0, 0

function _init() end

function _event(e)
  if e.type == "keydown" and e.name == "F3" then f3 = f3 + 1 end
end

function _loop(dt) end

local function check(s)
  for k, v in pairs(WANT) do
    if s[k] ~= v then error(("frame %d: %s %s, want %s"):format(frame, k, tostring(s[k]), v)) end
  end
  for _, k in ipairs{ "fps", "frame_ms", "frame_p99_ms", "script_ms", "draw_ms", "wait_ms",
                      "texture_bytes", "texture_budget", "voices", "lua_bytes" } do
    if type(s[k]) ~= "number" or s[k] < 0 then error(("frame %d: %s is %s"):format(frame, k, tostring(s[k]))) end
  end
  if s.texture_bytes == 0 or s.lua_bytes == 0 then error("no texture or Lua memory counted") end
  if s.overlay then shown = shown + 1 end
end

function _paint()
  local s = json_decode(kel_ext_call("stats:get"))
  if frame >= 2 then check(s) end
  kel_view_set(0, 0, W, H)
  kel_rect_draw(0x8080ff, 0, 0, W, H)
  for i = 0, 3 do kel_image_draw("images/ball", 40 + 30 * i, 100, 24, 24) end
  for i = 0, 2 do kel_image_draw("images/crate", 40 + 30 * i, 140, 24, 24) end
  for i = 0, 1 do kel_image_draw("images/ball", 40 + 30 * i, 180, 24, 24) end
  frame = frame + 1
  if frame == 10 then print(("stats ok: overlay in %d frames, F3 seen %d"):format(shown, f3)) end
end
