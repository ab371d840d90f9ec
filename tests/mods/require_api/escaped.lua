escaped_ran = true
