-- Every event play.txt sends, as the script's table shows it (its fields, then their
-- values): names of types, keys and controller buttons, text bytes, and pointer events
-- in view coordinates: the 320 x 200 view letterboxed in the 640 x 480 window is scaled
-- by 2 with bands of 40 above and below, and scrolled by 10 from frame 5.
local frame, view_x = 0, 0

function _init()
  kel_params_set("view_w", 320)
  kel_params_set("view_h", 200)
end

function _loop()
  frame = frame + 1
  if frame == 5 then view_x = 10 end
end

function _event(e)
  -- the pointer's live moves over the window are no part of the replay
  if (e.type == "mousemotion" or e.type == "motion") and e.dx ~= 20 and e.dx ~= 10 then return end
  local keys = {}
  for k in pairs(e) do keys[#keys + 1] = k end
  table.sort(keys)
  local text = e.text:gsub("[^%w]", function(c) return "\\" .. c:byte() end)
  print(("%s (%s) key=%s name=%s text=%s x=%g y=%g dx=%g dy=%g button=%d w=%d h=%d device=%d")
    :format(e.type, table.concat(keys, ","), tostring(e.key), tostring(e.name), text, e.x, e.y,
      e.dx, e.dy, e.button, e.w, e.h, e.device))
end

function _paint() kel_view_set(view_x, 0, 320, 200) end
