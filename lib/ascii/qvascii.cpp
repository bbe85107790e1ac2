// The ASCII record file: its handle, header and sample lines.
//
// A file is the header text from byte 0, then one sample line per frame:
//
//     0.000976 0.0123 -0.5 1.5e-05\r\n
//
// the time since the first sample ("%lu" seconds, with ".%06lu"
// microseconds when the sample interval has a microsecond part), then one
// "%g" value per channel, separated by single spaces. Values are the
// samples multiplied by their column's factor: the sensor scale, or 1 for
// columns that hold ratios or frequencies rather than sensor units.
//
// Samples move in blocks of 32 KiB. A sample read keeps the text it read
// beyond its last line for the next sample read, so every byte is read
// once; every other operation first moves the stream back to the next
// sample line, so the header may be read or rewritten between sample
// calls. A rewritten header of another length moves the sample lines.
#include <cerrno>
#include <climits>
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

constexpr const char *error_texts[] = {
    "None",
    "Out of memory",
    "Invalid file mode",
    "File too short",
    "Invalid header",
    "Unknown error",
    "Invalid header scale",
    "Invalid header timestep",
    "Header is unknwon", // sic: stored messages keep this spelling
    "Failed to shift data",
    "Shift is out of bound",
    "Invalid data",
    "Read truncated",
    "Write truncated",
    "Failed to determine end-of-line character",
    "Failed to determine field separator",
    "On open(): ",
    "On close(): ",
    "On read(): ",
    "On write(): ",
    "On seek(): ",
    "On truncate(): ",
};
constexpr std::uint32_t FIRST_SYS_ERR = QVASCII_ERR_IO_OPEN;
static_assert(std::size(error_texts) == QVASCII_ERR_IO_TRUNCATE + 1);

// Records a failure in the handle (or the library-wide record); codes of
// system failures keep the current errno with them.
int error_set(qvascii_file *f, std::uint32_t code) {
    int sys = code >= FIRST_SYS_ERR ? errno : 0;
    if (f) {
        f->err = code;
        f->syserr = sys;
    } else {
        qvascii_err_ = code;
        qvascii_syserr_ = sys;
    }
    return -1;
}

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

// Writes the time column "sec " or "sec.usec " (six digits).
char *put_time(char *p, std::uint32_t sec, std::uint32_t usec, bool with_usec) {
    char tmp[10];
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + sec % 10);
        sec /= 10;
    } while (sec != 0);
    while (n > 0)
        *p++ = tmp[--n];
    if (with_usec) {
        *p++ = '.';
        for (int i = 5; i >= 0; i--, usec /= 10)
            p[i] = static_cast<char>('0' + usec % 10);
        p += 6;
    }
    *p++ = ' ';
    return p;
}

// Writes n bytes of the block at the stream position.
int write_block(qvascii_file *f, std::size_t n) {
    long w = qvascii_io_write(f->stream, f->block, n);
    if (w < 0) return error_set(f, QVASCII_ERR_IO_WRITE);
    if (static_cast<std::size_t>(w) != n) return error_set(f, QVASCII_ERR_WRITE_TRUNC);
    return 0;
}

// Reads the values of one sample line [s, e) into frame; false when the
// line holds fewer values than channels. The text at e is a line end or
// the terminator, so no value is read past the line.
bool parse_line(const qvascii_file *f, const char *s, const char *e, double *frame,
                std::size_t nchans) {
    if (nchans == 0) return true;
    char sep = f->fieldsep;
    auto *p = static_cast<const char *>(std::memchr(s, sep, static_cast<std::size_t>(e - s)));
    if (!p) return false; // only the time column
    for (std::size_t c = 0;; c++) {
        const char *v = p + 1;
        // atof skips leading white space; here it may not run into the next
        // line, so an empty field is 0.
        while (v < e && (*v == ' ' || (*v >= '\t' && *v <= '\r')))
            v++;
        const char *end = v;
        frame[c] = (v < e ? qvascii_parse_number(v, &end) : 0.0) / f->column_scale[c];
        if (c + 1 == nchans) return true;
        // The next separator: straight after a number that follows its
        // separator directly (the number text holds no separator), else
        // searched for from the separator on.
        if (v == p + 1 && end < e && *end == sep)
            p = end;
        else
            p = static_cast<const char *>(
                std::memchr(p + 1, sep, static_cast<std::size_t>(e - p - 1)));
        if (!p) return false;
    }
}

// Gives back the sample text read ahead: the stream moves back to the
// first byte not yet delivered. 0, or -1 with code 20.
int drop_ahead(qvascii_file *f) {
    long back = static_cast<long>(f->ahead_end) - static_cast<long>(f->ahead_pos);
    f->ahead_pos = f->ahead_end = 0;
    if (back != 0 && qvascii_io_seek(f->stream, -back, SEEK_CUR) < 0)
        return error_set(f, QVASCII_ERR_IO_SEEK);
    return 0;
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
        error_set(nullptr, QVASCII_ERR_NOMEM);
        return nullptr;
    }
    const char *smode = mode == QVASCII_MODE_WRITE  ? "wb+"
                        : mode == QVASCII_MODE_READ ? "rb"
                                                    : nullptr;
    if (!smode) {
        std::free(f);
        error_set(nullptr, QVASCII_ERR_MODE);
        return nullptr;
    }
    f->stream = qvascii_io_open(path ? path : "", smode);
    if (!f->stream) {
        error_set(nullptr, QVASCII_ERR_IO_OPEN);
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
        if (r != 0) return error_set(f, QVASCII_ERR_IO_CLOSE);
    }
    std::free(f);
    return 0;
}

int qvascii_update_scale(qvascii_file *f, const qvascii_header *h) {
    scales s;
    if (header_scales(h, &s) != QVASCII_ERR_NONE || !scales_agree(f, s))
        return error_set(f, QVASCII_ERR_SCALE);
    fix_scales(f, s);
    return 0;
}

int qvascii_read_header(qvascii_file *f, qvascii_header *h) {
    if (!f || !f->stream || !h) return error_set(f, QVASCII_ERR_HEADER);
    if (drop_ahead(f) != 0) return -1;
    long pos = 0;
    if (f->positioned && (pos = qvascii_io_seek(f->stream, 0, SEEK_CUR)) < 0)
        return error_set(f, QVASCII_ERR_IO_SEEK);
    if (qvascii_io_seek(f->stream, 0, SEEK_SET) != 0) return error_set(f, QVASCII_ERR_IO_SEEK);
    char text[QVASCII_HEADER_MAX + 1];
    long n = qvascii_io_read(f->stream, text, QVASCII_HEADER_MAX);
    if (n < 0) return error_set(f, QVASCII_ERR_IO_READ);
    text[n] = '\0';
    long len = qvascii_header_parse(h, text);
    if (len < 0) return error_set(f, QVASCII_ERR_HEADER);
    if (qvascii_update_scale(f, h) != 0) return -1;
    f->data_offset = len;
    if (f->positioned && qvascii_io_seek(f->stream, pos, SEEK_SET) != pos)
        return error_set(f, QVASCII_ERR_IO_SEEK);
    return 0;
}

int qvascii_write_header(qvascii_file *f, const qvascii_header *h) {
    if (!f || !f->stream || !h) return error_set(f, QVASCII_ERR_HEADER);
    if (drop_ahead(f) != 0) return -1;
    long pos = 0;
    if (f->positioned && (pos = qvascii_io_seek(f->stream, 0, SEEK_CUR)) < 0)
        return error_set(f, QVASCII_ERR_IO_SEEK);

    // Everything is checked before anything is fixed, so a refused header
    // leaves the handle as it was.
    scales s;
    if (header_scales(h, &s) != QVASCII_ERR_NONE || !scales_agree(f, s))
        return error_set(f, QVASCII_ERR_SCALE);
    std::uint32_t step_sec = 0, step_usec = 0;
    if (header_step(h, &step_sec, &step_usec) != QVASCII_ERR_NONE ||
        (f->step_fixed && (step_sec != f->step_sec || step_usec != f->step_usec)))
        return error_set(f, QVASCII_ERR_TIMESTEP);
    char text[QVASCII_HEADER_MAX + 1];
    int len = qvascii_header_print(h, text, static_cast<std::int32_t>(sizeof text));
    if (len <= 0) return error_set(f, QVASCII_ERR_HEADER);
    fix_scales(f, s);
    f->step_sec = step_sec;
    f->step_usec = step_usec;
    f->step_fixed = true;

    if (f->data_offset != 0 && len != f->data_offset) {
        long d = len - static_cast<long>(f->data_offset);
        if (!shift_data(f, static_cast<long>(f->data_offset), d))
            return error_set(f, QVASCII_ERR_SHIFT);
        f->data_offset += d;
        pos += d;
    }
    if (qvascii_io_seek(f->stream, 0, SEEK_SET) != 0) return error_set(f, QVASCII_ERR_IO_SEEK);
    long w = qvascii_io_write(f->stream, text, static_cast<std::size_t>(len));
    if (w < 0) return error_set(f, QVASCII_ERR_IO_WRITE);
    if (w != len) return error_set(f, QVASCII_ERR_WRITE_TRUNC);
    f->data_offset = len;
    if (f->positioned && qvascii_io_seek(f->stream, pos, SEEK_SET) != pos)
        return error_set(f, QVASCII_ERR_IO_SEEK);
    return 0;
}

long qvascii_write_data(qvascii_file *f, const double *frames, std::size_t nframes,
                        std::size_t nchans) {
    if (!f || !f->stream || f->data_offset == 0) return error_set(f, QVASCII_ERR_NOHEADER);
    if (nchans > QVASCII_MAX_CHANNELS || (nframes != 0 && !frames))
        return error_set(f, QVASCII_ERR_DATA);
    if (drop_ahead(f) != 0) return -1;
    if (!f->positioned) {
        long off = static_cast<long>(f->data_offset);
        if (qvascii_io_seek(f->stream, off, SEEK_SET) != off)
            return error_set(f, QVASCII_ERR_IO_SEEK);
        f->positioned = 1;
        f->time_sec = 0;
        f->time_usec = 0;
    }
    if (nframes > static_cast<std::size_t>(LONG_MAX)) nframes = static_cast<std::size_t>(LONG_MAX);
    if (nframes == 0) return 0;

    const bool with_usec = f->step_usec != 0;
    std::uint32_t sec = f->time_sec, usec = f->time_usec;
    std::size_t used = 0;
    for (std::size_t i = 0; i < nframes; i++) {
        // Write the block out before a line that might not fit.
        if (used > QVASCII_BLOCK_SIZE - QVASCII_LINE_MAX) {
            if (write_block(f, used) != 0) return -1;
            used = 0;
        }
        char *p = put_time(f->block + used, sec, usec, with_usec);
        const double *frame = frames + i * nchans;
        for (std::size_t c = 0; c < nchans; c++) {
            p += qvascii_format_g(p, frame[c] * f->column_scale[c]);
            *p++ = ' ';
        }
        p[-1] = '\r';
        *p++ = '\n';
        used = static_cast<std::size_t>(p - f->block);

        usec += f->step_usec;
        sec += f->step_sec + usec / 1000000u;
        usec %= 1000000u;
    }
    f->time_sec = sec;
    f->time_usec = usec;
    if (write_block(f, used) != 0) return -1;
    return static_cast<long>(nframes);
}

long qvascii_read_data(qvascii_file *f, double *frames, std::size_t nframes, std::size_t nchans) {
    if (!f || !f->stream || f->data_offset == 0) return error_set(f, QVASCII_ERR_NOHEADER);
    if (nchans > QVASCII_MAX_CHANNELS || (nframes != 0 && !frames))
        return error_set(f, QVASCII_ERR_DATA);
    if (!f->positioned) {
        long off = static_cast<long>(f->data_offset);
        if (qvascii_io_seek(f->stream, off, SEEK_SET) != off)
            return error_set(f, QVASCII_ERR_IO_SEEK);
        f->positioned = 1;
    }
    if (nframes > static_cast<std::size_t>(LONG_MAX)) nframes = static_cast<std::size_t>(LONG_MAX);
    if (nframes == 0) return 0;

    // The block holds the text [pos, n): what an earlier call read ahead,
    // then what is read behind it whenever no whole line is left.
    char *block = f->block;
    std::size_t pos = f->ahead_pos, n = f->ahead_end;
    f->ahead_pos = f->ahead_end = 0;
    bool at_end = false; // the last read reached the end of the file
    bool fill = pos >= n;
    std::size_t done = 0;
    for (;;) {
        if (fill) {
            std::size_t keep = n - pos;
            if (keep == QVASCII_BLOCK_SIZE) {
                // A full block without a line end: a line longer than a block.
                return error_set(f, QVASCII_ERR_DATA);
            }
            if (keep > 0 && pos > 0) std::memmove(block, block + pos, keep);
            long got = qvascii_io_read(f->stream, block + keep, QVASCII_BLOCK_SIZE - keep);
            if (got < 0) return error_set(f, QVASCII_ERR_IO_READ);
            pos = 0;
            n = keep + static_cast<std::size_t>(got);
            at_end = n < QVASCII_BLOCK_SIZE;
            block[n] = '\0';
            if (n == 0) return static_cast<long>(done);

            if (f->newline == 0) {
                char *nl = static_cast<char *>(std::memchr(block, '\r', n));
                char *lf = static_cast<char *>(std::memchr(block, '\n', n));
                if (!nl || (lf && lf < nl)) nl = lf;
                if (nl) {
                    f->newline = *nl;
                } else if (!at_end) {
                    return error_set(f, QVASCII_ERR_EOL);
                } // else: one last line without a line end, read below
            }
            if (f->fieldsep == 0) {
                char *sp = static_cast<char *>(std::memchr(block, ' ', n));
                char *tab = static_cast<char *>(std::memchr(block, '\t', n));
                if (!sp || (tab && tab < sp)) sp = tab;
                if (!sp) return error_set(f, QVASCII_ERR_FIELDSEP);
                f->fieldsep = *sp;
            }
        }

        fill = false;
        while (done < nframes) {
            // The LF of a CR LF whose CR ended the text read before.
            if (f->newline == '\r' && pos < n && block[pos] == '\n') pos++;
            if (pos >= n) {
                fill = !at_end;
                break;
            }
            char *s = block + pos;
            char *e =
                f->newline ? static_cast<char *>(std::memchr(s, f->newline, n - pos)) : nullptr;
            std::size_t next;
            if (e) {
                next = static_cast<std::size_t>(e - block) + 1;
                if (f->newline == '\r' && next < n && block[next] == '\n') next++;
            } else if (at_end) {
                e = block + n; // the last line, without a line end
                next = n;
            } else {
                fill = true; // incomplete: read on behind it
                break;
            }
            if (!parse_line(f, s, e, frames + done * nchans, nchans))
                return error_set(f, QVASCII_ERR_DATA);
            done++;
            pos = next;
        }
        if (!fill) {
            // Done, or at the end of the file: what is left waits for the
            // next call.
            f->ahead_pos = static_cast<std::uint32_t>(pos);
            f->ahead_end = static_cast<std::uint32_t>(n);
            return static_cast<long>(done);
        }
    }
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
    const char *text = code < std::size(error_texts) ? error_texts[code] : "Unknown error";
    std::snprintf(buf, sizeof buf, "%s%s", text,
                  code >= FIRST_SYS_ERR && code < std::size(error_texts) ? std::strerror(sys) : "");
    return buf;
}
