// The sample lines of an ASCII record file. After the header, one line per
// frame:
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
// sample line (qvascii_drop_ahead).
#include <climits>
#include <cstdio>
#include <cstring>

#include "qvascii_int.h"

namespace {

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
    if (w < 0) return qvascii_fail(f, QVASCII_ERR_IO_WRITE);
    if (static_cast<std::size_t>(w) != n) return qvascii_fail(f, QVASCII_ERR_WRITE_TRUNC);
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

// The text of the block: [pos, n) is not delivered yet; at_end when the
// last read reached the end of the file.
struct window {
    std::size_t pos;
    std::size_t n;
    bool at_end;
};

// Learns the line end and the field separator from the first text read,
// which starts at the block's first byte. 0, or -1 with the error set.
int learn_line_format(qvascii_file *f, const window &w) {
    char *block = f->block;
    if (f->newline == 0) {
        char *nl = static_cast<char *>(std::memchr(block, '\r', w.n));
        char *lf = static_cast<char *>(std::memchr(block, '\n', w.n));
        if (!nl || (lf && lf < nl)) nl = lf;
        if (nl) {
            f->newline = *nl;
        } else if (!w.at_end) {
            return qvascii_fail(f, QVASCII_ERR_EOL);
        } // else: one last line without a line end, read as such
    }
    if (f->fieldsep == 0) {
        char *sp = static_cast<char *>(std::memchr(block, ' ', w.n));
        char *tab = static_cast<char *>(std::memchr(block, '\t', w.n));
        if (!sp || (tab && tab < sp)) sp = tab;
        if (!sp) return qvascii_fail(f, QVASCII_ERR_FIELDSEP);
        f->fieldsep = *sp;
    }
    return 0;
}

// Moves the text not delivered yet to the block's start and reads behind
// it. 1 with text in the block, 0 at the end of the file, -1 with the error
// set.
int refill(qvascii_file *f, window *w) {
    char *block = f->block;
    std::size_t keep = w->n - w->pos;
    if (keep == QVASCII_BLOCK_SIZE) {
        // A full block without a line end: a line longer than a block.
        return qvascii_fail(f, QVASCII_ERR_DATA);
    }
    if (keep > 0 && w->pos > 0) std::memmove(block, block + w->pos, keep);
    long got = qvascii_io_read(f->stream, block + keep, QVASCII_BLOCK_SIZE - keep);
    if (got < 0) return qvascii_fail(f, QVASCII_ERR_IO_READ);
    w->pos = 0;
    w->n = keep + static_cast<std::size_t>(got);
    w->at_end = w->n < QVASCII_BLOCK_SIZE;
    block[w->n] = '\0';
    if (w->n == 0) return 0;
    return learn_line_format(f, *w) == 0 ? 1 : -1;
}

// Reads the whole lines of the window into frames until `nframes` frames
// are done. *more tells that the text ran out before and more can be read.
// 0, or -1 with the error set for a line of too few values.
int take_lines(qvascii_file *f, window *w, double *frames, std::size_t nframes, std::size_t nchans,
               std::size_t *done, bool *more) {
    char *block = f->block;
    const char nl = f->newline;
    while (*done < nframes) {
        // The LF of a CR LF whose CR ended the text read before.
        if (nl == '\r' && w->pos < w->n && block[w->pos] == '\n') w->pos++;
        if (w->pos >= w->n) {
            *more = !w->at_end;
            return 0;
        }
        char *s = block + w->pos;
        char *e = nl ? static_cast<char *>(std::memchr(s, nl, w->n - w->pos)) : nullptr;
        std::size_t next;
        if (e) {
            next = static_cast<std::size_t>(e - block) + 1;
            if (nl == '\r' && next < w->n && block[next] == '\n') next++;
        } else if (w->at_end) {
            e = block + w->n; // the last line, without a line end
            next = w->n;
        } else {
            *more = true; // incomplete: read on behind it
            return 0;
        }
        if (!parse_line(f, s, e, frames + *done * nchans, nchans))
            return qvascii_fail(f, QVASCII_ERR_DATA);
        ++*done;
        w->pos = next;
    }
    return 0;
}

} // namespace

int qvascii_drop_ahead(qvascii_file *f) {
    long back = static_cast<long>(f->ahead_end) - static_cast<long>(f->ahead_pos);
    f->ahead_pos = f->ahead_end = 0;
    if (back != 0 && qvascii_io_seek(f->stream, -back, SEEK_CUR) < 0)
        return qvascii_fail(f, QVASCII_ERR_IO_SEEK);
    return 0;
}

long qvascii_write_data(qvascii_file *f, const double *frames, std::size_t nframes,
                        std::size_t nchans) {
    if (!f || !f->stream || f->data_offset == 0) return qvascii_fail(f, QVASCII_ERR_NOHEADER);
    if (nchans > QVASCII_MAX_CHANNELS || (nframes != 0 && !frames))
        return qvascii_fail(f, QVASCII_ERR_DATA);
    if (qvascii_drop_ahead(f) != 0) return -1;
    if (!f->positioned) {
        long off = static_cast<long>(f->data_offset);
        if (qvascii_io_seek(f->stream, off, SEEK_SET) != off)
            return qvascii_fail(f, QVASCII_ERR_IO_SEEK);
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
    if (!f || !f->stream || f->data_offset == 0) return qvascii_fail(f, QVASCII_ERR_NOHEADER);
    if (nchans > QVASCII_MAX_CHANNELS || (nframes != 0 && !frames))
        return qvascii_fail(f, QVASCII_ERR_DATA);
    if (!f->positioned) {
        long off = static_cast<long>(f->data_offset);
        if (qvascii_io_seek(f->stream, off, SEEK_SET) != off)
            return qvascii_fail(f, QVASCII_ERR_IO_SEEK);
        f->positioned = 1;
    }
    if (nframes > static_cast<std::size_t>(LONG_MAX)) nframes = static_cast<std::size_t>(LONG_MAX);
    if (nframes == 0) return 0;

    // The text an earlier call read ahead first, then what is read behind
    // it whenever no whole line is left.
    window w{f->ahead_pos, f->ahead_end, false};
    f->ahead_pos = f->ahead_end = 0;
    bool more = w.pos >= w.n;
    std::size_t done = 0;
    for (;;) {
        if (more) {
            int r = refill(f, &w);
            if (r < 0) return -1;
            if (r == 0) return static_cast<long>(done);
        }
        more = false;
        if (take_lines(f, &w, frames, nframes, nchans, &done, &more) != 0) return -1;
        if (!more) {
            // Done, or at the end of the file: what is left waits for the
            // next call.
            f->ahead_pos = static_cast<std::uint32_t>(w.pos);
            f->ahead_end = static_cast<std::uint32_t>(w.n);
            return static_cast<long>(done);
        }
    }
}
