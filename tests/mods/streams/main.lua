-- A restart (F5 on the failed script, frame 4 of play.txt) stops the old script's music
-- with it, or the new script's first play would sound a second copy: both starts count
-- one voice.
local frame = 0

function _init()
  kel_stream_play("mono_22050", 1.0)
  kel_stream_play("stereo_44100", 1.0)
  kel_stream_stop("stereo_44100")
end

function _loop()
  frame = frame + 1
  if frame == 2 then
    print("voices " .. json_decode(kel_ext_call("stats:get")).voices)
    error("failing, so that F5 restarts")
  end
end

function _event() end
function _paint() end
