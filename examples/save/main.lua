-- save: a ten-second clicking game that keeps its best score in a file.
--
--   build/kelgame -mod examples/save/main.lua
--
-- Click the square as often as you can before the time runs out; Space or a click
-- starts the next round. The best score and the number of rounds survive in
-- SAVE_NAME in the user area ($HOME with a window, the working directory headless).
-- Headless there is nobody to click, so the game plays short rounds by itself and
-- checks that each save reads back: a test run exercises the saving code.
-- "-frames N" quits after N frames.

local W, H = 320, 240
local FONT = "fonts/dejavu"
local SAVE_NAME = "kelgame-example-save.json"  -- the user area is shared: pick a unique name
local headless = kel_params_get("headless")    -- a boolean
local ROUND = headless and 0.25 or 10          -- seconds; short when it plays itself
local frames_left = tonumber(kel_params_get("frames"))

local save = { best = 0, rounds = 0 }
local state = "ready"                           -- "ready", "playing", "over"
local score, left = 0, 0
local target = { x = 0, y = 0, size = 28 }
local autoplay = 0                              -- headless: time to the next "click"

-- A count read from the file, or 0. json_decode reads 1e400 as infinity (and accepts
-- NaN), which json_encode refuses when the game next saves: only a finite count is one.
local function count(v)
  v = tonumber(v)
  if not v or v ~= v or v == math.huge or v == -math.huge then return 0 end
  return math.floor(v)
end

-- A missing file reads as "", and a damaged one must not stop the game: decode
-- under pcall and keep the defaults for anything that is not there or not a count.
local function load_save()
  local text = kel_file_load(SAVE_NAME)
  if text == "" then return end
  local ok, data = pcall(json_decode, text)
  if ok and type(data) == "table" then
    save.best = count(data.best)
    save.rounds = count(data.rounds)
  else
    print("save file unreadable, starting afresh: " .. tostring(data))
  end
end

-- Saves are atomic: a crash during the write leaves the old file or the new one.
local function write_save()
  kel_file_save(SAVE_NAME, json_encode(save))
end

local function move_target()
  target.x = math.random(8, W - target.size - 8)
  target.y = math.random(40, H - target.size - 8)
end

local function start_round()
  state, score, left = "playing", 0, ROUND
  move_target()
end

local function end_round()
  state = "over"
  save.rounds = save.rounds + 1
  if score > save.best then save.best = score end
  write_save()
  print(string.format("round %d: %d points, best %d", save.rounds, score, save.best))
  if headless then
    -- Self-check for test runs: what was saved must read back the same.
    local back = json_decode(kel_file_load(SAVE_NAME))
    assert(back.rounds == save.rounds and back.best == save.best, "save did not read back")
  end
end

local function hit(x, y)
  return x >= target.x and x < target.x + target.size and
         y >= target.y and y < target.y + target.size
end

function _init()
  kel_params_set("caption", "kelgame - save")
  math.randomseed(os.time())
  load_save()
  print(string.format("best so far: %d after %d rounds", save.best, save.rounds))
end

function _event(e)
  if e.type == "down" then                      -- view coordinates
    if state ~= "playing" then
      start_round()
    elseif hit(e.x, e.y) then
      score = score + 1
      move_target()
    end
  elseif e.type == "keydown" and e.name == "Space" and state ~= "playing" then
    start_round()
  elseif e.type == "keydown" and e.name == "Escape" then
    kel_ext_call("exit")
  end
end

function _loop(dt)
  if headless then
    -- Play by itself, one "click" every 0.05 s of dt.
    if state ~= "playing" then start_round() end
    autoplay = autoplay - dt
    if autoplay <= 0 then
      autoplay = 0.05
      score = score + 1
      move_target()
    end
  end
  if state == "playing" then
    left = left - dt
    if left <= 0 then end_round() end
  end
  if frames_left then
    frames_left = frames_left - 1
    if frames_left <= 0 then kel_ext_call("exit") end
  end
end

function _paint()
  kel_view_set(0, 0, W, H)
  kel_rect_draw(0x182018, 0, 0, W, H)
  kel_font_draw(FONT, 14, string.format("score %d   best %d", score, save.best), 8, 8, 0xffffff)

  if state == "playing" then
    -- The time bar shrinks from the full width to nothing.
    kel_rect_draw(0x44aa44, 0, 30, W * left / ROUND, 3)
    kel_rect_draw(0xffcc33, target.x, target.y, target.size, target.size)
  else
    local text = state == "ready" and "click or press space to start"
                                   or string.format("%d points - again? (space)", score)
    local w = kel_font_size(FONT, 14, text)
    kel_font_draw(FONT, 14, text, (W - w) / 2, H / 2 - 7, 0xccffcc)
  end
end
