// The raw adapter: the raw header is the canonical header, so every
// operation forwards to the raw library; the adapter adds the mode check and
// its two-level error text.
#include <cstdio>
#include <new>

#include "qvfmt.h"
#include "qvraw.h"

namespace {

enum : std::uint32_t { ERR_NONE = 0, ERR_MODE = 1, ERR_LIB = 2 };

struct state {
    qvraw_file *raw;
    std::uint32_t err;
};

state *st(void *s) {
    return static_cast<state *>(s);
}

void *ops_qvraw_new() {
    return new (std::nothrow) state{};
}

void ops_qvraw_free(void *s) {
    delete st(s);
}

const char *ops_qvraw_strerr(void *s) {
    thread_local char buf[64];
    state *q = st(s);
    const char *prefix = "";
    const char *msg;
    switch (q->err) {
    case ERR_NONE: msg = "None"; break;
    case ERR_MODE: msg = "Unsupported file mode"; break;
    case ERR_LIB:
        prefix = "libqvraw: ";
        msg = qvraw_strerr(q->raw);
        break;
    default: msg = "Unknown error"; break;
    }
    std::snprintf(buf, sizeof buf, "%s%s", prefix, msg);
    q->err = ERR_NONE;
    return buf;
}

int fail(state *q, std::uint32_t code) {
    q->err = code;
    return -1;
}

int ops_qvraw_open(void *s, const char *path, int mode) {
    state *q = st(s);
    if (mode != QVFMT_MODE_WRITE && mode != QVFMT_MODE_UPDATE && mode != QVFMT_MODE_READ)
        return fail(q, ERR_MODE);
    q->raw = qvraw_open(path, mode);
    return q->raw ? 0 : fail(q, ERR_LIB);
}

int ops_qvraw_close(void *s) {
    state *q = st(s);
    if (qvraw_close(q->raw) != 0) return fail(q, ERR_LIB);
    q->raw = nullptr;
    return 0;
}

int ops_qvraw_read_header(void *s, qvraw_header *h) {
    return qvraw_read_header(st(s)->raw, h) == 0 ? 0 : fail(st(s), ERR_LIB);
}

int ops_qvraw_write_header(void *s, const qvraw_header *h) {
    return qvraw_write_header(st(s)->raw, h) == 0 ? 0 : fail(st(s), ERR_LIB);
}

long ops_qvraw_read_data(void *s, double *block, std::size_t max_frames, std::size_t) {
    long n = qvraw_read_data(st(s)->raw, block, max_frames);
    return n == -1 ? fail(st(s), ERR_LIB) : n;
}

long ops_qvraw_write_data(void *s, const double *block, std::size_t frames, std::size_t) {
    long n = qvraw_write_data(st(s)->raw, block, frames);
    return n == -1 ? fail(st(s), ERR_LIB) : n;
}

long ops_qvraw_seek_data(void *s, long offset, std::size_t, int whence) {
    long n = qvraw_seek_data(st(s)->raw, offset, whence);
    return n == -1 ? fail(st(s), ERR_LIB) : n;
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
