// Canonical header to and from the ASCII header.
