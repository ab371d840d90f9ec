emptied_ran = true
