// The recorder-binary adapter: one libqv5k handle behind the format handle.
// Headers are translated by conv-qv5k; the variant an output gets (xqv or
// bqv) follows the canonical header's record type, not the file name. Every
// data call is checked against the channel count of the header that passed,
// so the caller's frames and the file's frames always have the same width.
#include <cstdio>
#include <new>

#include "conv-qv5k.h"
#include "qv5k.h"
#include "qvfmt.h"

namespace {

enum : std::uint32_t {
    OPS_QV5K_ERR_NONE = 0,
    OPS_QV5K_ERR_LIB = 1,      // "libqv5k: " + the library's message
    OPS_QV5K_ERR_CONV = 2,     // "conv: " + the conversion's message
    OPS_QV5K_ERR_MODE = 3,     // "Unsupported file mode"
    OPS_QV5K_ERR_FILETYPE = 4, // "Unsupported filetype"
    OPS_QV5K_ERR_NCHANS = 5,   // "Unsupported number of channels"
    OPS_QV5K_ERR_RECMODE = 6,  // "Unsupported recording mode"
};

struct qv5k_ops_state {
    qv5k_handle lib;
    std::uint32_t filetype; // variant of the last header that passed, 0 after open
    std::size_t nchans;     // channels per frame of that header, 0 after open
    std::uint32_t err;
    std::uint32_t conv_err;
};

qv5k_ops_state *as_state(void *state) {
    return static_cast<qv5k_ops_state *>(state);
}

int fail(qv5k_ops_state *s, std::uint32_t code) {
    s->err = code;
    return -1;
}

void *ops_qv5k_new() {
    return new (std::nothrow) qv5k_ops_state{};
}

void ops_qv5k_free(void *state) {
    delete as_state(state);
}

const char *ops_qv5k_strerr(void *state) {
    thread_local char buf[64];
    qv5k_ops_state *s = as_state(state);
    const char *prefix = "";
    const char *text;
    switch (s->err) {
    case OPS_QV5K_ERR_NONE: text = "None"; break;
    case OPS_QV5K_ERR_LIB:
        prefix = "libqv5k: ";
        text = qv5k_strerror(&s->lib);
        break;
    case OPS_QV5K_ERR_CONV:
        prefix = "conv: ";
        text = conv_qv5k_strerror(&s->conv_err);
        break;
    case OPS_QV5K_ERR_MODE: text = "Unsupported file mode"; break;
    case OPS_QV5K_ERR_FILETYPE: text = "Unsupported filetype"; break;
    case OPS_QV5K_ERR_NCHANS: text = "Unsupported number of channels"; break;
    case OPS_QV5K_ERR_RECMODE: text = "Unsupported recording mode"; break;
    default: text = "Unknown error"; break;
    }
    std::snprintf(buf, sizeof buf, "%s%s", prefix, text);
    s->err = OPS_QV5K_ERR_NONE;
    return buf;
}

int ops_qv5k_open(void *state, const char *path, int mode) {
    qv5k_ops_state *s = as_state(state);
    int lib_mode;
    switch (mode) {
    case QVFMT_MODE_WRITE: lib_mode = QV5K_MODE_CREATE; break;
    case QVFMT_MODE_UPDATE: lib_mode = QV5K_MODE_UPDATE; break;
    case QVFMT_MODE_READ: lib_mode = QV5K_MODE_READ; break;
    default: return fail(s, OPS_QV5K_ERR_MODE);
    }
    s->filetype = QV5K_FILETYPE_UNKNOWN;
    s->nchans = 0;
    if (qv5k_open(&s->lib, path, lib_mode) != 0) return fail(s, OPS_QV5K_ERR_LIB);
    return 0;
}

int ops_qv5k_close(void *state) {
    qv5k_ops_state *s = as_state(state);
    if (qv5k_close(&s->lib) != 0) return fail(s, OPS_QV5K_ERR_LIB);
    return 0;
}

int ops_qv5k_read_header(void *state, qvraw_header *canon) {
    qv5k_ops_state *s = as_state(state);
    qv5k_header rec;
    if (qv5k_read_header(&s->lib, &rec) != 0) return fail(s, OPS_QV5K_ERR_LIB);
    s->filetype = qv5k_header_filetype(&rec);
    s->nchans = qv5k_header_nchannels(&rec);
    int rc = s->filetype == QV5K_FILETYPE_BQV
                 ? conv_qv5k_from_bqv_header(&s->conv_err, canon, &rec)
                 : conv_qv5k_from_xqv_header(&s->conv_err, canon, &rec);
    if (rc != 0) return fail(s, OPS_QV5K_ERR_CONV);
    return 0;
}

int ops_qv5k_write_header(void *state, const qvraw_header *canon) {
    qv5k_ops_state *s = as_state(state);
    qv5k_header rec;
    const std::uint32_t filetype =
        canon->file_type == QVRAW_FILETYPE_BACKGROUND ? QV5K_FILETYPE_BQV : QV5K_FILETYPE_XQV;
    // Once a header has passed, the file's variant and frame width are
    // fixed: a later header may only update its counts and statistics.
    if (s->filetype != QV5K_FILETYPE_UNKNOWN && filetype != s->filetype)
        return fail(s, OPS_QV5K_ERR_FILETYPE);
    int rc = filetype == QV5K_FILETYPE_BQV ? conv_qv5k_to_bqv_header(&s->conv_err, &rec, canon)
                                           : conv_qv5k_to_xqv_header(&s->conv_err, &rec, canon);
    if (rc != 0) return fail(s, OPS_QV5K_ERR_CONV);
    const std::size_t nchans = qv5k_header_nchannels(&rec);
    if (s->nchans != 0 && nchans != s->nchans) return fail(s, OPS_QV5K_ERR_RECMODE);
    s->filetype = filetype;
    s->nchans = nchans;
    if (qv5k_write_header(&s->lib, &rec) != 0) return fail(s, OPS_QV5K_ERR_LIB);
    return 0;
}

// Before any header has passed the width is 0 and every data call fails.
bool width_ok(const qv5k_ops_state *s, std::size_t nchans) {
    return s->nchans != 0 && nchans == s->nchans;
}

long ops_qv5k_read_data(void *state, double *block, std::size_t max_frames, std::size_t nchans) {
    qv5k_ops_state *s = as_state(state);
    if (!width_ok(s, nchans)) return fail(s, OPS_QV5K_ERR_NCHANS);
    long n = qv5k_read_data(&s->lib, block, max_frames);
    if (n < 0) return fail(s, OPS_QV5K_ERR_LIB);
    return n;
}

long ops_qv5k_write_data(void *state, const double *block, std::size_t frames, std::size_t nchans) {
    qv5k_ops_state *s = as_state(state);
    if (!width_ok(s, nchans)) return fail(s, OPS_QV5K_ERR_NCHANS);
    long n = qv5k_write_data(&s->lib, block, frames);
    if (n < 0) return fail(s, OPS_QV5K_ERR_LIB);
    return n;
}

long ops_qv5k_seek_data(void *state, long offset, std::size_t nchans, int whence) {
    qv5k_ops_state *s = as_state(state);
    if (!width_ok(s, nchans)) return fail(s, OPS_QV5K_ERR_NCHANS);
    long pos = qv5k_seek_data(&s->lib, offset, whence);
    if (pos < 0) return fail(s, OPS_QV5K_ERR_LIB);
    return pos;
}

} // namespace

const qvfmt_ops ops_qv5k = {
    .name = "QV5K",
    .new_state = ops_qv5k_new,
    .free = ops_qv5k_free,
    .strerr = ops_qv5k_strerr,
    .open = ops_qv5k_open,
    .close = ops_qv5k_close,
    .read_header = ops_qv5k_read_header,
    .write_header = ops_qv5k_write_header,
    .read_data = ops_qv5k_read_data,
    .write_data = ops_qv5k_write_data,
    .seek_data = ops_qv5k_seek_data,
};
