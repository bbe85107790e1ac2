// The ASCII adapter: puts the ASCII library behind the format handle.
//
// Headers are translated between the canonical header and the ASCII header
// model on every header call; the model lives only for that call. Sample
// blocks pass through unchanged (the library scales them by its column
// factors). The ASCII format cannot be positioned by frame, so the table has
// no seek operation.
#include <cstdint>
#include <new>

#include "conv-qvascii.h"
#include "ops.h"
#include "qvascii.h"
#include "qvfmt.h"

namespace {

struct ops_qvascii_state {
    qvascii_file *file;
    std::uint32_t err;      // OPS_ERR_*
    std::uint32_t conv_err; // the conversion's record, read by conv_qvascii_strerror
};

ops_qvascii_state *state_of(void *p) {
    return static_cast<ops_qvascii_state *>(p);
}

int fail(ops_qvascii_state *s, std::uint32_t code) {
    s->err = code;
    return -1;
}

// An ASCII header model for the length of one header call, released on every
// path out of it.
struct scoped_header {
    qvascii_header h{}; // zeroed: no strings held yet
    scoped_header() = default;
    scoped_header(const scoped_header &) = delete;
    scoped_header &operator=(const scoped_header &) = delete;
    ~scoped_header() { qvascii_header_cleanup(&h); }
};

void *ops_qvascii_new() {
    return new (std::nothrow) ops_qvascii_state{};
}

void ops_qvascii_free(void *p) {
    delete state_of(p);
}

const char *ops_qvascii_strerr(void *p) {
    thread_local char buf[OPS_STRERR_SIZE];
    ops_qvascii_state *s = state_of(p);
    // A null file (a failed open) gives the library-wide record.
    const char *detail = s->err == OPS_ERR_LIB    ? qvascii_strerr(s->file)
                         : s->err == OPS_ERR_CONV ? conv_qvascii_strerror(&s->conv_err)
                                                  : "";
    const char *text = ops_strerr(buf, s->err, "libqvascii: ", detail);
    s->err = OPS_ERR_NONE;
    return text;
}

int ops_qvascii_open(void *p, const char *path, int mode) {
    ops_qvascii_state *s = state_of(p);
    int lib_mode;
    switch (mode) {
    case QVFMT_MODE_WRITE: lib_mode = QVASCII_MODE_WRITE; break;
    case QVFMT_MODE_READ: lib_mode = QVASCII_MODE_READ; break;
    default: return fail(s, OPS_ERR_MODE); // update too: text cannot be patched in place
    }
    s->file = qvascii_open(path, lib_mode);
    return s->file ? 0 : fail(s, OPS_ERR_LIB);
}

int ops_qvascii_close(void *p) {
    ops_qvascii_state *s = state_of(p);
    if (!s->file) return 0; // never opened, or closed already
    if (qvascii_close(s->file) != 0) return fail(s, OPS_ERR_LIB);
    s->file = nullptr;
    return 0;
}

int ops_qvascii_read_header(void *p, qvraw_header *header) {
    ops_qvascii_state *s = state_of(p);
    scoped_header ascii;
    qvascii_header_init(&ascii.h);
    if (qvascii_read_header(s->file, &ascii.h) != 0) return fail(s, OPS_ERR_LIB);
    if (conv_qvascii_to_qvraw_header(&s->conv_err, header, &ascii.h) != 0)
        return fail(s, OPS_ERR_CONV);
    return 0;
}

int ops_qvascii_write_header(void *p, const qvraw_header *header) {
    ops_qvascii_state *s = state_of(p);
    // The conversion starts the model itself (group "ASCII" first); starting
    // it here as well would drop the strings of the first start unreleased.
    scoped_header ascii;
    if (conv_qvascii_from_qvraw_header(&s->conv_err, &ascii.h, header) != 0)
        return fail(s, OPS_ERR_CONV);
    if (qvascii_write_header(s->file, &ascii.h) != 0) return fail(s, OPS_ERR_LIB);
    return 0;
}

long ops_qvascii_read_data(void *p, double *block, std::size_t max_frames, std::size_t nchans) {
    ops_qvascii_state *s = state_of(p);
    long n = qvascii_read_data(s->file, block, max_frames, nchans);
    return n == -1 ? fail(s, OPS_ERR_LIB) : n;
}

long ops_qvascii_write_data(void *p, const double *block, std::size_t frames, std::size_t nchans) {
    ops_qvascii_state *s = state_of(p);
    long n = qvascii_write_data(s->file, block, frames, nchans);
    return n == -1 ? fail(s, OPS_ERR_LIB) : n;
}

} // namespace

const qvfmt_ops ops_qvascii = {
    .name = "QVASCII",
    .new_state = ops_qvascii_new,
    .free = ops_qvascii_free,
    .strerr = ops_qvascii_strerr,
    .open = ops_qvascii_open,
    .close = ops_qvascii_close,
    .read_header = ops_qvascii_read_header,
    .write_header = ops_qvascii_write_header,
    .read_data = ops_qvascii_read_data,
    .write_data = ops_qvascii_write_data,
    .seek_data = nullptr,
};
