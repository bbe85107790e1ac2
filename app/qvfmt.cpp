// The format registry and the uniform format handle.
#include "qvfmt.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <strings.h>

#include "ops.h"

thread_local std::uint32_t __qvfmt_err = QVFMT_ERR_NONE;
thread_local const char *__qvfmt_ops_name = nullptr;
thread_local const char *__qvfmt_ops_strerr = nullptr;

namespace {

struct format_entry {
    const char *ext_read; // compared without regard to case
    const char *ext_written;
    const qvfmt_ops *ops;
};

// Indexed by format identifier.
const format_entry formats[] = {
    {nullptr, "", nullptr},    {"raw", "raw", &ops_qvraw}, {"txt", "txt", &ops_qvascii},
    {"xqv", "XQV", &ops_qv5k}, {"bqv", "BQV", &ops_qv5k},
};
constexpr unsigned NFORMATS = sizeof formats / sizeof formats[0];

// The adapter's text of a failed open, kept past the adapter's state.
thread_local char open_strerr_buf[64];

// Texts of the registry's own codes; QVFMT_ERR_ADAPTER shows the adapter's.
constexpr const char *error_texts[] = {
    "None",
    "Out of memory",
    "Invalid format",
    "Not implemented",
};
static_assert(std::size(error_texts) == QVFMT_ERR_ADAPTER);

const char *err_text(std::uint32_t code) {
    return code < std::size(error_texts) ? error_texts[code] : "Unknown error";
}

} // namespace

unsigned qvfmt_extension_to_format(const char *ext) {
    for (unsigned f = 1; f < NFORMATS; f++)
        if (strcasecmp(ext, formats[f].ext_read) == 0) return f;
    return QVFMT_UNKNOWN;
}

unsigned qvfmt_filename_to_format(const char *path) {
    const char *dot = std::strrchr(path, '.');
    return dot ? qvfmt_extension_to_format(dot + 1) : QVFMT_UNKNOWN;
}

const char *qvfmt_format_to_extension(unsigned fmt) {
    return fmt > 0 && fmt < NFORMATS ? formats[fmt].ext_written : "";
}

int qvfmt_open(qvfmt_handle **out, const char *path, unsigned fmt, int mode) {
    *out = nullptr;
    auto *h = new (std::nothrow) qvfmt_handle{};
    if (!h) {
        __qvfmt_err = QVFMT_ERR_NOMEM;
        return -1;
    }
    if (fmt == QVFMT_UNKNOWN) fmt = qvfmt_filename_to_format(path);
    const qvfmt_ops *ops = fmt > 0 && fmt < NFORMATS ? formats[fmt].ops : nullptr;
    if (!ops || !ops->new_state) {
        __qvfmt_err = QVFMT_ERR_FORMAT;
        delete h;
        return -1;
    }
    h->ops = ops;
    h->state = ops->new_state();
    if (!h->state) {
        __qvfmt_err = QVFMT_ERR_NOMEM;
        delete h;
        return -1;
    }
    if (ops->open(h->state, path, mode) == -1) {
        // Keep the adapter's reason: the state that holds it goes now.
        std::snprintf(open_strerr_buf, sizeof open_strerr_buf, "%s", ops->strerr(h->state));
        __qvfmt_err = QVFMT_ERR_ADAPTER;
        __qvfmt_ops_name = ops->name;
        __qvfmt_ops_strerr = open_strerr_buf;
        ops->free(h->state);
        delete h;
        return -1;
    }
    *out = h;
    return 0;
}

int qvfmt_close(qvfmt_handle *h) {
    if (!h) return 0;
    if (h->state) {
        if (h->ops->close(h->state) == -1) {
            h->err = QVFMT_ERR_ADAPTER;
            return -1;
        }
        h->ops->free(h->state);
    }
    delete h;
    return 0;
}

// Every forwarding call: an absent slot is "Not implemented"; a result of
// exactly -1 marks an adapter failure; the result is passed on unchanged.
template <typename R, typename Slot, typename... Args>
static R forward(qvfmt_handle *h, Slot slot, Args... args) {
    if (!slot) {
        h->err = QVFMT_ERR_NOTIMPL;
        return -1;
    }
    R r = slot(h->state, args...);
    if (static_cast<std::int32_t>(r) == -1) h->err = QVFMT_ERR_ADAPTER;
    return r;
}

int qvfmt_read_header(qvfmt_handle *h, qvraw_header *header) {
    return forward<int>(h, h->ops->read_header, header);
}

int qvfmt_write_header(qvfmt_handle *h, const qvraw_header *header) {
    return forward<int>(h, h->ops->write_header, header);
}

long qvfmt_read_data(qvfmt_handle *h, double *block, std::size_t max_frames, std::size_t nchans) {
    return forward<long>(h, h->ops->read_data, block, max_frames, nchans);
}

long qvfmt_write_data(qvfmt_handle *h, const double *block, std::size_t frames,
                      std::size_t nchans) {
    return forward<long>(h, h->ops->write_data, block, frames, nchans);
}

long qvfmt_seek_data(qvfmt_handle *h, long offset, std::size_t nchans, int whence) {
    return forward<long>(h, h->ops->seek_data, offset, nchans, whence);
}

const char *qvfmt_strerr(qvfmt_handle *h) {
    thread_local char buf[64];
    char tag[16] = "";
    const char *prefix = h ? "[QVFMT]" : "[]";
    std::uint32_t code = h ? h->err : __qvfmt_err;
    const char *msg;
    if (code == QVFMT_ERR_ADAPTER) {
        const char *name = h ? h->ops->name : __qvfmt_ops_name;
        std::snprintf(tag, sizeof tag, "[%s]", name ? name : "");
        if (h)
            msg = h->ops->strerr(h->state);
        else
            msg = __qvfmt_ops_strerr ? __qvfmt_ops_strerr : "None";
    } else {
        msg = err_text(code);
    }
    std::snprintf(buf, sizeof buf, "%s%s %s", prefix, tag, msg);
    return buf;
}
