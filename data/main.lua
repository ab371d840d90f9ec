-- Star Sweep, kelgame's bundled game. Sweep up the gems, keep clear of the mines, and
-- clear them with a pulse when it has charged. Every picture, sound and the music are
-- made by tools/gen_game.cpp (tools/gen_game.sh).
--
--   Move       arrow keys or WASD, the d-pad or the left stick, or hold the left mouse
--              button where the ship should go
--   Pulse      Space, Return or X, the A button, or the right mouse button
--   Menus      arrows / d-pad and Return / A, or click; Escape or B goes back
--   F12        screenshot into the user area (its name is shown)
--
-- Parameters for trying it out and for tests: "-pace N" runs the rounds N times as
-- fast, "-lives N" (3), "-seed N", "-frames N" quits after N frames and prints the
-- frame rate.

require("play")

local W, H = 480, 270
local FONT = "fonts/dejavu"
local SAVE = "kelgame-starsweep.json"   -- high scores and options, in the user area
local TOP = 5

local lives = tonumber(kel_params_get("lives")) or 3
local frames_max = tonumber(kel_params_get("frames"))
local headless = kel_params_get("headless")

local save = { scores = {}, music = true, sound = true }
local screen, clock, frames, started_ms = nil, 0, 0, nil
local tr                    -- the transition running: { effect, t, grab }
local note, note_time = nil, 0
local last = { score = 0, rank = nil }

sprite_size = {}            -- untrimmed size of every atlas frame, by name

local function ext(name, arg) return json_decode(kel_ext_call(name, json_encode(arg or {}))) end

function sfx_on() return save.sound end
local function sound(name) if save.sound then kel_sample_play("game/" .. name, 0.8) end end

-- The atlas: every frame of game/atlas.json becomes a named image; trimmed frames are
-- placed back inside their full cell, so they draw at their untrimmed size.
local function atlas_load(name)
  local ok, doc = pcall(json_decode, kel_file_load(name .. ".json"))
  assert(ok and type(doc) == "table", "cannot read " .. name .. ".json")
  local size = doc.meta.size
  for frame, f in pairs(doc.frames) do
    local r, s, src = f.frame, f.spriteSourceSize, f.sourceSize
    ext("image:sub", { source = name, name = frame,
      x = r.x / size.w, y = r.y / size.h, width = r.w / size.w, height = r.h / size.h,
      shape_x = s.x / size.w, shape_y = s.y / size.h,
      shape_width = src.w / size.w, shape_height = src.h / size.h })
    sprite_size[frame] = { w = src.w, h = src.h }
  end
end

-- Saves ----------------------------------------------------------------------------

local function store()
  kel_file_save(SAVE, json_encode(save))
end

local function restore()
  local text = kel_file_load(SAVE)
  local ok, doc = pcall(json_decode, text)
  if not ok or type(doc) ~= "table" then return end   -- none yet, or damaged: start afresh
  if type(doc.scores) == "table" then
    for _, s in ipairs(doc.scores) do
      if type(s) == "table" and tonumber(s.score) then
        save.scores[#save.scores + 1] = { score = tonumber(s.score), date = tostring(s.date or "") }
      end
    end
  end
  save.music = doc.music ~= false
  save.sound = doc.sound ~= false
end

local function best() return save.scores[1] and save.scores[1].score or 0 end

-- Enters a score; answers its rank, or nil when it is not among the best.
local function record(score)
  local entry = { score = score, date = os.date("%Y-%m-%d") }
  local rank = #save.scores + 1
  for i, s in ipairs(save.scores) do
    if score > s.score then rank = i; break end
  end
  if rank > TOP then return nil end
  table.insert(save.scores, rank, entry)
  while #save.scores > TOP do table.remove(save.scores) end
  store()
  return rank
end

local function music()
  if save.music then kel_stream_play("game/theme", 0.45) else kel_stream_stop("game/theme") end
end

-- Menus (widget trees) ----------------------------------------------------------------

local BUTTON = {
  width = 170, height = 22, border = 2, background = 0x141c34, border_colour = 0x34508a,
  colour = 0xd8e4ff, size = 16,
  focused = { background = 0xf0b030, border_colour = 0xfff0c0, colour = 0x101010 },
  both = { background = 0xf0b030, border_colour = 0xfff0c0, colour = 0x101010 },
  sounds = { focus = "game/move", click = "game/select" },
}

local function button(parent, name, label, value)
  local b = { parent = parent, name = name, label = label, on = { click = value } }
  for k, v in pairs(BUTTON) do b[k] = v end
  ext("gui:add", b)
end

local MENUS = {
  title = { top = 84, { "start", "Start", "start" }, { "scores", "High scores", "scores" },
            { "options", "Options", "options" }, { "quit", "Quit", "quit" } },
  scores = { top = 180, { "back", "Back", "back" } },
  options = { top = 20, { "music", "", "music" }, { "sound", "", "sound" }, { "back", "Back", "back" } },
}

local function option_labels()
  if screen ~= "options" then return end
  ext("gui:set", { name = "music", label = "Music: " .. (save.music and "on" or "off") })
  ext("gui:set", { name = "sound", label = "Sounds: " .. (save.sound and "on" or "off") })
end

local function menu_show(name)
  ext("gui:clear", { root = 0 })
  local m = MENUS[name]
  if not m then return end
  ext("gui:set", { root = 0, align = "centre", justify = "centre" })
  ext("gui:add", { name = "menu", kind = "container", spacing = 6, align = "centre",
    margin = { m.top, 0, 0, 0 } })
  for _, b in ipairs(m) do button("menu", b[1], b[2], b[3]) end
  option_labels()
  ext("gui:focus", { name = m[1][1] })
end

-- Screens and transitions --------------------------------------------------------------

local trans_ok = false

-- From _event or _loop, while the draw list still holds the last frame: that frame is
-- the outgoing one; the incoming one is captured by the next _paint.
local function go(to, effect)
  ext("gui:clear", { root = 0 })    -- the menus are not in the captured frames
  if screen ~= to then print("screen " .. to) end
  screen = to
  if to == "play" then play.new(lives) end
  if trans_ok then
    kel_ext_call("trans:grab0")
    tr = { effect = effect or "fade", t = 0, grab = true }
  else
    menu_show(to)
  end
end

local function screenshot()
  local home = os.getenv("HOME") or "."
  local path
  for i = 1, 999 do
    path = string.format("%s/kelgame-shot-%03d.jpg", home, i)
    local f = io.open(path)
    if not f then break end
    f:close()
  end
  local saved = ext("screenshot", { filename = path })
  note = saved ~= "" and ("screenshot saved: " .. saved) or "screenshot failed"
  note_time = 3
  print(note)
end

function _init()
  kel_params_set("caption", "Star Sweep - kelgame")
  kel_params_set("icon", "images/icon.png")
  math.randomseed(tonumber(kel_params_get("seed")) or os.time())
  restore()
  print("best " .. best())
  atlas_load("game/atlas")
  if not headless then
    kel_ext_call("trans:init")
    trans_ok = ext("trans:ready") == true
  end
  music()
  started_ms = tonumber(kel_ext_call("timer:get_ticks"))
  screen = "title"
  print("screen title")
  menu_show("title")
end

local function pick(value)
  if value == "start" then go("play", "zoom")
  elseif value == "scores" then go("scores", "fade")
  elseif value == "options" then go("options", "fade")
  elseif value == "back" then go("title", "fade")
  elseif value == "quit" then kel_ext_call("exit")
  elseif value == "music" then save.music = not save.music; music(); store(); option_labels()
  elseif value == "sound" then save.sound = not save.sound; store(); option_labels()
  end
end

local over_wait = 0

function _event(e)
  if e.type == "keydown" and e.name == "F12" then return screenshot() end
  if tr then return end                 -- nothing is picked while the screen changes
  if e.type == "gui" then return pick(e.value) end
  local back = (e.type == "keydown" and e.name == "Escape") or (e.type == "joydown" and e.name == "B")
  if screen == "play" then
    if back then return go("title", "fade") end
    play.input(e)
  elseif screen == "over" then
    local go_on = (e.type == "keydown" and (e.name == "Return" or e.name == "Space" or e.name == "Escape"))
      or (e.type == "joydown" and (e.name == "A" or e.name == "B" or e.name == "Start"))
      or e.type == "down"
    if go_on and over_wait <= 0 then go("title", "fade") end
  elseif back and screen ~= "title" then
    go("title", "fade")
  end
end

function _loop(dt)
  clock = clock + dt
  frames = frames + 1
  note_time = math.max(0, note_time - dt)
  over_wait = math.max(0, over_wait - dt)
  if frames_max and frames >= frames_max then
    local ms = tonumber(kel_ext_call("timer:get_ticks")) - started_ms
    if ms > 0 then print(string.format("fps %.1f", frames * 1000 / ms)) end
    kel_ext_call("exit")
  end
  if tr and not tr.grab then
    tr.t = tr.t + dt * 2.5
    if tr.t >= 1 then
      tr = nil
      menu_show(screen)
    end
    return
  end
  -- read every frame: a test may speed up a round it has started
  local pace = tonumber(kel_params_get("pace")) or 1
  if screen == "play" and play.step(dt * pace) == "over" then
    last.score = math.floor(play.score())
    last.rank = record(last.score)
    print("saved " .. last.score .. " rank " .. tostring(last.rank))
    sound("over")
    over_wait = 0.8
    go("over", "deres")
  end
end

-- Painting -------------------------------------------------------------------------------

local function centred(text, size, y, colour, alpha)
  local w = kel_font_size(FONT, size, text)
  kel_font_draw(FONT, size, text, (W - w) / 2, y, colour or 0xffffff, alpha or 255)
end

local function backdrop()
  kel_view_set(0, 0, W, H)
  kel_rect_draw(0x060814, 0, 0, W, H)
  stars(clock)
end

local function title_art()
  backdrop()
  -- a ship looping across behind the title, mines tumbling at the sides
  local x = (clock * 70) % (W + 80) - 40
  local y = 150 + math.sin(clock * 1.7) * 40
  sprite("glow", x, y, 0.8, 0, 0xffb050, -70)
  sprite("ship" .. math.floor(clock * 15) % 3, x, y, 1, -math.deg(math.atan(68 * math.cos(clock * 1.7) / 70)))
  for i = 0, 3 do
    local mx, my = 40 + i % 2 * 400, 70 + math.floor(i / 2) * 140
    sprite("mine", mx, my, 1, clock * (40 + i * 20) * (i % 2 == 0 and 1 or -1))
  end
  sprite("glow", W / 2, 52, 3.2, 0, 0x3050ff, -110)
  centred("STAR SWEEP", 44, 24, 0xffe080)
  centred("best " .. best(), 14, 76, 0x90a8d0)
  centred("arrows / d-pad / mouse  \183  Return / A  \183  F12 screenshot", 11, H - 18, 0x7080a0)
end

local function scores_art()
  backdrop()
  centred("HIGH SCORES", 28, 20, 0xffe080)
  if #save.scores == 0 then centred("no scores yet - go and play", 16, 90, 0x90a8d0) end
  for i, s in ipairs(save.scores) do
    local y = 60 + (i - 1) * 22
    local colour = (i == last.rank) and 0x60e0ff or 0xd8e4ff
    kel_font_draw(FONT, 18, i .. ".", 150, y, colour)
    kel_font_draw(FONT, 18, string.format("%07d", s.score), 180, y, colour)
    kel_font_draw(FONT, 14, s.date, 275, y + 3, 0x7080a0)
  end
end

local function options_art()
  backdrop()
  centred("OPTIONS", 28, 20, 0xffe080)
end

local function over_art()
  play.draw(clock)
  kel_image_draw("block", 0, 0, W, H, 0, 0x000000, 150)
  centred("GAME OVER", 40, 70, 0xff7050)
  centred(string.format("score %d", last.score), 20, 125, 0xffffff)
  if last.rank then
    centred("new high score - #" .. last.rank, 18, 155, 0x60e0ff, math.floor(180 + 75 * math.sin(clock * 6)))
  end
  centred("Return / A / click to go on", 12, 220, 0x90a8d0)
end

local ART = { title = title_art, scores = scores_art, options = options_art, over = over_art,
              play = function() play.draw(clock) end }

-- Sprites near the edges reach past the view; a window of another shape shows that in
-- the bands beside the view, so the bands are painted over last.
local function bands()
  local B = 100000
  kel_view_set(0, 0, W, H)
  kel_rect_draw(0x000000, -B, -B, W + 2 * B, B)
  kel_rect_draw(0x000000, -B, H, W + 2 * B, B)
  kel_rect_draw(0x000000, -B, 0, B, H)
  kel_rect_draw(0x000000, W, 0, B, H)
end

function _paint()
  if tr and not tr.grab then
    -- the transition is the whole frame: anything recorded now would cover it (the
    -- bands lie outside it)
    kel_ext_call("trans:draw", json_encode{ effect = tr.effect, value = math.min(1, tr.t) })
    bands()
    return
  end
  ART[screen]()
  if tr and tr.grab then
    kel_ext_call("trans:grab1")
    tr.grab = false
  end
  if note_time > 0 then
    kel_view_set(0, 0, W, H)
    kel_image_draw("block", 0, H - 20, W, 20, 0, 0x000000, 170)
    kel_font_draw(FONT, 11, note, 6, H - 17, 0xffffff, math.floor(255 * math.min(1, note_time)))
  end
  bands()
end
