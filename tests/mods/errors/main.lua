-- What reaches the console: print's arguments one a line, error objects of any kind
-- ("-case" picks one; error(nil) has nothing to report), and a finalizer's print as the
-- game ends.
keep = setmetatable({}, { __gc = function() print("closing") end })

function _init()
  print("one", 2, nil)
  local case = kel_params_get("case")
  if case == "table" then error({}) end
  local custom = setmetatable({}, { __tostring = function() return "custom" end })
  if case == "custom" then error(custom) end
  if case == "nil" then error(nil) end
end

function _loop() kel_ext_call("exit") end
