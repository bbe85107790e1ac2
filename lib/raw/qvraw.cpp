// The raw file handle: header copy, frames, seek and the spectrum block.
//
// A raw file is the header record, `nsamples` frames of `nchans` doubles and,
// when the header announces `nfreqs` lines, a spectrum block of `nfreqs`
// lines of `nchans` doubles right after the last frame. The handle keeps its
// own copy of the header; it reaches the file at flush or close.
//
// File positions are the runtime's `long`. Every offset computed here is
// checked against that type: an offset that does not fit is reported as an
// I/O failure (EOVERFLOW) instead of wrapping to some other place in the file.
#include "qvraw_internal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

struct qvraw_file {
    std::uint32_t err;      // QVRAW_ERR_* of the last failure
    qvraw_io *io;           // owned
    qvraw_header *header;   // owned copy; null until first needed
    std::uint32_t dirty;    // the copy still has to be written
    std::size_t nchans;     // of the current header
    std::size_t nfreqs;     // spectrum lines
    std::size_t frame_size; // nchans * 8
    // Offset where the frames end and the spectrum block begins; 0 when there
    // is no block, -1 when that offset is beyond the positions of this build.
    long data_end;
};

namespace {

// Failures of qvraw_open, which has no handle to keep them in.
thread_local std::uint32_t qvraw_open_err = QVRAW_ERR_NONE;

constexpr long header_size = static_cast<long>(QVRAW_HEADER_SIZE);

int fail(qvraw_file *f, std::uint32_t code) {
    f->err = code;
    return -1;
}

// A failure that the I/O layer did not see itself: recorded there so that
// the "I/O: " text names it.
int fail_io(qvraw_file *f, std::uint32_t op, int errnum) {
    qvraw_io_set_error(f->io, op, errnum);
    return fail(f, QVRAW_ERR_IO);
}

// base + frame * frame_size as a file position; false when it does not fit.
// The overflow builtins work on the exact value whatever the operand types,
// so a frame count of the header above LONG_MAX (32-bit build) is caught.
template <typename Count>
bool frame_offset(Count frame, std::size_t frame_size, long base, long *out) {
    long bytes = 0;
    if (__builtin_mul_overflow(frame, frame_size, &bytes)) return false;
    return !__builtin_add_overflow(bytes, base, out);
}

// Bytes of `nfreqs` spectrum lines, refused when they do not fit in a file
// position (and so in memory).
bool block_bytes(std::size_t nfreqs, std::size_t frame_size, std::size_t *out) {
    return !__builtin_mul_overflow(nfreqs, frame_size, out) &&
           *out <= static_cast<std::size_t>(LONG_MAX);
}

// Counts that follow from the header copy.
void take_counts(qvraw_file *f, std::size_t nchans) {
    f->nchans = nchans;
    f->frame_size = nchans * sizeof(double);
    f->nfreqs = f->header->nfreqs;
    f->data_end = 0;
    if (f->nfreqs != 0) {
        long end = 0;
        if (!frame_offset(f->header->nsamples, f->frame_size, header_size, &end)) end = -1;
        f->data_end = end;
    }
}

// Puts the position back to `pos` after an operation; when the operation
// itself failed its failure is the one kept in the I/O record.
int restore_position(qvraw_file *f, long pos, int rc) {
    qvraw_io saved = *f->io;
    if (qvraw_io_seek(f->io, pos, SEEK_SET) != 0) {
        if (rc != 0) *f->io = saved;
        return -1;
    }
    return rc;
}

// Reads and validates the header record into a new copy. On failure the
// copy is dropped so that a later call reads the file again.
int load_header(qvraw_file *f) {
    auto *h = new (std::nothrow) qvraw_header{};
    if (h == nullptr) return fail(f, QVRAW_ERR_NOMEM);
    std::uint32_t code = QVRAW_ERR_NONE;
    long pos = qvraw_io_tell(f->io);
    if (pos < 0 || qvraw_io_seek(f->io, 0, SEEK_SET) != 0) {
        code = QVRAW_ERR_IO;
    } else {
        long n = qvraw_io_read(f->io, h, sizeof *h, 1);
        // A file shorter than one record is a bad header, not a system
        // failure: the I/O layer would have nothing to say about it.
        int rc = n < 0 ? -1 : 0;
        code = n < 0 ? QVRAW_ERR_IO : n == 0 ? QVRAW_ERR_HEADER : QVRAW_ERR_NONE;
        if (restore_position(f, pos, rc) != 0 && code == QVRAW_ERR_NONE) code = QVRAW_ERR_IO;
    }
    std::size_t nchans = 0;
    if (code == QVRAW_ERR_NONE) {
        nchans = qvraw_header_get_nchans(h);
        if (std::memcmp(h->magic, QVRAW_MAGIC, sizeof QVRAW_MAGIC) != 0)
            code = QVRAW_ERR_MAGIC;
        else if (nchans > QVRAW_MAX_CHANNELS)
            code = QVRAW_ERR_NCHANS;
    }
    if (code != QVRAW_ERR_NONE) {
        delete h;
        return fail(f, code);
    }
    f->header = h;
    take_counts(f, nchans);
    return 0;
}

void destroy(qvraw_file *f) {
    if (f->io != nullptr) {
        qvraw_io_close(f->io);
        qvraw_io_free(f->io);
    }
    delete f->header;
    delete f;
}

// Checks before a read or write of frames and the number of frames it may
// move: no more than asked, and none past the start of the spectrum block.
int frames_allowed(qvraw_file *f, bool have_buffer, std::size_t *count) {
    if (f == nullptr) {
        qvraw_open_err = QVRAW_ERR_USAGE;
        return -1;
    }
    if (f->frame_size == 0) return fail(f, QVRAW_ERR_SAMPLE);
    if (!have_buffer && *count != 0) return fail(f, QVRAW_ERR_USAGE);
    if (f->data_end > 0) {
        long pos = qvraw_io_tell(f->io);
        if (pos < 0) return fail(f, QVRAW_ERR_IO);
        if (pos <= f->data_end) {
            auto left =
                static_cast<std::size_t>((f->data_end - pos) / static_cast<long>(f->frame_size));
            *count = std::min(*count, left);
        }
    }
    return 0;
}

} // namespace

qvraw_file *qvraw_open(const char *path, int mode) {
    auto *f = new (std::nothrow) qvraw_file{};
    if (f == nullptr) {
        qvraw_open_err = QVRAW_ERR_NOMEM;
        return nullptr;
    }
    f->io = qvraw_io_new();
    if (f->io == nullptr) {
        delete f;
        qvraw_open_err = QVRAW_ERR_NOMEM;
        return nullptr;
    }
    const char *smode = mode == QVRAW_MODE_WRITE    ? "wb"
                        : mode == QVRAW_MODE_UPDATE ? "r+b"
                        : mode == QVRAW_MODE_READ   ? "rb"
                                                    : nullptr;
    std::uint32_t code = QVRAW_ERR_NONE;
    if (smode == nullptr || path == nullptr)
        code = QVRAW_ERR_USAGE;
    else if (qvraw_io_open(f->io, path, smode) != 0)
        code = QVRAW_ERR_IO;
    else if (mode != QVRAW_MODE_WRITE && load_header(f) != 0)
        code = QVRAW_ERR_HEADER;
    else if (qvraw_io_seek(f->io, header_size, SEEK_SET) != 0)
        code = QVRAW_ERR_IO;
    if (code != QVRAW_ERR_NONE) {
        destroy(f);
        qvraw_open_err = code;
        return nullptr;
    }
    return f;
}

int qvraw_flush(qvraw_file *f) {
    if (f == nullptr) {
        qvraw_open_err = QVRAW_ERR_USAGE;
        return -1;
    }
    if (!f->dirty) return 0;
    long pos = qvraw_io_tell(f->io);
    if (pos < 0 || qvraw_io_seek(f->io, 0, SEEK_SET) != 0) return fail(f, QVRAW_ERR_IO);
    int rc = qvraw_io_write(f->io, f->header, sizeof *f->header, 1) == 1 ? 0 : -1;
    if (restore_position(f, pos, rc) != 0) return fail(f, QVRAW_ERR_IO);
    f->dirty = 0;
    return 0;
}

int qvraw_close(qvraw_file *f) {
    if (qvraw_flush(f) != 0) return -1;
    if (qvraw_io_close(f->io) != 0) return fail(f, QVRAW_ERR_IO);
    qvraw_io_free(f->io);
    f->io = nullptr;
    destroy(f);
    return 0;
}

int qvraw_read_header(qvraw_file *f, qvraw_header *out) {
    if (f == nullptr) {
        qvraw_open_err = QVRAW_ERR_USAGE;
        return -1;
    }
    if (f->header == nullptr && load_header(f) != 0) return -1;
    if (out != nullptr) *out = *f->header;
    return 0;
}

// The caller's record is checked before it replaces the copy: a refused
// header must not reach the file at close.
int qvraw_write_header(qvraw_file *f, const qvraw_header *h) {
    if (f == nullptr) {
        qvraw_open_err = QVRAW_ERR_USAGE;
        return -1;
    }
    if (h == nullptr) return fail(f, QVRAW_ERR_USAGE);
    std::size_t nchans = qvraw_header_get_nchans(h);
    if (nchans > QVRAW_MAX_CHANNELS) return fail(f, QVRAW_ERR_NCHANS);
    if (f->header == nullptr) {
        f->header = new (std::nothrow) qvraw_header{};
        if (f->header == nullptr) return fail(f, QVRAW_ERR_NOMEM);
    }
    *f->header = *h;
    std::memcpy(f->header->magic, QVRAW_MAGIC, sizeof QVRAW_MAGIC);
    f->dirty = 1;
    take_counts(f, nchans);
    return 0;
}

long qvraw_read_data(qvraw_file *f, double *frames, std::size_t count) {
    if (frames_allowed(f, frames != nullptr, &count) != 0) return -1;
    long n = qvraw_io_read(f->io, frames, f->frame_size, count);
    return n < 0 ? fail(f, QVRAW_ERR_IO) : n;
}

long qvraw_write_data(qvraw_file *f, const double *frames, std::size_t count) {
    if (frames_allowed(f, frames != nullptr, &count) != 0) return -1;
    long n = qvraw_io_write(f->io, frames, f->frame_size, count);
    return n < 0 ? fail(f, QVRAW_ERR_IO) : n;
}

long qvraw_seek_data(qvraw_file *f, long frame, int whence) {
    if (f == nullptr) {
        qvraw_open_err = QVRAW_ERR_USAGE;
        return -1;
    }
    if (f->frame_size == 0) return fail(f, QVRAW_ERR_SAMPLE);
    long pos = qvraw_io_tell(f->io);
    if (pos < 0) return fail(f, QVRAW_ERR_IO);
    long target = 0;
    if (!frame_offset(frame, f->frame_size, whence == SEEK_SET ? header_size : 0, &target))
        return fail_io(f, QVRAW_IO_OP_SEEK, EOVERFLOW);
    if (qvraw_io_seek(f->io, target, whence) != 0) return fail(f, QVRAW_ERR_IO);
    // The header is no place for frames: a move in front of the first frame
    // is refused and the position stays where it was.
    long now = qvraw_io_tell(f->io);
    if (now < 0) return fail(f, QVRAW_ERR_IO);
    if (now < header_size) {
        if (qvraw_io_seek(f->io, pos, SEEK_SET) != 0) return fail(f, QVRAW_ERR_IO);
        return fail_io(f, QVRAW_IO_OP_SEEK, EINVAL);
    }
    return (pos - header_size) / static_cast<long>(f->frame_size);
}

int qvraw_read_fft(qvraw_file *f, double *lines) {
    if (f == nullptr) {
        qvraw_open_err = QVRAW_ERR_USAGE;
        return -1;
    }
    if (f->data_end == 0) return fail(f, QVRAW_ERR_USAGE);
    if (f->data_end < 0) return fail_io(f, QVRAW_IO_OP_SEEK, EOVERFLOW);
    std::size_t bytes = 0;
    if (!block_bytes(f->nfreqs, f->frame_size, &bytes))
        return fail_io(f, QVRAW_IO_OP_READ, EOVERFLOW);
    if (lines == nullptr && bytes != 0) return fail(f, QVRAW_ERR_USAGE);
    long pos = qvraw_io_tell(f->io);
    if (pos < 0 || qvraw_io_seek(f->io, f->data_end, SEEK_SET) != 0) return fail(f, QVRAW_ERR_IO);
    // One item: a block cut short by the end of the file reads as far as it
    // goes and is not an error.
    int rc = qvraw_io_read(f->io, lines, bytes, 1) < 0 ? -1 : 0;
    if (restore_position(f, pos, rc) != 0) return fail(f, QVRAW_ERR_IO);
    return 0;
}

int qvraw_write_fft(qvraw_file *f, const double *lines, std::size_t nfreqs) {
    if (f == nullptr) {
        qvraw_open_err = QVRAW_ERR_USAGE;
        return -1;
    }
    std::size_t bytes = 0;
    if (!block_bytes(nfreqs, f->frame_size, &bytes))
        return fail_io(f, QVRAW_IO_OP_WRITE, EOVERFLOW);
    if (lines == nullptr && bytes != 0) return fail(f, QVRAW_ERR_USAGE);
    if (f->data_end != 0) {
        // Drop the old block.
        if (f->data_end < 0) return fail_io(f, QVRAW_IO_OP_TRUNCATE, EOVERFLOW);
        if (qvraw_io_truncate(f->io, f->data_end) != 0) return fail(f, QVRAW_ERR_IO);
        f->data_end = 0;
    }
    long pos = qvraw_io_tell(f->io);
    if (pos < 0 || qvraw_io_seek(f->io, 0, SEEK_END) != 0) return fail(f, QVRAW_ERR_IO);
    long end = qvraw_io_tell(f->io);
    if (end < 0) return fail(f, QVRAW_ERR_IO);
    // A file that does not yet hold the header record (a new file whose
    // header is written at close): the block starts after the header, or the
    // header would later overwrite it.
    if (end < header_size) {
        end = header_size;
        if (qvraw_io_seek(f->io, end, SEEK_SET) != 0) return fail(f, QVRAW_ERR_IO);
    }
    int rc = qvraw_io_write(f->io, lines, bytes, 1) < 0 ? -1 : 0;
    if (restore_position(f, pos, rc) != 0) return fail(f, QVRAW_ERR_IO);
    f->nfreqs = nfreqs;
    f->data_end = end;
    return 0;
}

const char *qvraw_strerr(qvraw_file *f) {
    thread_local char buf[64];
    std::uint32_t &code = f != nullptr ? f->err : qvraw_open_err;
    const char *text = code < std::size(QVRAW_ERR_TEXTS) ? QVRAW_ERR_TEXTS[code] : "Unknown error";
    // A failed open keeps no I/O record to describe its failure.
    const char *io_text = code != QVRAW_ERR_IO               ? ""
                          : f != nullptr && f->io != nullptr ? qvraw_io_strerr(f->io)
                                                             : "?";
    std::snprintf(buf, sizeof buf, "%s%s", text, io_text);
    code = QVRAW_ERR_NONE;
    return buf;
}
