-- The bundled game with a meter: every 1,800 frames a line "soak FRAME MS {memory}" on
-- standard output; after "-soak_seconds N" of wall time the game ends by itself.
require("main")   -- the bundled game (from the data directory)

local game_loop = _loop
local seconds = tonumber(kel_params_get("soak_seconds")) or 600
local frames, start = 0, nil

function _loop(dt)
  game_loop(dt)
  local ms = tonumber(kel_ext_call("timer:get_ticks"))
  start = start or ms
  if frames % 1800 == 0 then
    print(string.format("soak %d %d %s %d", frames, ms - start, kel_ext_call("memory:get"),
      math.floor(collectgarbage("count") * 1024)))
  end
  frames = frames + 1
  if ms - start >= seconds * 1000 then kel_ext_call("exit") end
end
