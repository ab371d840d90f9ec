-- "exit" ends the game after the current frame, with a normal exit status.
local frames = 0

function _init() end

function _loop(dt)
    frames = frames + 1
    assert(frames <= 2, "the game kept running after exit")
    if frames == 1 then assert(kel_ext_call("exit") == "") end
end
