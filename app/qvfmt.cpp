// qvfmt
