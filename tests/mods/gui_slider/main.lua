-- Arrows that move no focus reach _event with the focused widget's name; a wrapping
-- row takes the focus round (the name, "]=]" and all, as the widget has it). Replayed by
-- keys.txt; every line of want must be seen.
local function gui(name, t) return json_decode(kel_ext_call(name, json_encode(t))) end

local want = {
  "keydown Right vol]=]", "keyup Right vol]=]",      -- keyboard: nothing right of the slider
  "joydown Right vol]=]", "joyup Right vol]=]",      -- d-pad
  "joymotion Left vol]=]", "joymotion Left vol]=]",  -- left stick pushed right, then centred
  "gui z",                                           -- Down moves, its keys are not the game's
  "gui x", "gui z",                                  -- Right and Left wrap in the row
  "gui vol]=]", "keydown Up vol]=]",                 -- Up to the slider, then Up again
}
local seen = {}

function _init()
  assert(gui("gui:add", {name = "vol]=]", width = 100, height = 10, on = {focus = "vol]=]"}}))
  assert(gui("gui:add", {name = "row", kind = "container", direction = "row", wrap = true}))
  for _, n in ipairs({"x", "y", "z"}) do
    assert(gui("gui:add", {name = n, parent = "row", width = 20, height = 10, on = {focus = n}}))
  end
  assert(gui("gui:focus", {name = "vol]=]"}))
end

function _event(e)
  if e.type == "gui" then
    seen[#seen + 1] = "gui " .. e.value
  elseif e.type:match("^key") or e.type:match("^joy") then
    seen[#seen + 1] = e.type .. " " .. e.name .. " " .. (e.focus or "-")
  end
end

function _loop(dt)
  if #seen < #want then return end
  for i, w in ipairs(want) do assert(seen[i] == w, i .. ": " .. tostring(seen[i]) .. " ~= " .. w) end
  print("gui slider ok")
  kel_ext_call("exit")
end
