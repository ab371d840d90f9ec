-- Sprite throughput scene: N S x S sprites a frame at pseudo-random places, a quarter
-- of them turning. Run with -n N [-size S] (S = 16 by default); prints "fps=..." once it
-- has measured three seconds after one second of warm-up (with the CPU time per frame
-- of all threads), then exits. The same scene for LOVE is in love/.
local N = tonumber(kel_params_get("n")) or 1000
local S = tonumber(kel_params_get("size")) or 16
local W, H = 640, 480
local xs, ys, rs = {}, {}, {}
local t, frames, measured = 0, 0, 0
local cpu0  -- os.clock is the process's CPU time, every thread's
local WARM, SPAN = 1.0, 3.0

function _init()
  math.randomseed(42)
  for i = 1, N do
    xs[i] = math.random() * (W - S)
    ys[i] = math.random() * (H - S)
    rs[i] = (i % 4 == 0) and math.random() * 360 or nil
  end
end

function _loop(dt)
  t = t + dt
  if t > WARM then
    cpu0 = cpu0 or os.clock()
    measured = measured + dt
    frames = frames + 1
    if measured >= SPAN then
      print(string.format("fps=%.1f n=%d cpu_ms=%.2f", frames / measured, N,
        (os.clock() - cpu0) * 1000 / frames))
      kel_ext_call("exit")
    end
  end
end

function _event(e) end

function _paint()
  kel_view_set(0, 0, W, H)
  local shift = (t * 60) % (W - S)
  local spin = t * 90
  for i = 1, N do
    local x = (xs[i] + shift) % (W - S)
    local r = rs[i]
    if r then
      kel_image_draw("sprite", x, ys[i], S, S, r + spin)
    else
      kel_image_draw("sprite", x, ys[i], S, S)
    end
  end
end
