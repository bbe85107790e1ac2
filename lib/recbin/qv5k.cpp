// The library front: one handle per open file. The first header that passes
// through the handle (read or written) fixes the file type and binds the
// variant's state; every data operation is then sent to the xqv or the bqv
// code.
#include "qv5k_internal.h"

#include <climits>
#include <cstdio>

namespace {

int fail(qv5k_handle *h, std::uint32_t code) {
    h->err = code;
    return -1;
}

// Fixes the file type from the first header and binds or checks the
// variant's state.
int bind(qv5k_handle *h, const qv5k_header *header) {
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
    *handle = qv5k_handle{};
    // The states stay unbound (no io) until a header binds them, but their
    // refusals must reach the handle's code already.
    handle->xqv.err = &handle->err;
    handle->bqv.err = &handle->err;
    if (qv5k_io_open(&handle->io, path, mode) != 0) return fail(handle, QV5K_ERR_IO);
    return 0;
}

int qv5k_close(qv5k_handle *handle) {
    int rc = 0;
    if (handle->filetype == QV5K_FILETYPE_BQV && qv5k_bqv_flush(&handle->bqv) != 0) rc = -1;
    std::int32_t op = handle->io.op;
    std::int32_t errnum = handle->io.errnum;
    if (qv5k_io_close(&handle->io) != 0) {
        if (rc != 0) { // report the pending block's write, the first failure
            handle->io.op = op;
            handle->io.errnum = errnum;
        }
        rc = -1;
    }
    return rc == 0 ? 0 : fail(handle, QV5K_ERR_IO);
}

int qv5k_read_header(qv5k_handle *handle, qv5k_header *header) {
    if (qv5k_io_read_header(&handle->io, header) != 0) return fail(handle, QV5K_ERR_IO);
    return bind(handle, header);
}

int qv5k_write_header(qv5k_handle *handle, const qv5k_header *header) {
    if (bind(handle, header) != 0) return -1;
    if (qv5k_io_write_header(&handle->io, header) != 0) return fail(handle, QV5K_ERR_IO);
    return 0;
}

long qv5k_read_data(qv5k_handle *handle, double *frames, std::size_t count) {
    switch (handle->filetype) {
    case QV5K_FILETYPE_XQV: return qv5k_xqv_read(&handle->xqv, frames, cap(count));
    case QV5K_FILETYPE_BQV: return qv5k_bqv_read(&handle->bqv, frames, cap(count));
    default: return fail(handle, QV5K_ERR_FILE);
    }
}

long qv5k_write_data(qv5k_handle *handle, const double *frames, std::size_t count) {
    switch (handle->filetype) {
    case QV5K_FILETYPE_XQV: return qv5k_xqv_write(&handle->xqv, frames, cap(count));
    case QV5K_FILETYPE_BQV: return qv5k_bqv_write(&handle->bqv, frames, cap(count));
    default: return fail(handle, QV5K_ERR_FILE);
    }
}

long qv5k_seek_data(qv5k_handle *handle, long offset, int whence) {
    switch (handle->filetype) {
    case QV5K_FILETYPE_XQV: return qv5k_xqv_seek(&handle->xqv, offset, whence);
    case QV5K_FILETYPE_BQV: return qv5k_bqv_seek(&handle->bqv, offset, whence);
    default: return fail(handle, QV5K_ERR_FILE);
    }
}

const char *qv5k_strerror(qv5k_handle *handle) {
    thread_local char buf[64];
    const char *prefix = "";
    const char *text;
    switch (handle->err) {
    case QV5K_ERR_NONE: text = "None"; break;
    case QV5K_ERR_NOHEADER: text = "Header is not available"; break;
    case QV5K_ERR_FILE: text = "Invalid file"; break;
    case QV5K_ERR_DATA: text = "Invalid data"; break;
    case QV5K_ERR_HEADER: text = "Invalid header"; break;
    case QV5K_ERR_EOF: text = "End of file reached"; break;
    case QV5K_ERR_BOF: text = "Beginning of file reached"; break;
    case QV5K_ERR_IO:
        prefix = "I/O: ";
        text = qv5k_io_strerror(&handle->io);
        break;
    default: text = "Unknown error"; break;
    }
    std::snprintf(buf, sizeof buf, "%s%s", prefix, text);
    handle->err = QV5K_ERR_NONE;
    return buf;
}
