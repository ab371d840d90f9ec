-- What a window system may lack, used with no display server: the run must go on.
-- runs.txt sends Ctrl+F at frames 3 and 5 (full screen and back).
local frame = 0
function _init() end
function _event() end
function _loop()
  frame = frame + 1
  if frame == 2 then
    kel_ext_call("clipboard:set", '"copied"')
    print("clipboard " .. kel_ext_call("clipboard:get"))
    kel_ext_call("keyboard:show", '{"x":1,"y":2,"width":30,"height":40}')
    kel_ext_call("keyboard:hide")
  elseif frame == 8 then
    print("window " .. kel_params_get("window_w") .. " x " .. kel_params_get("window_h"))
    return kel_ext_call("exit")
  end
end
function _paint() kel_rect_draw(0x3366cc, 0, 0, 1000, 1000) end
