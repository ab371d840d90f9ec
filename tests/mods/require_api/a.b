dotted_ran = true
