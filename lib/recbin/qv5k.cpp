// The library front: one handle per open file. The first header that passes
// through the handle (read or written) fixes the file type and binds the
// variant's state; every data operation is then sent to the xqv or the bqv
// code.
#include "qv5k_internal.h"

#include <climits>
#include <cstdio>

namespace {

int fail(qv5k_front *h, std::uint32_t code) {
    h->err = code;
    return -1;
}

// Fixes the file type from the first header and binds or checks the
// variant's state.
int bind(qv5k_front *h, const qv5k_header *header) {
    if (h->filetype == QV5K_FILETYPE_UNKNOWN) {
        std::uint32_t ft = qv5k_header_filetype(header);
        if (ft == QV5K_FILETYPE_UNKNOWN) return fail(h, QV5K_ERR_FILE);
        h->filetype = ft;
    }
    int rc = h->filetype == QV5K_FILETYPE_XQV ? qv5k_xqv_reload(&h->xqv, &h->io, &h->err, header)
                                              : qv5k_bqv_reload(&h->bqv, &h->io, &h->err, header);
    return rc == 0 ? 0 : fail(h, QV5K_ERR_HEADER);
}

// Counts are returned as long; a larger request is served in part.
std::size_t cap(std::size_t count) {
    return count > static_cast<std::size_t>(LONG_MAX) ? static_cast<std::size_t>(LONG_MAX) : count;
}

} // namespace

int qv5k_open(qv5k_handle *handle, const char *path, int mode) {
    qv5k_front *h = new (handle->opaque) qv5k_front{};
    // The states stay unbound (no io) until a header binds them, but their
    // refusals must reach the handle's code already.
    h->xqv.err = &h->err;
    h->bqv.err = &h->err;
    if (qv5k_io_open(&h->io, path, mode) != 0) return fail(h, QV5K_ERR_IO);
    return 0;
}

int qv5k_close(qv5k_handle *handle) {
    qv5k_front *h = qv5k_front_of(handle);
    int rc = 0;
    if (h->filetype == QV5K_FILETYPE_BQV && qv5k_bqv_flush(&h->bqv) != 0) rc = -1;
    std::int32_t op = h->io.op;
    std::int32_t errnum = h->io.errnum;
    if (qv5k_io_close(&h->io) != 0) {
        if (rc != 0) { // report the pending block's write, the first failure
            h->io.op = op;
            h->io.errnum = errnum;
        }
        rc = -1;
    }
    return rc == 0 ? 0 : fail(h, QV5K_ERR_IO);
}

int qv5k_read_header(qv5k_handle *handle, qv5k_header *header) {
    qv5k_front *h = qv5k_front_of(handle);
    if (qv5k_io_read_header(&h->io, header) != 0) return fail(h, QV5K_ERR_IO);
    return bind(h, header);
}

int qv5k_write_header(qv5k_handle *handle, const qv5k_header *header) {
    qv5k_front *h = qv5k_front_of(handle);
    if (bind(h, header) != 0) return -1;
    if (qv5k_io_write_header(&h->io, header) != 0) return fail(h, QV5K_ERR_IO);
    return 0;
}

long qv5k_read_data(qv5k_handle *handle, double *frames, std::size_t count) {
    qv5k_front *h = qv5k_front_of(handle);
    switch (h->filetype) {
    case QV5K_FILETYPE_XQV: return qv5k_xqv_read(&h->xqv, frames, cap(count));
    case QV5K_FILETYPE_BQV: return qv5k_bqv_read(&h->bqv, frames, cap(count));
    default: return fail(h, QV5K_ERR_FILE);
    }
}

long qv5k_write_data(qv5k_handle *handle, const double *frames, std::size_t count) {
    qv5k_front *h = qv5k_front_of(handle);
    switch (h->filetype) {
    case QV5K_FILETYPE_XQV: return qv5k_xqv_write(&h->xqv, frames, cap(count));
    case QV5K_FILETYPE_BQV: return qv5k_bqv_write(&h->bqv, frames, cap(count));
    default: return fail(h, QV5K_ERR_FILE);
    }
}

long qv5k_seek_data(qv5k_handle *handle, long offset, int whence) {
    qv5k_front *h = qv5k_front_of(handle);
    switch (h->filetype) {
    case QV5K_FILETYPE_XQV: return qv5k_xqv_seek(&h->xqv, offset, whence);
    case QV5K_FILETYPE_BQV: return qv5k_bqv_seek(&h->bqv, offset, whence);
    default: return fail(h, QV5K_ERR_FILE);
    }
}

const char *qv5k_strerror(qv5k_handle *handle) {
    thread_local char buf[64];
    qv5k_front *h = qv5k_front_of(handle);
    const std::uint32_t code = h->err;
    const char *text = code < std::size(QV5K_ERR_TEXTS) ? QV5K_ERR_TEXTS[code] : "Unknown error";
    std::snprintf(buf, sizeof buf, "%s%s", text,
                  code == QV5K_ERR_IO ? qv5k_io_strerror(&h->io) : "");
    h->err = QV5K_ERR_NONE;
    return buf;
}
