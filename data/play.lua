-- Star Sweep, the round itself: a ship, gems to sweep up, mines drifting in, a pulse
-- that clears the mines around the ship. Shared through the global table `play`.
--
-- play.new(lives)       a fresh round
-- play.input(e)         an event of the round (keys, mouse, controller)
-- play.step(dt)         advance; answers "over" when the last life is lost
-- play.draw(t)          record the frame (t: seconds since start, for the stars)

play = {}

local W, H = 480, 270
local FONT = "fonts/dejavu"

local r                     -- the round
local held = {}             -- keys and pad buttons held, by name
local stick = { x = 0, y = 0 }

local function sound(name) if sfx_on() then kel_sample_play("game/" .. name, 0.8) end end

function play.new(lives)
  held, stick = {}, { x = 0, y = 0 }
  r = {
    ship = { x = 80, y = H / 2, vx = 0, vy = 0, angle = 0, safe = 2 },
    pointer = nil,          -- mouse steering target while the button is held
    lives = lives, score = 0, time = 0, combo = 0, combo_time = 0,
    gems = {}, mines = {}, sparks = {}, pulses = {},
    charge = 1, spawn = 1.5, shake = 0, flash = 0, over = false,
  }
end

function play.score() return r and r.score or 0 end

local function dist(a, b) return math.sqrt((a.x - b.x) ^ 2 + (a.y - b.y) ^ 2) end

local function burst(x, y, n, colour, speed)
  for _ = 1, n do
    local a, s = math.random() * 2 * math.pi, speed * (0.3 + math.random())
    r.sparks[#r.sparks + 1] = { x = x, y = y, vx = math.cos(a) * s, vy = math.sin(a) * s,
      life = 0.4 + math.random() * 0.5, colour = colour }
  end
end

local function pulse()
  if r.charge < 1 then return end
  r.charge = 0
  r.pulses[#r.pulses + 1] = { x = r.ship.x, y = r.ship.y, t = 0 }
  sound("pulse")
end

function play.input(e)
  local t = e.type
  if t == "keydown" and e.name ~= "" then
    held[e.name] = true
    if e.name == "Space" or e.name == "Return" or e.name == "X" then pulse() end
  elseif t == "keyup" then
    held[e.name] = nil
  elseif t == "joydown" then
    held["pad" .. e.name] = true
    if e.name == "A" or e.name == "X" then pulse() end
  elseif t == "joyup" then
    held["pad" .. e.name] = nil
  elseif t == "joymotion" and e.name == "Left" then
    stick.x, stick.y = e.x, e.y
  elseif t == "down" then
    if e.button == 3 then pulse() else r.pointer = { x = e.x, y = e.y } end
  elseif t == "motion" then
    if r.pointer then r.pointer = { x = e.x, y = e.y } end
  elseif t == "up" then
    r.pointer = nil
  end
end

local function axis(neg, pos)
  local v = 0
  for _, k in ipairs(neg) do if held[k] then v = v - 1 end end
  for _, k in ipairs(pos) do if held[k] then v = v + 1 end end
  return math.max(-1, math.min(1, v))
end

local function steer(dt)
  local s = r.ship
  local ax = axis({ "Left", "A", "padLeft" }, { "Right", "D", "padRight" })
  local ay = axis({ "Up", "W", "padUp" }, { "Down", "S", "padDown" })
  if math.abs(stick.x) > 0.2 then ax = stick.x end
  if math.abs(stick.y) > 0.2 then ay = stick.y end
  if r.pointer then
    local dx, dy = r.pointer.x - s.x, r.pointer.y - s.y
    local d = math.sqrt(dx * dx + dy * dy)
    if d > 4 then ax, ay = dx / d * math.min(1, d / 40), dy / d * math.min(1, d / 40) end
  end
  s.vx = (s.vx + ax * 900 * dt) * (1 - math.min(1, 4 * dt))
  s.vy = (s.vy + ay * 900 * dt) * (1 - math.min(1, 4 * dt))
  s.x = math.max(12, math.min(W - 12, s.x + s.vx * dt))
  s.y = math.max(24, math.min(H - 12, s.y + s.vy * dt))
  if s.vx * s.vx + s.vy * s.vy > 100 then
    local want = math.deg(math.atan2(-s.vy, s.vx))  -- counter-clockwise on screen
    local diff = (want - s.angle + 540) % 360 - 180
    s.angle = s.angle + diff * math.min(1, 10 * dt)
  end
end

local function spawn_mine()
  local side = math.random(4)
  local x, y
  if side == 1 then x, y = -20, math.random(20, H - 20)
  elseif side == 2 then x, y = W + 20, math.random(20, H - 20)
  elseif side == 3 then x, y = math.random(20, W - 20), -20
  else x, y = math.random(20, W - 20), H + 20 end
  local tx, ty = r.ship.x + math.random(-60, 60), r.ship.y + math.random(-60, 60)
  local d = math.sqrt((tx - x) ^ 2 + (ty - y) ^ 2)
  local speed = 45 + 1.6 * r.time + math.random() * 20
  r.mines[#r.mines + 1] = { x = x, y = y, vx = (tx - x) / d * speed, vy = (ty - y) / d * speed,
    angle = 0, spin = math.random(-180, 180) }
end

local function spawn_gem()
  for _ = 1, 10 do
    local g = { x = math.random(30, W - 30), y = math.random(40, H - 30), t = 0 }
    if dist(g, r.ship) > 80 then r.gems[#r.gems + 1] = g; return end
  end
end

local function hit()
  local s = r.ship
  r.lives = r.lives - 1
  r.shake, r.flash, r.combo = 0.4, 0.25, 0
  burst(s.x, s.y, 40, 0xffa040, 160)
  sound("hit")
  s.safe = 2
  for i = #r.mines, 1, -1 do
    if dist(r.mines[i], s) < 70 then table.remove(r.mines, i) end
  end
  if r.lives <= 0 then r.over, r.shake, r.flash = true, 0, 0 end  -- the last frame stays still
end

-- One fixed slice of the round.
local function tick(dt)
  local s = r.ship
  r.time = r.time + dt
  r.score = r.score + dt * 5
  r.charge = math.min(1, r.charge + dt / 4)
  r.shake = math.max(0, r.shake - dt)
  r.flash = math.max(0, r.flash - dt)
  s.safe = math.max(0, s.safe - dt)
  r.combo_time = r.combo_time - dt
  if r.combo_time <= 0 then r.combo = 0 end
  steer(dt)

  r.spawn = r.spawn - dt
  if r.spawn <= 0 then
    spawn_mine()
    r.spawn = math.max(0.3, 1.5 - r.time * 0.025)
  end
  while #r.gems < 3 do spawn_gem() end

  for i = #r.gems, 1, -1 do
    local g = r.gems[i]
    g.t = g.t + dt
    if dist(g, s) < 18 then
      r.combo = math.min(r.combo + 1, 9)
      r.combo_time = 2
      r.score = r.score + 50 * r.combo
      burst(g.x, g.y, 14, 0x60e0ff, 90)
      sound("pick")
      table.remove(r.gems, i)
    end
  end
  for i = #r.mines, 1, -1 do
    local m = r.mines[i]
    m.x, m.y = m.x + m.vx * dt, m.y + m.vy * dt
    m.angle = m.angle + m.spin * dt
    if m.x < -40 or m.x > W + 40 or m.y < -40 or m.y > H + 40 then
      table.remove(r.mines, i)
    elseif s.safe <= 0 and dist(m, s) < 22 then
      hit()
      if r.over then return end
      break
    end
  end
  for i = #r.pulses, 1, -1 do
    local p = r.pulses[i]
    p.t = p.t + dt
    local radius = 120 * p.t / 0.45
    for j = #r.mines, 1, -1 do
      if dist(r.mines[j], p) < radius then
        burst(r.mines[j].x, r.mines[j].y, 10, 0xff7040, 120)
        r.score = r.score + 25
        table.remove(r.mines, j)
      end
    end
    if p.t >= 0.45 then table.remove(r.pulses, i) end
  end
  for i = #r.sparks, 1, -1 do
    local p = r.sparks[i]
    p.x, p.y = p.x + p.vx * dt, p.y + p.vy * dt
    p.life = p.life - dt
    if p.life <= 0 then table.remove(r.sparks, i) end
  end
end

function play.step(dt)
  while dt > 0 and not r.over do
    local d = math.min(dt, 1 / 60)
    tick(d)
    dt = dt - d
  end
  if r.over then return "over" end
end

-- Centred sprite of the atlas, at scale k of its full (untrimmed) size.
function sprite(name, x, y, k, rot, colour, alpha)
  local s = sprite_size[name]
  local w, h = s.w * k, s.h * k
  kel_image_draw(name, x - w / 2, y - h / 2, w, h, rot or 0, colour or 0xffffff, alpha or 255)
end

-- Stars drifting left in three layers, additive; places from a hash of the index.
local function hash(i) local v = math.sin(i * 12.9898) * 43758.5453; return v - math.floor(v) end
function stars(t)
  for i = 1, 70 do
    local layer = i % 3 + 1
    local x = (hash(i) * (W + 20) - t * 12 * layer) % (W + 20) - 10
    local y = hash(i + 100) * H
    sprite("spark", x, y, 0.25 + 0.15 * layer, 0, 0xa0c0ff, -(40 + 50 * layer))
  end
end

function play.draw(t)
  local s = r.ship
  local ox, oy = 0, 0
  if r.shake > 0 then ox, oy = math.random(-4, 4) * r.shake * 2, math.random(-4, 4) * r.shake * 2 end
  kel_view_set(ox, oy, W, H)
  kel_rect_draw(0x060814, 0, 0, W, H)
  stars(t)

  for _, g in ipairs(r.gems) do
    local pulse_k = 1 + 0.15 * math.sin(g.t * 6)
    sprite("glow", g.x, g.y, 0.7 * pulse_k, 0, 0x40c0ff, -150)
    sprite("orb", g.x, g.y, pulse_k, g.t * 90)
  end
  for _, m in ipairs(r.mines) do
    sprite("glow", m.x, m.y, 0.6, 0, 0xff4020, -90)
    sprite("mine", m.x, m.y, 1, m.angle)
  end
  for _, p in ipairs(r.pulses) do
    local k = (120 * p.t / 0.45) / 32
    sprite("ring", p.x, p.y, k, 0, 0x80d0ff, -math.floor(255 * (1 - p.t / 0.45)))
  end
  if s.safe <= 0 or math.floor(s.safe * 10) % 2 == 0 then
    local frame = "ship" .. (math.floor(t * 15) % 3)
    sprite("glow", s.x, s.y, 0.8, 0, 0xffb050, -70)
    sprite(frame, s.x, s.y, 1, s.angle)
  end
  for _, p in ipairs(r.sparks) do
    sprite("spark", p.x, p.y, 0.8, 0, p.colour, -math.floor(255 * math.min(1, p.life * 2)))
  end
  if r.flash > 0 then kel_image_draw("block", 0, 0, W, H, 0, 0xff4020, -math.floor(400 * r.flash)) end

  -- The bar along the top: score, combo, pulse charge, lives.
  kel_view_set(0, 0, W, H)
  kel_image_draw("block", 0, 0, W, 20, 0, 0x000000, 150)
  kel_font_draw(FONT, 14, string.format("%07d", math.floor(r.score)), 8, 2, 0xffffff)
  if r.combo > 1 then kel_font_draw(FONT, 14, "x" .. r.combo, 78, 2, 0x60e0ff) end
  kel_font_draw(FONT, 12, "PULSE", 180, 3, r.charge >= 1 and 0x80d0ff or 0x607080)
  kel_image_draw("block", 222, 6, 80, 8, 0, 0x203040)
  kel_image_draw("block", 222, 6, 80 * r.charge, 8, 0, r.charge >= 1 and 0x80d0ff or 0x406080)
  for i = 1, r.lives do sprite("ship0", W - 14 - (i - 1) * 22, 10, 0.5, 90) end
end
