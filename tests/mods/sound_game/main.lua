-- Sound end to end: a 1000 Hz sample, then a 500 Hz Ogg stream stored at 22050 Hz,
-- its volume halved while it plays, then stopped. Run with a window and the disk
-- audio driver; the test reads back what the device received.
-- Timeline (seconds of game time): 0 sample, 1.0 stream, 2.2 half volume,
-- 3.4 stop, 3.8 exit.
local t = 0
local phase = 0

function _init()
    kel_sample_play("beep")
end

function _loop(dt)
    t = t + dt
    if phase == 0 and t >= 1.0 then
        kel_stream_play("mono_22050")
        phase = 1
    elseif phase == 1 and t >= 2.2 then
        kel_stream_play("mono_22050", 0.5)  -- playing already: only the volume changes
        phase = 2
    elseif phase == 2 and t >= 3.4 then
        kel_stream_stop("mono_22050")
        kel_stream_stop("mono_22050")  -- not playing any more: nothing happens
        phase = 3
    elseif phase == 3 and t >= 3.8 then
        kel_ext_call("exit")
    end
end

function _event(e) end

function _paint() end
