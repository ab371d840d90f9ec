-- LÖVE side of the text benchmark: the shape of bench_font's BM_FontFrame50x1000.
-- Each frame draws the same 1,000-character text (20 lines of 50) 50 times with
-- love.graphics.print, from the engine's bundled bitmap font at size 14, and presents.
-- Prints the wall time per frame and per character, then quits.
-- An error must end the run, not wait on LÖVE's error screen.
function love.errorhandler(msg)
    print("LOVE ERROR: " .. tostring(msg))
    os.exit(1)
end

local FRAMES = tonumber(os.getenv("KEL_BENCH_FRAMES") or "90")
local WARMUP = 10

local function text_1000()
    local words = "The quick brown fox jumps over the lazy dog. 0123456789 "
    local lines = {}
    for line = 0, 19 do
        local t = {}
        for i = 0, 49 do
            local k = (line * 7 + i) % 56 + 1
            t[#t + 1] = words:sub(k, k)
        end
        lines[#lines + 1] = table.concat(t)
    end
    return table.concat(lines, "\n")
end

function love.run()
    local font = love.graphics.newFont("dejavu.fnt")
    local scale = 14 / font:getHeight()
    local text = text_1000()
    love.graphics.setFont(font)
    local t0
    for frame = 1, WARMUP + FRAMES do
        if frame == WARMUP + 1 then t0 = love.timer.getTime() end
        love.event.pump()
        love.graphics.origin()
        love.graphics.clear(0, 0, 0, 1)
        love.graphics.setColor(1, 1, 1, 1)
        for i = 0, 49 do love.graphics.print(text, i % 10, i, 0, scale, scale) end
        love.graphics.present()
    end
    local per_frame = (love.timer.getTime() - t0) / FRAMES
    print(string.format("love_print_frame50x1000 %.2f ms/frame %.1f ns/char (%s)",
        per_frame * 1000, per_frame / 50000 * 1e9, love.graphics.getRendererInfo()))
    return function() return 0 end
end
