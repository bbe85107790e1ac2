// qvraw
