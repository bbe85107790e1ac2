// The recorder-binary adapter: one libqv5k handle behind the format handle.
// Headers are translated by conv-qv5k; the variant an output gets (xqv or
// bqv) follows the canonical header's record type, not the file name. Every
// data call is checked against the channel count of the header that passed,
// so the caller's frames and the file's frames always have the same width.
#include <new>

#include "conv-qv5k.h"
#include "ops.h"
#include "qv5k.h"
#include "qvfmt.h"

namespace {

struct ops_qv5k_state {
    qv5k_handle lib;
    std::uint32_t filetype; // variant of the last header that passed, 0 after open
    std::size_t nchans;     // channels per frame of that header, 0 after open
    std::uint32_t err;      // OPS_ERR_*
    std::uint32_t conv_err; // the conversion's record, read by conv_qv5k_strerror
};

ops_qv5k_state *state_of(void *p) {
    return static_cast<ops_qv5k_state *>(p);
}

int fail(ops_qv5k_state *s, std::uint32_t code) {
    s->err = code;
    return -1;
}

void *ops_qv5k_new() {
    return new (std::nothrow) ops_qv5k_state{};
}

void ops_qv5k_free(void *p) {
    delete state_of(p);
}

const char *ops_qv5k_strerr(void *p) {
    thread_local char buf[OPS_STRERR_SIZE];
    ops_qv5k_state *s = state_of(p);
    const char *detail = s->err == OPS_ERR_LIB    ? qv5k_strerror(&s->lib)
                         : s->err == OPS_ERR_CONV ? conv_qv5k_strerror(&s->conv_err)
                                                  : "";
    const char *text = ops_strerr(buf, s->err, "libqv5k: ", detail);
    s->err = OPS_ERR_NONE;
    return text;
}

int ops_qv5k_open(void *p, const char *path, int mode) {
    ops_qv5k_state *s = state_of(p);
    int lib_mode;
    switch (mode) {
    case QVFMT_MODE_WRITE: lib_mode = QV5K_MODE_CREATE; break;
    case QVFMT_MODE_UPDATE: lib_mode = QV5K_MODE_UPDATE; break;
    case QVFMT_MODE_READ: lib_mode = QV5K_MODE_READ; break;
    default: return fail(s, OPS_ERR_MODE);
    }
    s->filetype = QV5K_FILETYPE_UNKNOWN;
    s->nchans = 0;
    if (qv5k_open(&s->lib, path, lib_mode) != 0) return fail(s, OPS_ERR_LIB);
    return 0;
}

int ops_qv5k_close(void *p) {
    ops_qv5k_state *s = state_of(p);
    if (qv5k_close(&s->lib) != 0) return fail(s, OPS_ERR_LIB);
    return 0;
}

int ops_qv5k_read_header(void *p, qvraw_header *canon) {
    ops_qv5k_state *s = state_of(p);
    qv5k_header rec;
    if (qv5k_read_header(&s->lib, &rec) != 0) return fail(s, OPS_ERR_LIB);
    s->filetype = qv5k_header_filetype(&rec);
    s->nchans = qv5k_header_nchannels(&rec);
    int rc = s->filetype == QV5K_FILETYPE_BQV
                 ? conv_qv5k_from_bqv_header(&s->conv_err, canon, &rec)
                 : conv_qv5k_from_xqv_header(&s->conv_err, canon, &rec);
    if (rc != 0) return fail(s, OPS_ERR_CONV);
    return 0;
}

int ops_qv5k_write_header(void *p, const qvraw_header *canon) {
    ops_qv5k_state *s = state_of(p);
    qv5k_header rec;
    const std::uint32_t filetype =
        canon->file_type == QVRAW_FILETYPE_BACKGROUND ? QV5K_FILETYPE_BQV : QV5K_FILETYPE_XQV;
    // Once a header has passed, the file's variant and frame width are
    // fixed: a later header may only update its counts and statistics.
    if (s->filetype != QV5K_FILETYPE_UNKNOWN && filetype != s->filetype)
        return fail(s, OPS_ERR_FILETYPE);
    int rc = filetype == QV5K_FILETYPE_BQV ? conv_qv5k_to_bqv_header(&s->conv_err, &rec, canon)
                                           : conv_qv5k_to_xqv_header(&s->conv_err, &rec, canon);
    if (rc != 0) return fail(s, OPS_ERR_CONV);
    const std::size_t nchans = qv5k_header_nchannels(&rec);
    if (s->nchans != 0 && nchans != s->nchans) return fail(s, OPS_ERR_RECMODE);
    s->filetype = filetype;
    s->nchans = nchans;
    if (qv5k_write_header(&s->lib, &rec) != 0) return fail(s, OPS_ERR_LIB);
    return 0;
}

// Before any header has passed the width is 0 and every data call fails.
bool width_ok(const ops_qv5k_state *s, std::size_t nchans) {
    return s->nchans != 0 && nchans == s->nchans;
}

long ops_qv5k_read_data(void *p, double *block, std::size_t max_frames, std::size_t nchans) {
    ops_qv5k_state *s = state_of(p);
    if (!width_ok(s, nchans)) return fail(s, OPS_ERR_NCHANS);
    long n = qv5k_read_data(&s->lib, block, max_frames);
    if (n < 0) return fail(s, OPS_ERR_LIB);
    return n;
}

long ops_qv5k_write_data(void *p, const double *block, std::size_t frames, std::size_t nchans) {
    ops_qv5k_state *s = state_of(p);
    if (!width_ok(s, nchans)) return fail(s, OPS_ERR_NCHANS);
    long n = qv5k_write_data(&s->lib, block, frames);
    if (n < 0) return fail(s, OPS_ERR_LIB);
    return n;
}

long ops_qv5k_seek_data(void *p, long offset, std::size_t nchans, int whence) {
    ops_qv5k_state *s = state_of(p);
    if (!width_ok(s, nchans)) return fail(s, OPS_ERR_NCHANS);
    long pos = qv5k_seek_data(&s->lib, offset, whence);
    if (pos < 0) return fail(s, OPS_ERR_LIB);
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
