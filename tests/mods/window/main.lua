-- A windowed game without a font of its own: a red 320 x 200 view letterboxed in the
-- window, a white image, a green corner. Frame 3 of each start fails half way; its last
-- frame stays, with the console (kelgame's own font) over it. play.txt: F5 starts it
-- afresh, Ctrl+` shows the console over the running game and hides it, Ctrl+F re-creates
-- the window full screen (textures survive) and back, Ctrl+Q ends the run.
-- "-case resize": video:resize refuses sizes no window can have, tells the script the
-- size the window got, and an error in the _event it runs fails the script.
local frames = 0

function _init()
  print("one", "two", "three", "four")
  if kel_params_get("case") ~= "resize" then return end
  for _, bad in ipairs({ '{"width":1e30,"height":300}', '{"width":300,"height":-1}' }) do
    kel_ext_call("video:resize", bad)
  end
  print("window " .. kel_params_get("window_w") .. "x" .. kel_params_get("window_h"))
  kel_ext_call("video:resize", '{"width":0,"height":0}')  -- the default size
  kel_ext_call("video:resize", '{"width":400,"height":300}')
  print("back")
end

function _loop(dt) end

function _event(e)
  if e.type == "resize" then
    -- the parameters have the new size while the event is handled
    local same = e.w == kel_params_get("window_w") and e.h == kel_params_get("window_h")
    print((e.w == 400 and "resize 400x300" or "resize to another size") ..
      (same and "" or ", not in the parameters"))
    assert(e.w ~= 400)
  end
end

function _paint()
  frames = frames + 1
  if frames == 2 then print(kel_params_get("window_w") .. " " .. kel_params_get("view_scale")) end
  kel_view_set(0, 0, 320, 200)
  kel_rect_draw(0xff0000, 0, 0, 320, 200)
  kel_image_draw("images/white", 10, 10, 32, 32)
  if frames == 3 then error("boom") end
  kel_rect_draw(0x00ff00, 300, 0, 20, 20)
end
