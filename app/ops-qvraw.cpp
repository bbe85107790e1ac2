// The raw adapter: the raw header is the canonical header, so every
// operation forwards to the raw library; the adapter adds the mode check and
// its two-level error text.
#include <new>

#include "ops.h"
#include "qvfmt.h"
#include "qvraw.h"

namespace {

struct ops_qvraw_state {
    qvraw_file *raw;
    std::uint32_t err; // OPS_ERR_*
};

ops_qvraw_state *state_of(void *p) {
    return static_cast<ops_qvraw_state *>(p);
}

int fail(ops_qvraw_state *s, std::uint32_t code) {
    s->err = code;
    return -1;
}

void *ops_qvraw_new() {
    return new (std::nothrow) ops_qvraw_state{};
}

void ops_qvraw_free(void *p) {
    delete state_of(p);
}

const char *ops_qvraw_strerr(void *p) {
    thread_local char buf[OPS_STRERR_SIZE];
    ops_qvraw_state *s = state_of(p);
    // A null handle (a failed open) gives the library-wide record.
    const char *text =
        ops_strerr(buf, s->err, "libqvraw: ", s->err == OPS_ERR_LIB ? qvraw_strerr(s->raw) : "");
    s->err = OPS_ERR_NONE;
    return text;
}

int ops_qvraw_open(void *p, const char *path, int mode) {
    ops_qvraw_state *s = state_of(p);
    int lib_mode;
    switch (mode) {
    case QVFMT_MODE_WRITE: lib_mode = QVRAW_MODE_WRITE; break;
    case QVFMT_MODE_UPDATE: lib_mode = QVRAW_MODE_UPDATE; break;
    case QVFMT_MODE_READ: lib_mode = QVRAW_MODE_READ; break;
    default: return fail(s, OPS_ERR_MODE);
    }
    s->raw = qvraw_open(path, lib_mode);
    return s->raw ? 0 : fail(s, OPS_ERR_LIB);
}

int ops_qvraw_close(void *p) {
    ops_qvraw_state *s = state_of(p);
    if (qvraw_close(s->raw) != 0) return fail(s, OPS_ERR_LIB);
    s->raw = nullptr;
    return 0;
}

int ops_qvraw_read_header(void *p, qvraw_header *h) {
    ops_qvraw_state *s = state_of(p);
    return qvraw_read_header(s->raw, h) == 0 ? 0 : fail(s, OPS_ERR_LIB);
}

int ops_qvraw_write_header(void *p, const qvraw_header *h) {
    ops_qvraw_state *s = state_of(p);
    return qvraw_write_header(s->raw, h) == 0 ? 0 : fail(s, OPS_ERR_LIB);
}

// The raw handle knows its own frame width: the channel counts go unused.
long ops_qvraw_read_data(void *p, double *block, std::size_t max_frames, std::size_t) {
    ops_qvraw_state *s = state_of(p);
    long n = qvraw_read_data(s->raw, block, max_frames);
    return n == -1 ? fail(s, OPS_ERR_LIB) : n;
}

long ops_qvraw_write_data(void *p, const double *block, std::size_t frames, std::size_t) {
    ops_qvraw_state *s = state_of(p);
    long n = qvraw_write_data(s->raw, block, frames);
    return n == -1 ? fail(s, OPS_ERR_LIB) : n;
}

long ops_qvraw_seek_data(void *p, long offset, std::size_t, int whence) {
    ops_qvraw_state *s = state_of(p);
    long n = qvraw_seek_data(s->raw, offset, whence);
    return n == -1 ? fail(s, OPS_ERR_LIB) : n;
}

} // namespace

const qvfmt_ops ops_qvraw = {
    .name = "QVRAW",
    .new_state = ops_qvraw_new,
    .free = ops_qvraw_free,
    .strerr = ops_qvraw_strerr,
    .open = ops_qvraw_open,
    .close = ops_qvraw_close,
    .read_header = ops_qvraw_read_header,
    .write_header = ops_qvraw_write_header,
    .read_data = ops_qvraw_read_data,
    .write_data = ops_qvraw_write_data,
    .seek_data = ops_qvraw_seek_data,
};
