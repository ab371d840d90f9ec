-- @NAME@: a kelgame starter. Run it with
--
--   kelgame -mod @NAME@
--
-- Arrow keys or the d-pad steer the ball, Space or the controller's A button
-- makes it hop (a sound, and the count is saved), Escape or Start quits.

local W, H = 320, 180              -- the view: the window shows this area, letterboxed
local FONT = "fonts/dejavu"        -- fonts/dejavu.fnt with its page fonts/dejavu.png
local SAVE = "@NAME@-save.json"    -- saves share the user area: keep the name distinct

local ball = { x = W / 2, y = H / 2, vx = 60, vy = 40, size = 24 }
local held = {}                    -- key and d-pad names held down
local hops = 0
local time = 0

local function load_save()
  local text = kel_file_load(SAVE)
  if text == "" then return end
  local ok, data = pcall(json_decode, text)
  if ok and type(data) == "table" and type(data.hops) == "number" then hops = data.hops end
end

local function save()
  kel_file_save(SAVE, json_encode({ hops = hops }))
end

local function hop()
  hops = hops + 1
  ball.vy = -math.abs(ball.vy) - 40
  kel_sample_play("sounds/hop")
  save()
end

function _init()
  kel_params_set("caption", "@NAME@")
  math.randomseed(1)               -- the same run every time: replays stay exact
  load_save()
end

function _event(e)
  if e.type == "keydown" and e.name ~= "" then
    held[e.name] = true
    if e.name == "Space" then hop() end
    if e.name == "Escape" then kel_ext_call("exit") end
  elseif e.type == "keyup" then
    held[e.name] = nil
  elseif e.type == "joydown" then
    held[e.name] = true
    if e.name == "A" then hop() end
    if e.name == "Start" then kel_ext_call("exit") end
  elseif e.type == "joyup" then
    held[e.name] = nil
  elseif e.type == "suspend" then
    save()
  end
end

function _loop(dt)
  time = time + dt
  local push = 200 * dt
  if held.Left then ball.vx = ball.vx - push end
  if held.Right then ball.vx = ball.vx + push end
  if held.Up then ball.vy = ball.vy - push end
  if held.Down then ball.vy = ball.vy + push end
  ball.x = ball.x + ball.vx * dt
  ball.y = ball.y + ball.vy * dt
  local r = ball.size / 2
  if ball.x < r or ball.x > W - r then ball.vx = -ball.vx end
  if ball.y < r or ball.y > H - r then ball.vy = -ball.vy end
  ball.x = math.max(r, math.min(W - r, ball.x))
  ball.y = math.max(r, math.min(H - r, ball.y))
end

function _paint()
  kel_view_set(0, 0, W, H)         -- always first
  kel_rect_draw(0x1c2233, 0, 0, W, H)
  local r = ball.size / 2
  kel_image_draw("images/ball", ball.x - r, ball.y - r, ball.size, ball.size, time * 90)
  kel_font_draw(FONT, 16, "@NAME@", 8, 6, 0xffcc33)
  kel_font_draw(FONT, 10, "hops: " .. hops, 8, H - 16, 0xaabbdd)
end
