// Internals of libqvascii shared between its modules (and its unit tests).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>

#include "qvascii.h"

// A heap copy of the first n bytes of s, zero-terminated; null when memory
// runs out.
char *qvascii_dup(const char *s, std::size_t n);

// --- Checked floating-point to integer conversions ---------------------------
//
// A cast of NaN, an infinity or an out-of-range value to an integer type is
// undefined, so every such conversion goes through these: in range they
// truncate towards zero like the cast; NaN gives 0; everything else
// saturates at the type's limits.
template <typename I, typename F>
constexpr I qvascii_trunc_to(F v) {
    if (!(v == v)) return 0;
    // The limits as F: the low one is exact (a power of two or 0); the high
    // one may round up to 2^N, which is itself out of range, hence ">=".
    constexpr F lo = static_cast<F>(std::numeric_limits<I>::min());
    constexpr F hi = static_cast<F>(std::numeric_limits<I>::max());
    if (v <= lo) return std::numeric_limits<I>::min();
    if (v >= hi) return std::numeric_limits<I>::max();
    return static_cast<I>(v);
}

// --- Sample-line number text ---------------------------------------------------

// Longest text of "%g" for a double ("-1.23457e+308", "-4.94066e-324").
inline constexpr std::size_t QVASCII_G_MAX = 13;
// Longest sample line: the time column "4294967295.999999 ", one value and
// its separator per channel, the last separator becoming CR, and LF.
inline constexpr std::size_t QVASCII_LINE_MAX = 18 + (QVASCII_G_MAX + 1) * QVASCII_MAX_CHANNELS + 1;

// Writes `v` exactly as snprintf("%g") does into dst (room for
// QVASCII_G_MAX bytes, not zero-terminated); the number of bytes.
std::size_t qvascii_format_g(char *dst, double v);
// The double that atof(p) gives; p is zero-terminated.
double qvascii_parse_double(const char *p);
// The same, with the end of the number text in *end, as strtod gives it.
double qvascii_parse_number(const char *p, const char **end);

// --- I/O layer -----------------------------------------------------------------
//
// Every stdio and system call of the file operations goes through these.
// Interrupted calls are repeated; on -1 (or null) errno holds the cause.

std::FILE *qvascii_io_open(const char *path, const char *mode);
// Closes the stream (it is gone afterwards, whatever the result). 0 or -1.
int qvascii_io_close(std::FILE *fp);
// Reads n bytes; fewer only at the end of the file. The count or -1.
long qvascii_io_read(std::FILE *fp, void *buf, std::size_t n);
// Writes n bytes. The count or -1.
long qvascii_io_write(std::FILE *fp, const void *buf, std::size_t n);
// Moves to `offset` from the start (0), the current position (1) or the end
// (2). The new position from the start of the file, or -1.
long qvascii_io_seek(std::FILE *fp, long offset, int origin);
// Sets the file's length; a position beyond it moves to the new end. 0 or -1.
int qvascii_io_truncate(std::FILE *fp, long length);

// --- The open-file handle ------------------------------------------------------

struct qvascii_file {
    std::FILE *stream;                         // null once a close has released it
    std::int32_t positioned;                   // the stream is at the next sample line
    std::int64_t data_offset;                  // length of the header text; 0: no header yet
    std::uint32_t err;                         // last failure (QVASCII_ERR_*)
    std::int32_t syserr;                       // errno saved with codes 16 and above
    double scale;                              // "Sensor"/"Scale"; 0 until a header fixed it
    double column_scale[QVASCII_MAX_CHANNELS]; // factors of value columns 2..13
    std::uint32_t time_sec;                    // time column of the next line written
    std::uint32_t time_usec;
    std::uint32_t step_sec; // sample interval
    std::uint32_t step_usec;
    bool step_fixed; // a written header has fixed the interval
    char newline;    // line end of the sample lines read: '\r' or '\n'
    char fieldsep;   // ' ' or '\t'
    // Sample text read ahead: block[ahead_pos, ahead_end) comes from just
    // before the stream position and has not been delivered yet, so that
    // the next sample read goes on from it. Any other operation first puts
    // the stream back at ahead_pos.
    std::uint32_t ahead_pos;
    std::uint32_t ahead_end;
    char block[QVASCII_BLOCK_SIZE + 1]; // sample and data-move block, +1 for a terminator
};

// Fixes the handle's scale and column factors from the header, or checks
// that it agrees with those already fixed. 0, or -1 with code 6.
int qvascii_update_scale(qvascii_file *f, const qvascii_header *h);

// Gives back the sample text read ahead: the stream moves back to the
// first byte not yet delivered. 0, or -1 with code 20.
int qvascii_drop_ahead(qvascii_file *f);

// --- Failures ------------------------------------------------------------------

// Texts of the error codes (qvascii.h); from QVASCII_FIRST_SYS_ERR on each
// is followed by the system's text of the errno saved with the code.
inline constexpr const char *QVASCII_ERR_TEXTS[] = {
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
inline constexpr std::uint32_t QVASCII_FIRST_SYS_ERR = QVASCII_ERR_IO_OPEN;
static_assert(std::size(QVASCII_ERR_TEXTS) == QVASCII_ERR_IO_TRUNCATE + 1);

// Records a failure in the handle (in the library-wide record when `f` is
// null); codes of system failures keep the current errno with them. -1.
int qvascii_fail(qvascii_file *f, std::uint32_t code);
