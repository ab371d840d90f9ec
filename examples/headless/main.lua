-- headless: game logic checked without a window, the way a game's own CI can run it.
--
--   build/kelgame -headless -crash exit -mod examples/headless/main.lua --verbose
--
-- Headless, it steps a glider one generation per frame, checks after four frames
-- that it has moved one cell down and right, prints the result and ends the run
-- with kel_ext_call("exit"). A failed check is a script error: with "-crash exit"
-- the process ends with status 1 ("kelgame: script failed" on stderr), otherwise 0.
--
-- With a window the same board is drawn and keeps evolving until Escape (or until
-- "-frames N" frames have passed).

require("life")   -- life.lua beside this file; it defines the global table "life"

local W, H = 24, 16                   -- board cells; also the view, one unit per cell
local GLIDER = { ".#.", "..#", "###" }

local headless = kel_params_get("headless")
local frames_left = tonumber(kel_params_get("frames"))
local board, generation = nil, 0
local timer = 0

local function glider_at(b, x, y)
  local probe = life.new(b.w, b.h)
  life.place(probe, x, y, GLIDER)
  for i = 1, #b.cells do
    if b.cells[i] ~= probe.cells[i] then return false end
  end
  return true
end

function _init()
  board = life.new(W, H)
  life.place(board, 2, 2, GLIDER)
  -- Fail early and loudly: an error in _init fails the script like one in _loop.
  assert(life.population(board) == 5, "a glider has five cells")
end

function _event(e)
  if e.type == "keydown" and e.name == "Escape" then kel_ext_call("exit") end
end

function _loop(dt)
  if headless then
    board = life.step(board)
    generation = generation + 1
    if generation == 4 then
      assert(glider_at(board, 3, 3), "the glider should have moved by one cell")
      assert(life.population(board) == 5, "the glider should still have five cells")
      print("glider ok after " .. generation .. " generations")
      kel_ext_call("exit")        -- ends the run after this frame
    end
  else
    timer = timer + dt
    if timer >= 0.15 then          -- about seven generations a second
      timer = 0
      board = life.step(board)
      generation = generation + 1
    end
  end
  if frames_left then
    frames_left = frames_left - 1
    if frames_left <= 0 then kel_ext_call("exit") end
  end
end

function _paint()                  -- never called headless
  kel_view_set(0, 0, W, H)
  kel_rect_draw(0x101010, 0, 0, W, H)
  for y = 1, H do
    for x = 1, W do
      if life.get(board, x, y) then
        kel_rect_draw(0x66dd88, x - 1 + 0.05, y - 1 + 0.05, 0.9, 0.9)
      end
    end
  end
  kel_font_draw("fonts/dejavu", 1, "generation " .. generation, 0.5, 0.2, 0xffffff, 160)
end
