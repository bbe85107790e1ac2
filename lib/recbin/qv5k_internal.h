// libqv5k internals: the parts of a handle, the texts of the codes, the I/O
// layer, the two variants and the frame codecs. Only the library's own
// modules, its unit tests and its benchmark include this file.
#pragma once

#include "qv5k.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <new>
#include <type_traits>

// ---------------------------------------------------------------------------
// The parts of a handle.

// Failed operations of the I/O layer (qv5k_io::op).
enum : std::int32_t {
    QV5K_IO_NONE = 0,
    QV5K_IO_OPEN = 1,
    QV5K_IO_CLOSE = 2,
    QV5K_IO_READ = 3,
    QV5K_IO_WRITE = 4,
    QV5K_IO_SEEK = 5,
    QV5K_IO_TELL = 6,
    QV5K_IO_MODE = 7,
    QV5K_IO_EOF = 8, // a header read at the end of the file
};

// Their texts; those of the system calls (open to tell) are followed by the
// system's text of the saved errno.
inline constexpr const char *QV5K_IO_TEXTS[] = {
    "None",        "On open(): ", "On close(): ",      "On read(): ",         "On write(): ",
    "On seek(): ", "On tell(): ", "Invalid file mode", "End of file reached",
};
static_assert(std::size(QV5K_IO_TEXTS) == QV5K_IO_EOF + 1);

// Texts of the library error codes (qv5k.h); the I/O layer's message
// follows the text of QV5K_ERR_IO.
inline constexpr const char *QV5K_ERR_TEXTS[] = {
    "None",
    "Header is not available",
    "Invalid file",
    "Invalid data",
    "Invalid header",
    "End of file reached",
    "Beginning of file reached",
    "I/O: ",
};
static_assert(std::size(QV5K_ERR_TEXTS) == QV5K_ERR_IO + 1);

// The I/O record: one buffered stream and the last failed operation.
struct qv5k_io {
    std::FILE *fp;       // null before open and after close
    std::int32_t mode;   // QV5K_MODE_*
    long block;          // index + 1 of the data block the stream stands at
    std::int32_t op;     // QV5K_IO_* of the last failure, 0 when none
    std::int32_t errnum; // errno saved at that failure
    std::int32_t last;   // update streams: 1 read or 2 written since the last positioning, else 0
};

// xqv variant state; unbound while io is null.
struct qv5k_xqv_state {
    qv5k_io *io;
    std::uint32_t *err;
    double scale; // full scale, 2^(resolution - 1)
};

// bqv variant state with its one-block buffer; unbound while io is null.
struct qv5k_bqv_state {
    qv5k_io *io;
    std::uint32_t *err;
    qv5k_back_mode mode;         // the row of the bound background mode (byte 215)
    std::uint32_t dir_count;     // header byte 0
    std::time_t start;           // calendar time of header bytes 35 and 38
    std::uint32_t period;        // header byte 213, seconds
    std::uint8_t block_buf[256]; // byte 255 is the block's frame count
    std::uint32_t dirty;         // 1 when block_buf holds unwritten frames
    std::size_t pos;             // frame position within block_buf
};

// What a handle holds. The variant states point at the handle's own I/O
// record and error code once bound.
struct qv5k_front {
    std::uint32_t filetype; // QV5K_FILETYPE_*, fixed by the first header
    qv5k_io io;
    std::uint32_t err; // QV5K_ERR_* of the last failure
    qv5k_xqv_state xqv;
    qv5k_bqv_state bqv;
};
static_assert(sizeof(qv5k_front) <= sizeof(qv5k_handle::opaque), "QV5K_HANDLE_SIZE too small");
static_assert(alignof(qv5k_front) <= alignof(qv5k_handle));
// Plain bytes: the handle's storage holds one without a constructor run,
// and a cleared handle is an unopened one.
static_assert(std::is_trivially_copyable_v<qv5k_front> && std::is_trivial_v<qv5k_front>);

inline qv5k_front *qv5k_front_of(qv5k_handle *h) {
    return std::launder(reinterpret_cast<qv5k_front *>(h->opaque));
}

// ---------------------------------------------------------------------------
// The I/O layer. Every operation but qv5k_io_strerror returns -1 on failure
// after storing the operation code and errno in the record; a success
// leaves the error fields as they were. Counts are small (a chunk of frames
// or one block at a time).

int qv5k_io_open(qv5k_io *io, const char *path, int mode);
int qv5k_io_close(qv5k_io *io);
int qv5k_io_read_header(qv5k_io *io, qv5k_header *header);
int qv5k_io_write_header(qv5k_io *io, const qv5k_header *header);
// Moves to frame `index` from the first frame (whence 0), the current
// position (1) or the last whole frame's end (2). A target before the first
// data byte is refused (QV5K_IO_SEEK, EINVAL) and the stream stays put.
// The new frame index, or -1.
long qv5k_io_seek_sample(qv5k_io *io, long index, int whence);
// Whole 9-byte frames read (0 at the end of the file); a trailing piece of a
// frame is not delivered and the stream stays before it. Or -1.
long qv5k_io_read_sample(qv5k_io *io, void *buffer, std::size_t count);
// `count`, or -1.
long qv5k_io_write_sample(qv5k_io *io, const void *buffer, std::size_t count);
// As the frame operations with 256-byte blocks; they keep io->block.
long qv5k_io_seek_datablock(qv5k_io *io, long index, int whence);
long qv5k_io_read_datablock(qv5k_io *io, void *buffer, std::size_t count);
long qv5k_io_write_datablock(qv5k_io *io, const void *buffer, std::size_t count);
// Message of the stored failure in the thread's 64-byte buffer; resets op and
// errnum.
const char *qv5k_io_strerror(qv5k_io *io);

// ---------------------------------------------------------------------------
// Frame codecs (the hot path): plain loops over caller buffers.

// n frames of three doubles into n 9-byte frames: each value clamped to
// +-QV5K_FS_LIMIT, times scale, truncated toward zero (NaN gives 0), stored
// as int24.
void qv5k_xqv_encode(std::uint8_t *dst, const double *src, std::size_t n, double scale);
// n 9-byte frames into n frames of three doubles (counts / scale, the scale
// being a power of two).
void qv5k_xqv_decode(double *dst, const std::uint8_t *src, std::size_t n, double scale);

// Peak code of a fraction of full scale: 0xFFF9 from QV5K_FS_LIMIT up, 0
// from its negative down, else the low 16 bits of trunc(v x 65536); NaN
// gives 0.
std::uint16_t qv5k_peak_code(double v);
// Frequency in Hz as the low 16 bits of trunc(f x 10); NaN and infinities 0.
std::uint16_t qv5k_freq_code(double f);

// Frame size in bytes of bqv layout 1, 2 or 3.
inline constexpr std::size_t qv5k_bqv_frame_size(std::uint32_t layout) {
    return layout == 1 ? 6 : 12;
}
// n frames of the layout's channel count into the frame area at `dst`.
void qv5k_bqv_encode(std::uint8_t *dst, std::uint32_t layout, const double *src, std::size_t n);
// n frames from the frame area at `src`.
void qv5k_bqv_decode(double *dst, std::uint32_t layout, const std::uint8_t *src, std::size_t n);

// ---------------------------------------------------------------------------
// The xqv variant. Failures go to *state->err: QV5K_ERR_NOHEADER unbound,
// QV5K_ERR_IO for the I/O layer.

// Binds an unbound state, or checks a bound one against the header (same
// full scale). A resolution of 0 or above 31, or a recording mode that does
// not give 3 channels, is refused. 0 or -1.
int qv5k_xqv_reload(qv5k_xqv_state *state, qv5k_io *io, std::uint32_t *err,
                    const qv5k_header *header);
long qv5k_xqv_read(qv5k_xqv_state *state, double *frames, std::size_t count);
long qv5k_xqv_write(qv5k_xqv_state *state, const double *frames, std::size_t count);
long qv5k_xqv_seek(qv5k_xqv_state *state, long offset, int whence);

// ---------------------------------------------------------------------------
// The bqv variant. Failures go to *state->err: QV5K_ERR_NOHEADER unbound,
// QV5K_ERR_IO for the I/O layer, QV5K_ERR_DATA for a block whose frame count
// exceeds the frames per block, QV5K_ERR_EOF for a seek beyond the frames
// of its target block or to a block that is not there.

// Binds an unbound state, or checks a bound one (background mode, directory
// count, start moment and period unchanged). A background mode that
// QV5K_BACK_MODES does not list, or one whose channel count differs from
// the recording mode's, is refused. 0 or -1.
int qv5k_bqv_reload(qv5k_bqv_state *state, qv5k_io *io, std::uint32_t *err,
                    const qv5k_header *header);
long qv5k_bqv_read(qv5k_bqv_state *state, double *frames, std::size_t count);
long qv5k_bqv_write(qv5k_bqv_state *state, const double *frames, std::size_t count);
long qv5k_bqv_seek(qv5k_bqv_state *state, long offset, int whence);
int qv5k_bqv_flush(qv5k_bqv_state *state);
