-- Parameters and files: plain value crossing, user files shadowing
-- data files, NUL truncation on save.
local here = kel_params_get("mod"):match("^(.*)/") or "."

function _init()
    assert(kel_params_get("never_set") == nil)  -- the values a game starts with: host_params.lua

    kel_params_set("n", 2.5)       assert(kel_params_get("n") == 2.5)
    kel_params_set("t", true)      assert(kel_params_get("t") == true)
    kel_params_set("s", "a\0b")    assert(kel_params_get("s") == "a")
    kel_params_set("n", nil)       assert(kel_params_get("n") == nil)

    kel_params_set("datadir", here .. "/require_api")
    assert(kel_file_load("data_file.txt") == "from the data area\n")
    assert(kel_file_load("no_such_file.txt") == "")
    kel_file_save("data_file.txt", "from the user area")
    assert(kel_file_load("data_file.txt") == "from the user area")
    os.remove("data_file.txt")
    assert(kel_file_load("data_file.txt") == "from the data area\n")

    kel_file_save("nul.bin", "ab\0cd")
    assert(kel_file_load("nul.bin") == "ab")
    kel_file_save("second.txt", "2", true)
    assert(kel_file_load("second.txt", true) == "2")
    os.remove("nul.bin")
    os.remove("second.txt")

    assert(kel_ext_call("exit") == "")
end

function _loop() end
