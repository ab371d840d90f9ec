later_ran = true
