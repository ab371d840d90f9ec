-- Encoding a long JSON text keeps no buffer of its size afterwards (it kept the whole
-- text's), nor does a long one that fails: resident memory before and after.
local function rss() return json_decode(kel_ext_call("memory:get")).rss end

function _init()
  local before = rss()
  assert(#json_encode(string.rep("a", 40e6)) == 40e6 + 2)
  assert(not pcall(json_encode, { string.rep("b", 4e6), 0 / 0 }))
  collectgarbage()
  local kept = (rss() - before) / 2 ^ 20
  print(kept < 8 and "kept under 8 MB" or ("kept " .. kept .. " MB"))
  kel_ext_call("exit")
end

function _loop() end
