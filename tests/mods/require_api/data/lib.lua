data_ran = true
