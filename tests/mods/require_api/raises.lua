raises_ran = true
error("raised while loading")
