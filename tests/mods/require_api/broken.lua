-- A syntax error: reported on the console, the game carries on.
broken_ran = true
local = 
