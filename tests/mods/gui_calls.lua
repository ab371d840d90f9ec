-- The gui:* names headless: bad arguments answer false, set/select/remove/clear
-- change what gui:get reports, a state's edges apply in that state.
local function gui(name, t) return json_decode(kel_ext_call(name, json_encode(t))) end

function _init()
    assert(gui("gui:add", { name = "" }) == false)
    assert(gui("gui:add", { name = "x", kind = "slider" }) == false)
    assert(gui("gui:add", { name = "x", root = 2 }) == false)
    assert(gui("gui:add", { name = "col", kind = "container", padding = { 1, 2, 3, 4 } }))
    assert(gui("gui:add", { parent = "col", name = "a", width = 50, height = 10, margin = 5 }))
    assert(gui("gui:add", { parent = "a", name = "b" }) == false)  -- a is no container
    assert(gui("gui:add", { parent = "col", name = "b", width = 50, height = 10, both = { padding = 2 } }))
    assert(gui("gui:add", { parent = "col", name = "b" }) == false)  -- duplicate
    assert(gui("gui:add", { parent = "nope", name = "c" }) == false)
    assert(gui("gui:set", { name = "nope" }) == false)

    local a = gui("gui:get", { name = "a" })
    assert(a.x == 4 and a.y == 1 and a.width == 60 and a.height == 20, json_encode(a))
    assert(gui("gui:get", { name = "b" }).y == 21)
    assert(gui("gui:set", { name = "a", height = 30, disabled = true }))
    local b = gui("gui:get", { name = "b" })
    assert(b.y == 41 and b.state == 0 and not b.focused, json_encode(b))
    assert(gui("gui:get", { name = "a" }).disabled)

    assert(gui("gui:select", { name = "b" }))
    b = gui("gui:get", { name = "b" })
    assert(b.state == 4 and b.focused and b.active and b.height == 14, json_encode(b))
    assert(gui("gui:remove", { name = "b" }))
    assert(gui("gui:get", { name = "b" }) == false)
    assert(gui("gui:clear", { root = 0 }))
    assert(gui("gui:get", { name = "col" }) == false)
    assert(kel_ext_call("gui:nothing", "{}") == "null")
end

function _loop(dt) kel_ext_call("exit") end
