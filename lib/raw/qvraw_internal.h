// libqvraw internals: the texts of the library's codes and the I/O layer.
// Only the library's own modules and its unit tests include this file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>

#include "qvraw.h"

// Texts of the handle's error codes; the I/O layer's message (or "?" when
// no handle keeps it) follows the text of QVRAW_ERR_IO.
inline constexpr const char *QVRAW_ERR_TEXTS[] = {
    "None",
    "Out of memory",
    "Wrong usage",
    "Invalid magic",
    "Failed to read header",
    "Invalid sample size",
    "Invalid number of channels",
    "I/O: ",
};
static_assert(std::size(QVRAW_ERR_TEXTS) == QVRAW_ERR_IO + 1);

// --- The I/O layer -----------------------------------------------------------
//
// Byte-level access to a raw file: a thin wrapper around one buffered stream
// that repeats interrupted calls and remembers which operation failed and
// with which system error.

struct qvraw_io {
    std::FILE *fp;            // the open stream; null before open and after close
    std::uint32_t flush_each; // mode has '+': flush after every read and write
    std::uint32_t op;         // QVRAW_IO_OP_* of the last failure; 0 when none
    std::int32_t errnum;      // errno saved at that failure
};

// Operation codes of a failure.
enum : std::uint32_t {
    QVRAW_IO_OP_NONE = 0,
    QVRAW_IO_OP_OPEN = 1,
    QVRAW_IO_OP_CLOSE = 2,
    QVRAW_IO_OP_READ = 3,
    QVRAW_IO_OP_WRITE = 4,
    QVRAW_IO_OP_SEEK = 5,
    QVRAW_IO_OP_TELL = 6,
    QVRAW_IO_OP_TRUNCATE = 7,
};

// Their texts, each followed by a space and the system's text of the saved
// errno.
inline constexpr const char *QVRAW_IO_TEXTS[] = {
    "None",        "On open():", "On close():", "On read():",
    "On write():", "On seek():", "On tell():",  "On truncate():",
};
static_assert(std::size(QVRAW_IO_TEXTS) == QVRAW_IO_OP_TRUNCATE + 1);

// A record with undefined contents until qvraw_io_open; null when memory is
// exhausted.
qvraw_io *qvraw_io_new();
// Releases the record; does not close its stream.
void qvraw_io_free(qvraw_io *io);

// Every function below returns -1 on failure after storing the operation
// code and errno in the record; a success leaves the stored failure alone.

// Clears the record and opens `path` with the fopen mode string `mode`.
int qvraw_io_open(qvraw_io *io, const char *path, const char *mode);
// Closes the stream. The stream is gone afterwards even when this fails (the
// failure is then about data that could not be written); closing a record
// without a stream succeeds.
int qvraw_io_close(qvraw_io *io);
// Reads up to `count` items of `size` bytes. The number of whole items read,
// fewer than `count` only at the end of the file.
long qvraw_io_read(qvraw_io *io, void *buffer, std::size_t size, std::size_t count);
// Writes `count` items of `size` bytes. `count`, or -1.
long qvraw_io_write(qvraw_io *io, const void *buffer, std::size_t size, std::size_t count);
// Moves the position; `whence` as for fseek (0 start, 1 current, 2 end).
int qvraw_io_seek(qvraw_io *io, long offset, int whence);
// The current position in bytes, or -1.
long qvraw_io_tell(qvraw_io *io);
// Cuts or extends the file to `size` bytes; a position beyond `size` is
// moved to `size`, any other position is kept.
int qvraw_io_truncate(qvraw_io *io, long size);
// Records a failure found by the caller itself (an offset that does not fit
// in a file position, say) so that it is reported like a system failure.
void qvraw_io_set_error(qvraw_io *io, std::uint32_t op, int errnum);
// "<operation text> <system text>" of the stored failure in a 64-byte buffer
// shared by all records of the thread; resets the stored failure.
const char *qvraw_io_strerr(qvraw_io *io);
