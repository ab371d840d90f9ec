-- Widget values reach _event as tables, whatever their keys: replayed by keys.txt
-- (Return clicks "a", Down moves the focus to "b").
local function gui(name, t) return json_decode(kel_ext_call(name, json_encode(t))) end

local inject = 'x=(function() injected = true end)() or 1,y'
local want = {
    a = { ["next-screen"] = 2, ["1"] = "one", ["end"] = false, [inject] = 3,
          nested = { list = { 1, "two", { deep = { 3, 4 } } }, ["]=]"] = "a]=]b\r\n" } },
    b = { { 1, 2 }, {}, { k = { "v" } } },
}
local got = {}

local function same(x, y)
    if type(x) ~= "table" or type(y) ~= "table" then return x == y end
    for k, v in pairs(x) do if not same(v, y[k]) then return false end end
    for k in pairs(y) do if x[k] == nil then return false end end
    return true
end

function _init()
    assert(gui("gui:add", { name = "a", width = 50, height = 20, on = { click = want.a } }))
    assert(gui("gui:add", { name = "b", width = 50, height = 20, on = { focus = want.b } }))
    assert(gui("gui:focus", { name = "a" }))
end

function _event(e)
    if e.type == "gui" then got[e.name] = e.value end
end

function _loop(dt)
    if not (got.a and got.b) then return end
    assert(injected == nil, "a key ran as code")
    for name, v in pairs(want) do assert(same(got[name], v), name .. ": " .. json_encode(got[name])) end
    print("gui events ok")
    kel_ext_call("exit")
end
