-- Mistakes that draw, play or answer nothing, each made twice (in two frames): kelgame
-- says so once on standard error. warn_run.sh compares that with expected.txt.
local frame = 0

function _init()
  assert(kel_params_get("appid") == "KelGame")  -- with a window, as the driver has it
end
function _event() end

function _loop()
  frame = frame + 1
  if frame > 2 then return kel_ext_call("exit") end
  assert(not pcall(require, "helpers"))
  assert(kel_ext_call("gui:ad", '{"name":"x"}') == "null")
  kel_ext_call("gui:add", "{name=1}")
  kel_ext_call("gui:add", '{"name":')
  -- read whole or not at all: the name before the 17th level is not acted on
  local deep = string.rep("[", 15) .. string.rep("]", 15)
  assert(kel_ext_call("gui:add", '{"name":"half","a":' .. deep .. '}') == "null")
  kel_ext_call("image:sub", '{"source":"images/nosuch","name":"part","x":0,"width":-1}')
  kel_ext_call("image:sub", '{"source":"images/nosuch","name":"' .. string.rep("n", 300) .. '"}')
  kel_ext_call("image:sub", '{"source":"images/nosuch","name":"' .. string.rep("n", 70000) .. '"}')
  kel_sample_play("sounds/nosuch")
  kel_stream_play("music/nosuch")
end

function _paint()
  kel_image_draw("images/nosuch", 0, 0, 10, 10)
  kel_font_draw("fonts/nosuch", 12, "hi", 0, 0)
end
