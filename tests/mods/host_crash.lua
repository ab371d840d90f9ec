-- Crash policies of the headless host.
--   plain run:        errors the script catches do not fail it; it exits normally.
--   "-case fail":     _loop fails on the second frame; "-crash exit" must end with status 1.
--   "-crash restart": the first state fails; the host must start a fresh state.
local case = kel_params_get("case")
local policy = kel_params_get("crash")
local frames = 0
local stamp = "host_crash.stamp"

function _init()
    assert(not pcall(error, "caught"))
    assert(select(2, pcall(kel_params_set, "t", {})) == "null string")
end

local function restart_frame()
    local t = tonumber(kel_file_load(stamp))
    if t and os.time() - t <= 5 then
        assert(leftover == nil, "a global survived the restart")
        assert(kel_params_get("leftover") == nil, "a parameter survived the restart")
        kel_file_save(stamp, "")
        kel_ext_call("exit")
    else
        kel_file_save(stamp, tostring(os.time()))
        leftover = true
        kel_params_set("leftover", 1)
        error("failing on purpose")
    end
end

function _loop(dt)
    frames = frames + 1
    if case == "fail" then
        if frames == 2 then error("failing on purpose") end
        assert(frames < 2, "called again after failing")
    elseif policy == "restart" then
        restart_frame()
    else
        kel_ext_call("exit")
    end
end
