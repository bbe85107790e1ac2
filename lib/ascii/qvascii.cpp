// The ASCII record file: its handle and its header.
//
// A file is the header text from byte 0, then one sample line per frame
// (samples.cpp). The header may be read or rewritten between sample calls;
// a rewritten header of another length moves the sample lines.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "qvascii_int.h"

namespace {

// Library-wide error record, for the failures of qvascii_open (per thread).
thread_local std::uint32_t qvascii_err_ = 0;
thread_local int qvascii_syserr_ = 0;

// The text buffer of qvascii_strerr.
thread_local char buf[64];

} // namespace

int qvascii_fail(qvascii_file *f, std::uint32_t code) {
    int sys = code >= QVASCII_FIRST_SYS_ERR ? errno : 0;
    if (f) {
        f->err = code;
        f->syserr = sys;
    } else {
        qvascii_err_ = code;
        qvascii_syserr_ = sys;
    }
    return -1;
}

namespace {

// Scale and column factors a header gives, before they are fixed.
struct scales {
    double scale;
    double column[QVASCII_MAX_CHANNELS];
};

std::uint32_t header_scales(const qvascii_header *h, scales *out) {
    const char *text =
        qvascii_entry_get_str(qvascii_group_get(qvascii_header_get(h, "Sensor"), "Scale"), nullptr);
    if (!text) return QVASCII_ERR_SCALE;
    // A scale of 0 would write every sample as 0 and read every one as an
    // infinity; a scale that is not finite is no better.
    out->scale = std::strtod(text, nullptr);
    if (out->scale == 0 || !(out->scale - out->scale == 0)) return QVASCII_ERR_SCALE;
    const qvascii_group *columns = qvascii_header_get(h, "Columns");
    for (std::size_t c = 0; c < QVASCII_MAX_CHANNELS; c++) {
        char key[8];
        std::snprintf(key, sizeof key, "%zu", c + 2); // column 1 is the time
        const char *name = qvascii_entry_get_str(qvascii_group_get(columns, key), nullptr);
        out->column[c] = !name || qvascii_column_unscaled(name) ? 1.0 : out->scale;
    }
    return QVASCII_ERR_NONE;
}

// Whether the header's scales agree with those the handle fixed (true when
// none are fixed yet).
bool scales_agree(const qvascii_file *f, const scales &s) {
    if (f->scale == 0) return true;
    if (s.scale != f->scale) return false;
    for (std::size_t c = 0; c < QVASCII_MAX_CHANNELS; c++)
        if (s.column[c] != f->column_scale[c]) return false;
    return true;
}

void fix_scales(qvascii_file *f, const scales &s) {
    f->scale = s.scale;
    std::memcpy(f->column_scale, s.column, sizeof s.column);
}

// The sample interval of the header: 1000000 / "Rate" microseconds for an
// event record, "Period" seconds for a background record.
std::uint32_t header_step(const qvascii_header *h, std::uint32_t *sec, std::uint32_t *usec) {
    const char *type =
        qvascii_entry_get_str(qvascii_group_get(qvascii_header_get(h, "File"), "Type"), nullptr);
    if (!type) return QVASCII_ERR_TIMESTEP;
    if (std::strcmp(type, "Event") == 0) {
        const qvascii_entry *rate = qvascii_group_get(qvascii_header_get(h, "Acquisition"), "Rate");
        if (!rate || !rate->value) return QVASCII_ERR_TIMESTEP;
        std::uint32_t r = qvascii_entry_get_uint(rate, 0);
        if (r == 0) return QVASCII_ERR_TIMESTEP; // no interval at all
        *sec = 0;
        *usec = 1000000u / r;
        return QVASCII_ERR_NONE;
    }
    if (std::strcmp(type, "Background") == 0) {
        const qvascii_entry *period =
            qvascii_group_get(qvascii_header_get(h, "Background"), "Period");
        if (!period || !period->value) return QVASCII_ERR_TIMESTEP;
        *sec = qvascii_entry_get_uint(period, 0);
        *usec = 0;
        return QVASCII_ERR_NONE;
    }
    return QVASCII_ERR_TIMESTEP;
}

// Moves the sample lines from old_off to old_off + d, a block at a time,
// and cuts the file when it shrinks. Growing copies from the end backwards
// so that no byte is overwritten before it has been read.
bool shift_data(qvascii_file *f, long old_off, long d) {
    std::FILE *fp = f->stream;
    char *block = f->block;
    if (d > 0) {
        long pos = qvascii_io_seek(fp, 0, SEEK_END);
        if (pos < 0) return false;
        while (pos > old_off) {
            long n = pos - old_off < static_cast<long>(QVASCII_BLOCK_SIZE)
                         ? pos - old_off
                         : static_cast<long>(QVASCII_BLOCK_SIZE);
            pos -= n;
            if (qvascii_io_seek(fp, pos, SEEK_SET) != pos) return false;
            if (qvascii_io_read(fp, block, static_cast<std::size_t>(n)) != n) return false;
            if (qvascii_io_seek(fp, pos + d, SEEK_SET) != pos + d) return false;
            if (qvascii_io_write(fp, block, static_cast<std::size_t>(n)) != n) return false;
        }
        return true;
    }
    long rd = old_off;
    long wr = old_off + d;
    for (;;) {
        if (qvascii_io_seek(fp, rd, SEEK_SET) != rd) return false;
        long n = qvascii_io_read(fp, block, QVASCII_BLOCK_SIZE);
        if (n < 0) return false;
        if (n == 0) break;
        if (qvascii_io_seek(fp, wr, SEEK_SET) != wr) return false;
        if (qvascii_io_write(fp, block, static_cast<std::size_t>(n)) != n) return false;
        rd += n;
        wr += n;
    }
    return qvascii_io_truncate(fp, wr) == 0;
}

} // namespace

// Columns of ratios (STA/LTA) and frequencies keep a factor of 1. The column
// name is compared by its start, as the signal word heads it ("VM Freq X").
bool qvascii_column_unscaled(const char *name) {
    return std::strncmp(name, "STA/LTA", 7) == 0 || std::strncmp(name, "SBR A Freq", 10) == 0 ||
           std::strncmp(name, "VM Freq", 7) == 0;
}

qvascii_file *qvascii_open(const char *path, int mode) {
    auto *f = static_cast<qvascii_file *>(std::calloc(1, sizeof(qvascii_file)));
    if (!f) {
        qvascii_fail(nullptr, QVASCII_ERR_NOMEM);
        return nullptr;
    }
    const char *smode = mode == QVASCII_MODE_WRITE  ? "wb+"
                        : mode == QVASCII_MODE_READ ? "rb"
                                                    : nullptr;
    if (!smode) {
        std::free(f);
        qvascii_fail(nullptr, QVASCII_ERR_MODE);
        return nullptr;
    }
    f->stream = qvascii_io_open(path ? path : "", smode);
    if (!f->stream) {
        qvascii_fail(nullptr, QVASCII_ERR_IO_OPEN);
        std::free(f);
        return nullptr;
    }
    return f;
}

int qvascii_close(qvascii_file *f) {
    if (!f) return 0;
    if (f->stream) {
        // The stream is released whatever the result; a failure is reported
        // once and a later close only frees the handle.
        int r = qvascii_io_close(f->stream);
        f->stream = nullptr;
        if (r != 0) return qvascii_fail(f, QVASCII_ERR_IO_CLOSE);
    }
    std::free(f);
    return 0;
}

int qvascii_update_scale(qvascii_file *f, const qvascii_header *h) {
    scales s;
    if (header_scales(h, &s) != QVASCII_ERR_NONE || !scales_agree(f, s))
        return qvascii_fail(f, QVASCII_ERR_SCALE);
    fix_scales(f, s);
    return 0;
}

int qvascii_read_header(qvascii_file *f, qvascii_header *h) {
    if (!f || !f->stream || !h) return qvascii_fail(f, QVASCII_ERR_HEADER);
    if (qvascii_drop_ahead(f) != 0) return -1;
    long pos = 0;
    if (f->positioned && (pos = qvascii_io_seek(f->stream, 0, SEEK_CUR)) < 0)
        return qvascii_fail(f, QVASCII_ERR_IO_SEEK);
    if (qvascii_io_seek(f->stream, 0, SEEK_SET) != 0) return qvascii_fail(f, QVASCII_ERR_IO_SEEK);
    char text[QVASCII_HEADER_MAX + 1];
    long n = qvascii_io_read(f->stream, text, QVASCII_HEADER_MAX);
    if (n < 0) return qvascii_fail(f, QVASCII_ERR_IO_READ);
    text[n] = '\0';
    long len = qvascii_header_parse(h, text);
    if (len < 0) return qvascii_fail(f, QVASCII_ERR_HEADER);
    if (qvascii_update_scale(f, h) != 0) return -1;
    f->data_offset = len;
    if (f->positioned && qvascii_io_seek(f->stream, pos, SEEK_SET) != pos)
        return qvascii_fail(f, QVASCII_ERR_IO_SEEK);
    return 0;
}

int qvascii_write_header(qvascii_file *f, const qvascii_header *h) {
    if (!f || !f->stream || !h) return qvascii_fail(f, QVASCII_ERR_HEADER);
    if (qvascii_drop_ahead(f) != 0) return -1;
    long pos = 0;
    if (f->positioned && (pos = qvascii_io_seek(f->stream, 0, SEEK_CUR)) < 0)
        return qvascii_fail(f, QVASCII_ERR_IO_SEEK);

    // Everything is checked before anything is fixed, so a refused header
    // leaves the handle as it was.
    scales s;
    if (header_scales(h, &s) != QVASCII_ERR_NONE || !scales_agree(f, s))
        return qvascii_fail(f, QVASCII_ERR_SCALE);
    std::uint32_t step_sec = 0, step_usec = 0;
    if (header_step(h, &step_sec, &step_usec) != QVASCII_ERR_NONE ||
        (f->step_fixed && (step_sec != f->step_sec || step_usec != f->step_usec)))
        return qvascii_fail(f, QVASCII_ERR_TIMESTEP);
    char text[QVASCII_HEADER_MAX + 1];
    int len = qvascii_header_print(h, text, static_cast<std::int32_t>(sizeof text));
    if (len <= 0) return qvascii_fail(f, QVASCII_ERR_HEADER);
    fix_scales(f, s);
    f->step_sec = step_sec;
    f->step_usec = step_usec;
    f->step_fixed = true;

    if (f->data_offset != 0 && len != f->data_offset) {
        long d = len - static_cast<long>(f->data_offset);
        if (!shift_data(f, static_cast<long>(f->data_offset), d))
            return qvascii_fail(f, QVASCII_ERR_SHIFT);
        f->data_offset += d;
        pos += d;
    }
    if (qvascii_io_seek(f->stream, 0, SEEK_SET) != 0) return qvascii_fail(f, QVASCII_ERR_IO_SEEK);
    long w = qvascii_io_write(f->stream, text, static_cast<std::size_t>(len));
    if (w < 0) return qvascii_fail(f, QVASCII_ERR_IO_WRITE);
    if (w != len) return qvascii_fail(f, QVASCII_ERR_WRITE_TRUNC);
    f->data_offset = len;
    if (f->positioned && qvascii_io_seek(f->stream, pos, SEEK_SET) != pos)
        return qvascii_fail(f, QVASCII_ERR_IO_SEEK);
    return 0;
}

const char *qvascii_strerr(qvascii_file *f) {
    std::uint32_t code = f ? f->err : qvascii_err_;
    int sys = f ? f->syserr : qvascii_syserr_;
    if (f) {
        f->err = 0;
        f->syserr = 0;
    } else {
        qvascii_err_ = 0;
        qvascii_syserr_ = 0;
    }
    const bool known = code < std::size(QVASCII_ERR_TEXTS);
    std::snprintf(buf, sizeof buf, "%s%s", known ? QVASCII_ERR_TEXTS[code] : "Unknown error",
                  known && code >= QVASCII_FIRST_SYS_ERR ? std::strerror(sys) : "");
    return buf;
}
