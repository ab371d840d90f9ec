-- sound: samples and looping music through kelgame's mixer.
--
--   build/kelgame -mod examples/sound/main.lua
--
-- Uses the bundled game's sounds (data/game): 1 to 4 play samples (several may sound
-- at once), M starts and stops the music (an Ogg stream that loops without a gap),
-- Up and Down change its volume. Escape quits; "-frames N" plays a little by itself
-- and quits after N frames.

local W, H = 320, 180
local FONT = "fonts/dejavu"
local SAMPLES = { "game/pick", "game/pulse", "game/hit", "game/select" }
local volume, playing = 0.6, false
local last = "none yet"
local frames, frames_max = 0, tonumber(kel_params_get("frames"))

local function music(on)
  playing = on
  if on then kel_stream_play("game/theme", volume) else kel_stream_stop("game/theme") end
end

function _init()
  kel_params_set("caption", "kelgame - sound")
  music(true)
end

function _event(e)
  if e.type ~= "keydown" or e.name == "" then return end
  local n = tonumber(e.name)
  if n and SAMPLES[n] then
    kel_sample_play(SAMPLES[n], 0.9)
    last = SAMPLES[n]
  elseif e.name == "M" then
    music(not playing)
  elseif e.name == "Up" or e.name == "Down" then
    volume = math.max(0, math.min(1, volume + (e.name == "Up" and 0.1 or -0.1)))
    -- on a stream that plays, kel_stream_play only sets the volume
    if playing then kel_stream_play("game/theme", volume) end
  elseif e.name == "Escape" then
    kel_ext_call("exit")
  end
end

function _loop()
  frames = frames + 1
  if frames_max then
    if frames % 10 == 0 then kel_sample_play(SAMPLES[frames / 10 % #SAMPLES + 1], 0.5) end
    if frames == 20 then music(false) elseif frames == 25 then music(true) end
    if frames >= frames_max then kel_ext_call("exit") end
  end
end

function _paint()
  kel_view_set(0, 0, W, H)
  kel_rect_draw(0x202830, 0, 0, W, H)
  kel_font_draw(FONT, 16, "1-4: samples   M: music   Up/Down: volume", 10, 10)
  kel_font_draw(FONT, 14, "music: " .. (playing and "on" or "off") ..
    string.format("   volume %.1f", volume), 10, 50, 0xffcc66)
  kel_rect_draw(0x405060, 10, 80, 200, 10)
  kel_rect_draw(0xffcc66, 10, 80, 200 * volume, 10)
  kel_font_draw(FONT, 14, "last sample: " .. last, 10, 110, 0xaaccff)
end
