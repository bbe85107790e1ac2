// The ASCII adapter: filled in with the ASCII library.
#include "qvfmt.h"

const qvfmt_ops ops_qvascii = {
    .name = "QVASCII",
    .new_state = nullptr,
    .free = nullptr,
    .strerr = nullptr,
    .open = nullptr,
    .close = nullptr,
    .read_header = nullptr,
    .write_header = nullptr,
    .read_data = nullptr,
    .write_data = nullptr,
    .seek_data = nullptr,
};
