// Canonical header to and from the recorder-binary header.
