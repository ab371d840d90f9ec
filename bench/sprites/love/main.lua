-- The sprite throughput scene of ../kel.lua for LOVE 11.4: same sprite, places and turns.
-- Run as: love bench/sprites/love N [S]
local N = 1000
local S = 16
local W, H = 640, 480
local xs, ys, rs = {}, {}, {}
local t, frames, measured = 0, 0, 0
local cpu0  -- os.clock is the process's CPU time, every thread's
local WARM, SPAN = 1.0, 3.0
local img

function love.load(args)
  N = tonumber(args[1]) or N
  S = tonumber(args[2]) or S
  img = love.graphics.newImage("sprite.png")
  math.randomseed(42)
  for i = 1, N do
    xs[i] = math.random() * (W - S)
    ys[i] = math.random() * (H - S)
    rs[i] = (i % 4 == 0) and math.random() * 360 or nil
  end
end

function love.update(dt)
  t = t + dt
  if t > WARM then
    cpu0 = cpu0 or os.clock()
    measured = measured + dt
    frames = frames + 1
    if measured >= SPAN then
      print(string.format("fps=%.1f n=%d cpu_ms=%.2f", frames / measured, N,
        (os.clock() - cpu0) * 1000 / frames))
      io.stdout:flush()
      love.event.quit()
    end
  end
end

function love.draw()
  local shift = (t * 60) % (W - S)
  local spin = t * 90
  local rad = math.pi / 180
  local k, half = S / 16, S / 2
  for i = 1, N do
    local x = (xs[i] + shift) % (W - S)
    local r = rs[i]
    if r then
      love.graphics.draw(img, x + half, ys[i] + half, (r + spin) * rad, k, k, 8, 8)
    else
      love.graphics.draw(img, x, ys[i], 0, k, k)
    end
  end
end
