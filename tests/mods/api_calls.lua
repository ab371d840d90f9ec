-- Argument rules of the engine functions and the extension call.
local function fails(expected, f, ...)
    local ok, e = pcall(f, ...)
    assert(not ok, "call did not fail")
    assert(e == expected, tostring(e))
end

function _init()
    local n = "incorrect number of arguments"
    fails(n, kel_rect_draw, 0xFFFFFF, 1, 2, 3)
    fails(n, kel_image_draw, "img", 1, 2, 3)
    fails(n, kel_font_draw, "f", 1, "t", 2, 3, 4, 5, 6)
    fails(n, kel_params_set, "k")
    local s = "null string"
    fails(s, kel_params_set, "k", {})
    fails(s, kel_file_save, "name", nil)
    fails(s, kel_sample_play, {})

    assert(kel_ext_call("md5_digest", "abc") == "900150983cd24fb0d6963f7d28e17f72")
    for _, arg in ipairs({'{"a":{"b":[1,2,3]}}', "[[["}) do
        assert(kel_ext_call("no:such:name", arg) == "null")
    end
    assert(kel_ext_call("no:such:name") == "null")

    -- Sound and drawing calls are safe without a window.
    kel_sample_play("no_such_sample")
    kel_stream_play("no_such_stream", 0.5)
    kel_stream_stop("no_such_stream")
    local w, h = kel_font_size("no_such_font", 12, "text")
    assert(type(w) == "number" and type(h) == "number")

    -- Miscellaneous names without a window: answers, but nothing to show or change.
    local t = tonumber(kel_ext_call("timer:get_ticks"))
    assert(t and t >= 0 and t == math.floor(t), tostring(t))
    assert(kel_ext_call("clipboard:set", '"copied"') == "true")
    assert(kel_ext_call("clipboard:get") == '""')
    assert(kel_ext_call("keyboard:show", '{"x":1,"y":2,"width":30,"height":40}') == "null")
    assert(kel_ext_call("keyboard:hide") == "null")
    assert(kel_ext_call("video:resize", '{"width":320,"height":200,"full":0}') == "null")
    assert(kel_ext_call("quit") == "null")  -- ends the game after this frame

    -- JSON: the library table is not left reachable; sparse arrays become objects, no NaN
    -- goes out, nesting is limited to 256
    assert(cjson == nil and _json_init == nil and package.loaded.cjson == nil)
    assert(json_encode({ [1] = 1, [3] = 3 }) == '{"1":1,"3":3}' and json_decode("0x10") == 16)
    assert(not pcall(json_encode, 0 / 0))
    assert(not pcall(json_decode, string.rep("[", 300) .. string.rep("]", 300)))
end

function _loop() end
