-- Same base name as ../counter.lua: never reached once that one is loaded.
deeper_ran = true
