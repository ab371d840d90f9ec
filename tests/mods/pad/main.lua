-- Controllers plugged in and out, and the analog triggers, as a script sees them;
-- replayed by play.txt.
local want = {
  "joyadded 3", "joymotion L2 1 3", "joymotion R2 0.5 3", "joymotion R2 0 3",
  "joydown Start 3", "joyremoved 3",
}
local seen = {}

function _init() end

function _event(e)
  if e.type == "joymotion" then
    seen[#seen + 1] = string.format("%s %s %g %d", e.type, e.name, e.x, e.device)
  elseif e.type:match("^joy") then
    seen[#seen + 1] = e.type .. (e.name and " " .. e.name or "") .. " " .. e.device
  end
end

function _loop(dt)
  if #seen < #want then return end
  for i, w in ipairs(want) do assert(seen[i] == w, i .. ": " .. tostring(seen[i]) .. " ~= " .. w) end
  print("pad ok")
  kel_ext_call("exit")
end
