// convert
