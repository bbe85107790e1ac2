// utils
