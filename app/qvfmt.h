// The format layer: a registry from file extensions to formats, and one
// uniform handle through which a record of any format is opened, its header
// read or written as a canonical header (qvraw_header), its samples moved as
// blocks of frames, and the file closed.
//
// A sample block is an array of frames; a frame is `nchans` doubles, one per
// channel in channel order, each a fraction of the sensor's full scale.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qvraw.h"

// Format identifiers.
enum : unsigned {
    QVFMT_UNKNOWN = 0,
    QVFMT_RAW = 1,   // "raw"
    QVFMT_ASCII = 2, // "txt"
    QVFMT_XQV = 3,   // "xqv", written "XQV"
    QVFMT_BQV = 4,   // "bqv", written "BQV"
};

// Open modes, passed through to the adapter's open.
enum : int {
    QVFMT_MODE_WRITE = 1,  // create or empty for writing (every output)
    QVFMT_MODE_UPDATE = 2, // existing file, read and write (raw, recorder-binary)
    QVFMT_MODE_READ = 3,   // existing file, read (every input)
};

// Registry error codes (a handle's `err`, and __qvfmt_err for a failed open).
enum : std::uint32_t {
    QVFMT_ERR_NONE = 0,    // "None"
    QVFMT_ERR_NOMEM = 1,   // "Out of memory"
    QVFMT_ERR_FORMAT = 2,  // "Invalid format"
    QVFMT_ERR_NOTIMPL = 3, // "Not implemented"
    QVFMT_ERR_ADAPTER = 4, // the adapter's own text, tagged with its name
};

// The widest frame the format layer moves: as many channels as a canonical
// header can describe (four signals of three channels).
inline constexpr std::size_t QVFMT_MAX_CHANNELS = QVRAW_CHANNEL_SLOTS;
// Frames per sample block moved by the converter.
inline constexpr std::size_t QVFMT_BLOCK_FRAMES = 1024;

// One format's operations over its opaque state. A table is constant data;
// an absent operation is a null slot, which the registry answers with
// QVFMT_ERR_NOTIMPL without calling the adapter.
struct qvfmt_ops {
    // The format's name in error texts ("QVRAW", "QVASCII", "QV5K").
    const char *name;
    // A cleared state, or null when memory runs out.
    void *(*new_state)();
    // Releases a state made by new_state (its file must be closed).
    void (*free)(void *state);
    // Text of the adapter's last failure, in the adapter's 64-byte buffer of
    // the calling thread, valid until its next strerr there; resets the adapter's code, so a
    // second call gives "None".
    const char *(*strerr)(void *state);
    // Opens `path` in a QVFMT_MODE_*. 0 or -1.
    int (*open)(void *state, const char *path, int mode);
    // Flushes and closes the file. 0, or -1 with the state still usable.
    int (*close)(void *state);
    // Fills the whole caller-owned canonical header from the file. 0 or -1.
    int (*read_header)(void *state, qvraw_header *header);
    // Writes the format's header from a canonical header. 0 or -1. On a file
    // opened for writing it may be called once more after the last
    // write_data with a header that differs only in nsamples, vsum, peak and
    // offset: the finished file then carries that second header, the
    // samples unchanged.
    int (*write_header)(void *state, const qvraw_header *header);
    // Reads up to max_frames frames into the block. The number of frames
    // stored (1 to max_frames), 0 at the end of the samples, -1 on failure.
    long (*read_data)(void *state, double *block, std::size_t max_frames, std::size_t nchans);
    // Writes `frames` frames from the block. The number written, or -1.
    long (*write_data)(void *state, const double *block, std::size_t frames, std::size_t nchans);
    // Moves the sample position by `offset` frames from `whence` (0 the
    // first frame, 1 the current frame, 2 the end). A frame position of 0 or
    // more, or -1. Which position differs by format: the raw adapter returns
    // the position before the move, the recorder-binary one the new position
    // (the ASCII format cannot seek).
    long (*seek_data)(void *state, long offset, std::size_t nchans, int whence);
};

struct qvfmt_handle {
    const qvfmt_ops *ops;
    void *state;
    std::uint32_t err; // registry code of the last failure; never reset
};

// Record of the calling thread's last failed open (no handle exists then);
// every error record and text buffer of the format layer and the libraries
// is per thread, so conversions in threads never mix their errors.
extern thread_local std::uint32_t __qvfmt_err;
extern thread_local const char *__qvfmt_ops_name;
extern thread_local const char *__qvfmt_ops_strerr;

// "raw", "txt", "xqv", "bqv" (any case, no dot) to 1..4; anything else 0.
unsigned qvfmt_extension_to_format(const char *ext);
// The text after the last '.' anywhere in `path`, mapped as above; no dot 0.
unsigned qvfmt_filename_to_format(const char *path);
// "raw", "txt", "XQV", "BQV" for 1..4; "" for anything else.
const char *qvfmt_format_to_extension(unsigned fmt);

// Opens `path` with the table of `fmt` (0: chosen from the extension).
// 0 and a new handle in *out, or -1 and null in *out.
int qvfmt_open(qvfmt_handle **out, const char *path, unsigned fmt, int mode);
// Closes and releases the handle; null gives 0. On -1 the handle stays
// allocated so that qvfmt_strerr can still describe the failure.
int qvfmt_close(qvfmt_handle *h);
int qvfmt_read_header(qvfmt_handle *h, qvraw_header *header);
int qvfmt_write_header(qvfmt_handle *h, const qvraw_header *header);
long qvfmt_read_data(qvfmt_handle *h, double *block, std::size_t max_frames, std::size_t nchans);
long qvfmt_write_data(qvfmt_handle *h, const double *block, std::size_t frames, std::size_t nchans);
long qvfmt_seek_data(qvfmt_handle *h, long offset, std::size_t nchans, int whence);
// "[QVFMT]" + tag + " " + message for the handle's last failure, or "[]" +
// tag + " " + message for the last failed open when `h` is null. Cut to 63
// characters, in the thread's buffer, overwritten by its next call.
const char *qvfmt_strerr(qvfmt_handle *h);
