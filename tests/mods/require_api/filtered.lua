filtered_value = "ORIGINAL"
