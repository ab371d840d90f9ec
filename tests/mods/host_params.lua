-- Parameters a headless game starts with: command-line pairs first, then the
-- defaults, which win on a clash. A second run adds "-foo bar -width 800x -baz".
local function check(name, want)
    local got = kel_params_get(name)
    assert(got == want, name .. ": got " .. tostring(got) .. ", want " .. tostring(want))
end

function _init()
    -- "-headless -crash" first made headless the text "-crash"; the default replaced it.
    check("headless", true)
    check("crash", "exit")
    assert(kel_params_get("mod"):match("host_params%.lua$"))
    check("platform", "Evercade")
    check("version", "test")
    check("idiom", "")
    check("appid", "")  -- none headless: the data area is ../data, saves go to the working dir
    for name, want in pairs({speed = 1, ticks = 1, view_x = 0, view_y = 0, view_w = 0, view_h = 0,
                             view_scale = 1, window_w = 0, window_h = 0}) do
        check(name, want)
    end
    assert(kel_params_get("vinfo"):match("^kelgame %S+ %(.+%)$"), kel_params_get("vinfo"))
    if kel_params_get("foo") ~= nil then
        check("foo", "bar")
        check("width", "800x")  -- parameters stay text
        check("baz", nil)       -- a last name without a value sets nothing
    end
end

function _loop(dt)
    assert(dt >= 0 and dt <= 1)
    kel_ext_call("exit")
end
