-- A failure a player must recover from with a controller. play.txt fails the script with
-- A, then holds Back and Start; B reaches only a script that was started again, and that
-- one says so and quits. Run headless (the chord restarts it) and with a window under
-- "-crash restart" (the policy restarts it; the chord then reaches the new script).
function _init() print("started") end

function _event(e)
  if e.type ~= "joydown" then return end
  if e.name == "A" then error("failing on purpose") end
  if e.name == "B" then
    print("B after a restart")
    kel_ext_call("exit")
  end
end

function _loop() end
function _paint() kel_rect_draw(0x203040, 0, 0, 160, 120) end
