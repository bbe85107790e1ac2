// Helpers shared by the ASCII library tests.
#pragma once

#include "cli.h"
#include "qvascii.h"

// Sets a value in a header through the model's find-or-append chain.
inline void set(qvascii_header *h, const char *group, const char *key, const char *value) {
    qvascii_entry_set_str(qvascii_group_set(qvascii_header_set(h, group), key), value);
}

// A header fresh from init that is released at the end of the scope.
struct scoped_header {
    qvascii_header h;
    scoped_header() { qvascii_header_init(&h); }
    ~scoped_header() { qvascii_header_cleanup(&h); }
    operator qvascii_header *() { return &h; }
};
